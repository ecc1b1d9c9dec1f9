#include "server/demodata.h"

#include "server/database.h"
#include "server/reportdata.h"
#include "server/summaries.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>

namespace server {

QString demo::schoolCode(int index)
{
    return QStringLiteral("%1").arg(101 + index, 4, 10, QLatin1Char('0'));
}

QString demo::centralCode(int index)
{
    return index == 0 ? QString::fromLatin1(kCentral) : QStringLiteral("%1").arg(2 + index, 4, 10, QLatin1Char('0'));
}

QString demo::schoolCode(int central, int index)
{
    return central == 0 ? schoolCode(index) : QChar(QLatin1Char('A').unicode() + central - 1) + QStringLiteral("%1").arg(101 + index, 3, 10, QLatin1Char('0'));
}

QString DemoSummary::describe() const
{
    return QStringLiteral("%1 filiais, %2 serviços, %3 produtos, %4 refeições planejadas, %5 servidas, %6 linhas de consumo")
        .arg(branches).arg(services).arg(products).arg(plannedMeals).arg(servedMeals).arg(consumption);
}

namespace {

// splitmix64: tiny, fast and the same on every platform, unlike the standard distributions.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform(double low, double high) { return low + (high - low) * double(next() >> 11) / 9007199254740992.0; }
    int range(int low, int high) { return low + int(next() % quint64(high - low + 1)); }
    bool chance(double probability) { return uniform(0.0, 1.0) < probability; }

private:
    quint64 m_state;
};

double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

// Multi-row INSERTs with bound values: far fewer round trips than one statement per row.
class BatchInserter
{
public:
    BatchInserter(QSqlDatabase &db, const QString &table, const QStringList &columns, int rowsPerStatement = 100)
        : m_db(db), m_table(table), m_columns(columns), m_rowsPerStatement(rowsPerStatement), m_full(db)
    {
        m_full.prepare(statement(rowsPerStatement));
    }
    ~BatchInserter() = default;

    void add(const QVariantList &row)
    {
        m_pending += row;
        ++m_count;
        if (m_pending.size() == m_columns.size() * m_rowsPerStatement) {
            for (int i = 0; i < m_pending.size(); ++i)
                m_full.bindValue(i, m_pending[i]);
            if (!m_full.exec())
                throw DbError{QStringLiteral("Erro ao gravar os dados de demonstração em %1: %2").arg(m_table, m_full.lastError().text())};
            m_pending.clear();
        }
    }
    void flush()
    {
        if (m_pending.isEmpty())
            return;
        Sql sql(statement(int(m_pending.size() / m_columns.size())));
        for (const QVariant &value : std::as_const(m_pending))
            sql.bind(value);
        exec(m_db, sql, QStringLiteral("gravar os dados de demonstração em %1").arg(m_table));
        m_pending.clear();
    }
    qint64 count() const { return m_count; }

private:
    QString statement(int rows) const
    {
        QString one = QStringLiteral("(?");
        for (int i = 1; i < m_columns.size(); ++i)
            one += QStringLiteral(", ?");
        one += QLatin1Char(')');
        QStringList values;
        for (int i = 0; i < rows; ++i)
            values << one;
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(m_table, m_columns.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")));
    }

    QSqlDatabase &m_db;
    QString m_table;
    QStringList m_columns;
    int m_rowsPerStatement;
    QSqlQuery m_full;
    QVariantList m_pending;
    qint64 m_count = 0;
};

struct ProductDef {
    const char *code;
    const char *name;
    const char *unit;  // only on the last level
    bool stockable;
    double cost;       // base unit cost
};

// Three code levels (2, 2 and 3 characters, picture 99.99.999). Fresh produce and bread are
// bought for the day and not stocked.
const ProductDef kProducts[] = {
    {"01", "Cereais e derivados", nullptr, true, 0},
    {"0101", "Arroz e massas", nullptr, true, 0},
    {"0101001", "Arroz agulhinha tipo 1", "KG", true, 5.20},
    {"0101002", "Arroz integral", "KG", true, 7.80},
    {"0101003", "Macarrão espaguete", "KG", true, 6.40},
    {"0101004", "Macarrão parafuso", "KG", true, 6.90},
    {"0102", "Farinhas e flocos", nullptr, true, 0},
    {"0102001", "Farinha de mandioca", "KG", true, 6.10},
    {"0102002", "Flocos de milho", "KG", true, 5.50},
    {"0102003", "Aveia em flocos", "KG", true, 9.80},
    {"0102004", "Fubá", "KG", true, 4.20},
    {"0103", "Panificação", nullptr, false, 0},
    {"0103001", "Pão francês", "KG", false, 14.90},
    {"0103002", "Pão de forma", "KG", false, 12.50},
    {"0103003", "Bolo caseiro", "KG", false, 18.00},
    {"02", "Proteínas", nullptr, true, 0},
    {"0201", "Carnes", nullptr, true, 0},
    {"0201001", "Carne bovina moída", "KG", true, 34.90},
    {"0201002", "Peito de frango", "KG", true, 19.90},
    {"0201003", "Carne suína em cubos", "KG", true, 24.50},
    {"0201004", "Filé de peixe", "KG", true, 32.00},
    {"0202", "Ovos e leguminosas", nullptr, true, 0},
    {"0202001", "Ovo", "DZ", true, 11.50},
    {"0202002", "Feijão carioca", "KG", true, 8.40},
    {"0202003", "Feijão preto", "KG", true, 8.90},
    {"0202004", "Lentilha", "KG", true, 12.30},
    {"03", "Hortifrutigranjeiros", nullptr, false, 0},
    {"0301", "Verduras e legumes", nullptr, false, 0},
    {"0301001", "Alface", "UN", false, 2.50},
    {"0301002", "Tomate", "KG", false, 7.90},
    {"0301003", "Cenoura", "KG", false, 4.80},
    {"0301004", "Batata", "KG", false, 5.30},
    {"0301005", "Abóbora", "KG", false, 3.90},
    {"0301006", "Cebola", "KG", false, 4.60},
    {"0302", "Frutas", nullptr, false, 0},
    {"0302001", "Banana prata", "KG", false, 5.90},
    {"0302002", "Maçã", "KG", false, 9.50},
    {"0302003", "Laranja", "KG", false, 3.80},
    {"0302004", "Mamão", "KG", false, 6.20},
    {"04", "Laticínios", nullptr, true, 0},
    {"0401", "Leites", nullptr, true, 0},
    {"0401001", "Leite integral UHT", "LT", true, 4.90},
    {"0401002", "Leite em pó", "KG", true, 32.00},
    {"0401003", "Bebida láctea sem lactose", "LT", true, 7.20},
    {"0402", "Derivados do leite", nullptr, true, 0},
    {"0402001", "Queijo muçarela", "KG", true, 42.00},
    {"0402002", "Iogurte natural", "LT", false, 9.90},
    {"0402003", "Manteiga", "KG", true, 38.00},
    {"05", "Mercearia", nullptr, true, 0},
    {"0501", "Óleos e temperos", nullptr, true, 0},
    {"0501001", "Óleo de soja", "LT", true, 7.90},
    {"0501002", "Sal refinado", "KG", true, 2.10},
    {"0501003", "Alho", "KG", true, 24.00},
    {"0501004", "Extrato de tomate", "KG", true, 11.80},
    {"0502", "Açúcares e bebidas", nullptr, true, 0},
    {"0502001", "Açúcar cristal", "KG", true, 4.50},
    {"0502002", "Achocolatado em pó", "KG", true, 16.00},
    {"0502003", "Café torrado", "KG", true, 32.00},
    {"0502004", "Suco de uva integral", "LT", true, 12.00},
    {"0503", "Fórmulas especiais", nullptr, true, 0},
    {"0503001", "Fórmula infantil", "KG", true, 85.00},
    {"0503002", "Mingau de arroz instantâneo", "KG", true, 22.00},
};

struct Ingredient {
    QString product;
    double perCapita;
};
using Menu = QList<Ingredient>;

struct ServiceDef {
    QString code;
    QString name;
    QString group;
    double share;            // of a school's pupils that take this meal
    QList<Menu> rotation;    // one menu per weekday, Monday first
};

Menu withBase(const Menu &base, const Menu &extra)
{
    return base + extra;
}

QList<ServiceDef> services()
{
    const Menu lunch = {{"0101001", 0.060}, {"0202002", 0.040}, {"0501001", 0.005}, {"0501002", 0.002}, {"0501003", 0.002}, {"0301006", 0.010}};
    const Menu dinner = {{"0101001", 0.070}, {"0202002", 0.050}, {"0501001", 0.006}, {"0501002", 0.002}, {"0501004", 0.010}};
    return {
        {"00010", "Desjejum", "002", 0.55,
         {{{"0401001", 0.200}, {"0502002", 0.020}, {"0103001", 0.050}, {"0402003", 0.005}},
          {{"0401001", 0.200}, {"0102002", 0.030}, {"0302001", 0.100}},
          {{"0401001", 0.200}, {"0502002", 0.020}, {"0103002", 0.050}, {"0402001", 0.015}},
          {{"0401001", 0.200}, {"0102003", 0.030}, {"0502001", 0.010}, {"0302002", 0.120}},
          {{"0402002", 0.150}, {"0103003", 0.060}, {"0302003", 0.150}}}},
        {"00020", "Almoço", "001", 1.00,
         {withBase(lunch, {{"0201001", 0.080}, {"0301003", 0.030}, {"0301001", 0.100}, {"0302001", 0.100}}),
          withBase(lunch, {{"0201002", 0.090}, {"0301004", 0.050}, {"0301002", 0.030}, {"0302003", 0.150}}),
          withBase(lunch, {{"0201003", 0.080}, {"0202003", 0.020}, {"0301005", 0.040}, {"0102001", 0.010}}),
          withBase(lunch, {{"0201004", 0.090}, {"0101003", 0.030}, {"0301003", 0.030}, {"0302004", 0.120}}),
          withBase(lunch, {{"0202001", 0.170}, {"0202004", 0.030}, {"0301002", 0.030}, {"0302002", 0.120}})}},
        {"00030", "Lanche da tarde", "002", 0.75,
         {{{"0103002", 0.050}, {"0402001", 0.015}, {"0502004", 0.150}},
          {{"0103003", 0.060}, {"0401001", 0.200}, {"0502002", 0.020}},
          {{"0402002", 0.150}, {"0102002", 0.030}, {"0302001", 0.100}},
          {{"0103001", 0.050}, {"0402003", 0.005}, {"0502004", 0.150}},
          {{"0101004", 0.040}, {"0301002", 0.020}, {"0501001", 0.003}, {"0302002", 0.120}}}},
        {"00040", "Jantar (EJA)", "003", 0.20,
         {withBase(dinner, {{"0201001", 0.100}, {"0101003", 0.060}}),
          withBase(dinner, {{"0201002", 0.100}, {"0301004", 0.060}}),
          withBase(dinner, {{"0202001", 0.170}, {"0301003", 0.040}, {"0102004", 0.030}}),
          withBase(dinner, {{"0201003", 0.090}, {"0301005", 0.050}}),
          withBase(dinner, {{"0201004", 0.100}, {"0301006", 0.010}, {"0502003", 0.004}})}},
    };
}

enum class MenuKind { Regular, Special, Nursery, Recess };

struct MenuTypeDef {
    QString code;
    QString name;
    bool active;
    MenuKind kind;
};

// A menu of the rotation as one menu type serves it: lactose-free and lighter for the special
// diet, smaller portions plus formula for the nursery.
Menu adapted(const Menu &menu, MenuKind kind, const QString &service)
{
    Menu result;
    for (const Ingredient &item : menu) {
        Ingredient copy = item;
        if (kind == MenuKind::Special) {
            if (copy.product == QLatin1String("0401001") || copy.product == QLatin1String("0402002"))
                copy.product = QStringLiteral("0401003");
            else if (copy.product == QLatin1String("0101003") || copy.product == QLatin1String("0101001"))
                copy.product = QStringLiteral("0101002");
            else if (copy.product == QLatin1String("0402001") || copy.product == QLatin1String("0402003"))
                continue;
        } else if (kind == MenuKind::Nursery) {
            copy.perCapita *= 0.6;
        }
        copy.perCapita = rounded(copy.perCapita, 4);
        bool merged = false;
        for (Ingredient &existing : result) {
            if (existing.product == copy.product) {
                existing.perCapita += copy.perCapita;
                merged = true;
            }
        }
        if (!merged)
            result.append(copy);
    }
    if (kind == MenuKind::Nursery && service != QLatin1String("00020"))
        result.append({QStringLiteral("0503001"), 0.030});
    if (kind == MenuKind::Nursery && service == QLatin1String("00010"))
        result.append({QStringLiteral("0503002"), 0.025});
    return result;
}

struct CentralDef {
    QString code;
    QString name;
    QList<MenuTypeDef> menuTypes;
    QStringList services;
};

struct School {
    QString code;
    QString name;
    QString central;
    int pupils;
    bool nursery;    // has a nursery class
    bool fullTime;   // keeps a recess programme in the holidays
    QStringList services;
};

const char *const kSchoolNames[] = {
    "EM Jardim das Flores", "EM Monteiro Lobato", "EM Cecília Meireles", "EMEI Pequeno Príncipe",
    "EM Vila Esperança",   "EM Santos Dumont",   "EM Rui Barbosa",      "EMEI Sítio do Picapau",
    "EM Anita Garibaldi",  "EM Paulo Freire",    "EM Machado de Assis", "EMEI Chapeuzinho",
    "EM Tiradentes",       "EM Chico Mendes",
};

enum class DayKind { None, School, Recess };

DayKind dayKind(const QDate &day)
{
    if (day.dayOfWeek() > 5)
        return DayKind::None;
    static const QList<QPair<int, int>> holidays = {{1, 1}, {4, 21}, {5, 1}, {9, 7}, {10, 12}, {11, 2}, {11, 15}, {11, 20}, {12, 25}};
    if (holidays.contains({day.month(), day.day()}))
        return DayKind::None;
    if (day.month() == 12 && day.day() >= 20)
        return DayKind::None;
    if (day.month() == 1 || (day.month() == 7 && day.day() >= 14))
        return DayKind::Recess;
    return DayKind::School;
}

// The branches' processing date, which the screen opens its period on: the last school day of
// the history, so the first report shows meals; the history's last day when it has none.
QDate processingDay(const DemoOptions &options)
{
    for (int d = options.days - 1; d >= 0; --d) {
        const QDate day = options.firstDay.addDays(d);
        if (dayKind(day) == DayKind::School)
            return day;
    }
    return options.firstDay.addDays(options.days - 1);
}

QString menuCode(const QString &menuType, int serviceIndex, int weekday)
{
    return QStringLiteral("%1%2%3").arg(menuType).arg(serviceIndex).arg(weekday);
}

// The central, its schools and the branch outside any central, their groupings and the main
// central's school years.
void insertBranches(QSqlDatabase &db, const QList<CentralDef> &centrals, const QList<School> &schools, const DemoOptions &options,
                    DemoSummary &summary)
{
    const QDate processing = processingDay(options);
    BatchInserter branches(db, QStringLiteral("FILIAL"),
                           {"CDFILIAL", "NMFILIAL", "IDCNTRRESC", "IDFILCENTZUB", "CDFILCENTZUB", "IDMATRFILI", "DTPROCESSA"});
    for (const CentralDef &central : centrals)
        branches.add({central.code, central.name, "N", "S", QVariant(), central.code == QLatin1String(demo::kCentral) ? "M" : "F", processing});
    for (const School &school : schools)
        branches.add({school.code, school.name, "N", "N", school.central, "F", processing});
    branches.add({demo::kLoneBranch, "Loja Centro (sem central)", "N", "N", QVariant(), "F", processing});
    branches.flush();
    summary.branches = int(branches.count());

    BatchInserter groupings(db, QStringLiteral("GRUPFILI"), {"CDGRUPFILI", "NMGRUPFILI"});
    groupings.add({"0000000001", "Região Norte"});
    groupings.add({"0000000002", "Região Sul"});
    groupings.add({"0000000003", "Escolas de tempo integral"});
    groupings.add({"0000000004", "Rio Claro"});
    groupings.flush();
    BatchInserter members(db, QStringLiteral("ITGRUPFILI"), {"CDGRUPFILI", "CDFILIAL"});
    int mainSchools = 0;
    for (const School &school : schools)
        mainSchools += school.central == QLatin1String(demo::kCentral) ? 1 : 0;
    int index = 0;
    for (const School &school : schools) {
        if (school.central == QLatin1String(demo::kOtherCentral))
            members.add({"0000000004", school.code});
        if (school.central != QLatin1String(demo::kCentral))
            continue;
        members.add({index < (mainSchools + 1) / 2 ? "0000000001" : "0000000002", school.code});
        if (school.fullTime)
            members.add({"0000000003", school.code});
        ++index;
    }
    members.flush();

    // The main central's school years over the history, from its first to its last school
    // day; the second central keeps no calendar, so its "ano letivo" is the calendar year.
    BatchInserter schoolYears(db, QStringLiteral("ANOLETIVO"), {"CDFILCENTZUB", "NRANO", "DTINICIO", "DTFIM"});
    const QDate lastDay = options.firstDay.addDays(options.days - 1);
    for (int year = options.firstDay.year(); year <= lastDay.year(); ++year) {
        QDate start(year, 2, 1);
        while (dayKind(start) != DayKind::School)
            start = start.addDays(1);
        QDate end(year, 12, 31);
        while (dayKind(end) != DayKind::School)
            end = end.addDays(-1);
        schoolYears.add({demo::kCentral, year, start, end});
    }
    schoolYears.flush();
}

// Service groups, the services of each school and the menu types of each central.
void insertServicesAndMenuTypes(QSqlDatabase &db, const QList<CentralDef> &centrals, const QList<School> &schools,
                                const QList<ServiceDef> &serviceDefs, DemoSummary &summary)
{
    BatchInserter serviceGroups(db, QStringLiteral("GRUPSERV"), {"CDGRUPSERV", "NMGRUPSERV"});
    serviceGroups.add({"001", "Refeições principais"});
    serviceGroups.add({"002", "Lanches e desjejum"});
    serviceGroups.add({"003", "Ensino noturno"});
    serviceGroups.flush();
    BatchInserter branchServices(db, QStringLiteral("SERVFILI"), {"CDFILIAL", "CDSERVFILI", "NMSERVICO", "CDGRUPSERV"});
    for (const School &school : schools) {
        for (const ServiceDef &service : serviceDefs) {
            if (school.services.contains(service.code))
                branchServices.add({school.code, service.code, service.name, service.group});
        }
    }
    branchServices.flush();
    summary.services = int(branchServices.count());

    BatchInserter menuTypes(db, QStringLiteral("TIPOCARD"), {"CDTIPOCARD", "NMTIPOCARD", "CDFILCENTZUB", "IDTPCARDATIV"});
    for (const CentralDef &central : centrals) {
        for (const MenuTypeDef &type : central.menuTypes)
            menuTypes.add({type.code, type.name, central.code, type.active ? "S" : "N"});
    }
    menuTypes.flush();
}

// Cost types, the products and their unit cost per cost type.
void insertProductsAndCosts(QSqlDatabase &db, Random &random, DemoSummary &summary)
{
    // Listed in the order the cost module shows them, which is not the order of their numbers.
    BatchInserter costTypes(db, QStringLiteral("TIPOCUSTO"), {"NRTIPOCUSTO", "NMTIPOCUSTO", "NRORDEM"});
    costTypes.add({1, "Custo médio ponderado", 2});
    costTypes.add({2, "Último preço de compra", 3});
    costTypes.add({3, "Custo padrão", 1});
    costTypes.flush();

    BatchInserter products(db, QStringLiteral("PRODUTO"), {"CDPRODUTO", "NMPRODUTO", "NRNIVEL", "SGUNIDADE", "IDESTOCAVEL"});
    for (const ProductDef &product : kProducts) {
        const QString code = QString::fromLatin1(product.code);
        products.add({code, QString::fromUtf8(product.name), code.size() == 2 ? 1 : code.size() == 4 ? 2 : 3,
                      product.unit ? QVariant(QString::fromLatin1(product.unit)) : QVariant(), product.stockable ? "S" : "N"});
    }
    products.flush();
    BatchInserter costs(db, QStringLiteral("CUSTOPROD"), {"CDPRODUTO", "NRTIPOCUSTO", "VRUNITARIO"});
    for (const ProductDef &product : kProducts) {
        if (!product.unit)
            continue; // groups have no cost of their own
        const QString code = QString::fromLatin1(product.code);
        costs.add({code, 1, rounded(product.cost * random.uniform(0.97, 1.03), 2)});
        costs.add({code, 2, rounded(product.cost * random.uniform(1.00, 1.15), 2)});
        costs.add({code, 3, rounded(product.cost, 1)});
    }
    costs.flush();
    summary.products = int(products.count());
}

// A menu per central, menu type, service and weekday, with its ingredients.
void insertMenus(QSqlDatabase &db, const QList<CentralDef> &centrals, const QList<ServiceDef> &serviceDefs)
{
    // Parents before children: a full batch of ingredients is written as soon as it fills up.
    static const char *const weekdays[] = {"segunda", "terça", "quarta", "quinta", "sexta"};
    BatchInserter menus(db, QStringLiteral("CARDAPIO"), {"CDCARDAPIO", "NMCARDAPIO", "CDFILCENTZUB", "CDTIPOCARD"});
    QList<QVariantList> ingredientRows;
    for (const CentralDef &central : centrals) {
        for (const MenuTypeDef &type : central.menuTypes) {
            for (int s = 0; s < serviceDefs.size(); ++s) {
                for (int day = 0; day < 5; ++day) {
                    const QString code = menuCode(type.code, s, day);
                    menus.add({code, QStringLiteral("%1 de %2 (%3)").arg(serviceDefs[s].name, QString::fromUtf8(weekdays[day]), type.name.left(25)),
                               central.code, type.code});
                    for (const Ingredient &item : adapted(serviceDefs[s].rotation[day], type.kind, serviceDefs[s].code))
                        ingredientRows.append({code, item.product, item.perCapita});
                }
            }
        }
    }
    menus.flush();
    BatchInserter ingredients(db, QStringLiteral("ITCARDAPIO"), {"CDCARDAPIO", "CDPRODUTO", "QTPERCAPITA"});
    for (const QVariantList &row : std::as_const(ingredientRows))
        ingredients.add(row);
    ingredients.flush();
}

void insertReferenceData(QSqlDatabase &db, const QList<CentralDef> &centrals, const QList<School> &schools,
                         const QList<ServiceDef> &serviceDefs, const DemoOptions &options, Random &random, DemoSummary &summary)
{
    insertBranches(db, centrals, schools, options, summary);
    insertServicesAndMenuTypes(db, centrals, schools, serviceDefs, summary);
    insertProductsAndCosts(db, random, summary);
    insertMenus(db, centrals, serviceDefs);
}

struct MealPlan {
    QString menuType;
    MenuKind kind;
    int meals;
};

// The menu types a school serves for a service on a day, with the meals planned for each.
QList<MealPlan> mealPlans(const School &school, const CentralDef &central, const ServiceDef &service, DayKind day, Random &random)
{
    QList<MealPlan> plans;
    for (const MenuTypeDef &type : central.menuTypes) {
        int base = 0;
        switch (type.kind) {
        case MenuKind::Regular:
            base = day == DayKind::School ? int(school.pupils * service.share) : 0;
            break;
        case MenuKind::Special:
            base = day == DayKind::School && service.code != QLatin1String("00040") ? 3 + school.pupils % 9 : 0;
            break;
        case MenuKind::Nursery:
            base = day == DayKind::School && school.nursery && service.code != QLatin1String("00040") ? 20 + school.pupils % 50 : 0;
            break;
        case MenuKind::Recess:
            base = day == DayKind::Recess && school.fullTime && service.code == QLatin1String("00020") ? school.pupils / 3 : 0;
            break;
        }
        if (base > 0)
            plans.append({type.code, type.kind, qMax(1, int(std::lround(base * random.uniform(0.97, 1.03))))});
    }
    return plans;
}

void insertHistory(QSqlDatabase &db, const QList<CentralDef> &centrals, const QList<School> &schools,
                   const QList<ServiceDef> &serviceDefs, const DemoOptions &options, Random &random, DemoSummary &summary)
{
    QHash<QString, const CentralDef *> centralOf;
    for (const CentralDef &central : centrals)
        centralOf.insert(central.code, &central);
    QHash<QString, QList<Ingredient>> menuCache;
    static const QStringList proteins = {"0201001", "0201002", "0201003", "0201004"};

    BatchInserter planned(db, QStringLiteral("REFEPLAN"), {"CDFILIAL", "CDSERVFILI", "DTREFEICAO", "CDTIPOCARD", "CDCARDAPIO", "QTREFEPLAN"});
    BatchInserter served(db, QStringLiteral("REFESERV"), {"CDFILIAL", "CDSERVFILI", "DTREFEICAO", "CDTIPOCARD", "QTREFESERV"});
    BatchInserter used(db, QStringLiteral("CONSREAL"), {"CDFILIAL", "CDSERVFILI", "DTREFEICAO", "CDTIPOCARD", "CDPRODUTO", "QTCONSUMIDA"});
    for (int d = 0; d < options.days; ++d) {
        const QDate day = options.firstDay.addDays(d);
        const DayKind kind = dayKind(day);
        if (kind == DayKind::None)
            continue;
        const int weekday = day.dayOfWeek() - 1;
        // A rainy day or a school event empties some refectories.
        const bool lowAttendanceDay = random.chance(0.03);
        for (const School &school : schools) {
            const CentralDef &central = *centralOf.value(school.central);
            for (int s = 0; s < serviceDefs.size(); ++s) {
                const ServiceDef &service = serviceDefs[s];
                if (!school.services.contains(service.code))
                    continue;
                for (const MealPlan &plan : mealPlans(school, central, service, kind, random)) {
                    const QString menu = menuCode(plan.menuType, s, weekday);
                    planned.add({school.code, service.code, day, plan.menuType, menu, plan.meals});
                    double attendance = random.uniform(0.84, 1.04) * (weekday == 4 ? 0.95 : 1.0);
                    if (lowAttendanceDay && random.chance(0.5))
                        attendance *= 0.55;
                    const int meals = qMax(0, int(std::lround(plan.meals * attendance)));
                    served.add({school.code, service.code, day, plan.menuType, meals});
                    if (meals == 0)
                        continue;
                    if (!menuCache.contains(menu))
                        menuCache.insert(menu, adapted(service.rotation[weekday], plan.kind, service.code));
                    QHash<QString, double> consumption;
                    for (const Ingredient &item : menuCache.value(menu)) {
                        QString product = item.product;
                        // Now and then the supplier delivers another meat than planned.
                        if (proteins.contains(product) && random.chance(0.04))
                            product = proteins[random.range(0, int(proteins.size()) - 1)];
                        consumption[product] += meals * item.perCapita * random.uniform(0.90, 1.15);
                    }
                    for (auto it = consumption.cbegin(); it != consumption.cend(); ++it)
                        used.add({school.code, service.code, day, plan.menuType, it.key(), rounded(it.value(), 3)});
                }
            }
        }
    }
    planned.flush();
    served.flush();
    used.flush();
    summary.plannedMeals = planned.count();
    summary.servedMeals = served.count();
    summary.consumption = used.count();
}

} // namespace

DemoSummary createDemo(QSqlDatabase &db, const DemoOptions &options)
{
    Random random(0x5A0B0110);
    const QList<ServiceDef> serviceDefs = services();
    QList<CentralDef> centrals = {
        {demo::kCentral,
         "Central Merenda Vila Nova",
         {{"01", "Cardápio regular", true, MenuKind::Regular},
          {"02", "Dieta especial (sem lactose)", true, MenuKind::Special},
          {"03", "Berçário e creche", true, MenuKind::Nursery},
          {demo::kInactiveMenuType, "Recesso escolar (descontinuado)", false, MenuKind::Recess}},
         {"00010", "00020", "00030", "00040"}},
        {demo::kOtherCentral, "Central Merenda Rio Claro", {{"11", "Cardápio regular Rio Claro", true, MenuKind::Regular}}, {"00020", "00030"}},
    };

    // Each further central is the main one again under codes of its own, so a central's
    // report can be timed as others are added beside it.
    for (int c = 1; c < options.centrals; ++c) {
        CentralDef copy = centrals[0];
        copy.code = demo::centralCode(c);
        copy.name = QStringLiteral("Central Merenda %1").arg(c + 1);
        for (int t = 0; t < copy.menuTypes.size(); ++t)
            copy.menuTypes[t].code = QStringLiteral("%1%2").arg(c + 1).arg(t + 1);
        centrals.append(copy);
    }

    QList<School> schools;
    for (int i = 0; i < options.branches; ++i) {
        const QString name = i < int(std::size(kSchoolNames)) ? QString::fromUtf8(kSchoolNames[i])
                                                              : QStringLiteral("Escola Municipal nº %1").arg(i + 1);
        schools.append({demo::schoolCode(i), name, demo::kCentral, random.range(150, 600), i % 4 == 3, i % 3 == 0, centrals[0].services});
    }
    schools.append({"9001", "EM Rio Claro", demo::kOtherCentral, 180, false, false, centrals[1].services});
    schools.append({"9002", "EMEI Rio Claro", demo::kOtherCentral, 90, false, false, centrals[1].services});
    for (int c = 1; c < options.centrals; ++c) {
        for (int i = 0; i < options.branches; ++i)
            schools.append({demo::schoolCode(c, i), QStringLiteral("Escola %1 da central %2").arg(i + 1).arg(c + 1), demo::centralCode(c),
                            random.range(150, 600), i % 4 == 3, i % 3 == 0, centrals[0].services});
    }

    DemoSummary summary;
    WriteTransaction transaction(db);
    suspendSummaries(db);
    insertReferenceData(db, centrals, schools, serviceDefs, options, random, summary);
    insertHistory(db, centrals, schools, serviceDefs, options, random, summary);
    rebuildSummaries(db);
    transaction.commit();
    refreshStatistics(db, {});
    return summary;
}

} // namespace server
