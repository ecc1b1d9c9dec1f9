#include "server/custoplanxreal.h"

#include "server/audit.h"
#include "server/datagaps.h"
#include "server/emptyreason.h"
#include "server/refusal.h"
#include "server/reportdata.h"
#include "server/rights.h"
#include "server/selection.h"
#include "wire/codes.h"
#include "wire/datapacket.h"
#include "wire/keylist.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>

namespace server {

namespace {

constexpr int kBranchWidth = wire::kBranchCodeWidth;
constexpr int kServiceWidth = wire::kServiceCodeWidth;
constexpr int kGroupingWidth = wire::kGroupingCodeWidth;
constexpr int kServiceGroupWidth = wire::kServiceGroupCodeWidth;
constexpr int kMenuTypeWidth = wire::kMenuTypeCodeWidth;
constexpr int kProductWidth = wire::kProductCodeWidth;
constexpr int kOperatorWidth = wire::kOperatorCodeWidth;

const QString kUnmarked = QStringLiteral("N");

QString code(const Args &args, int position, const QString &what, int maxLength)
{
    QString error;
    const auto parsed = wire::parseCode(args.text(position), what, maxLength, &error);
    if (!parsed)
        throw Refusal{error};
    return *parsed;
}

QString requiredCode(const Args &args, int position, const QString &what, int maxLength)
{
    const QString value = code(args, position, what, maxLength);
    if (value.isEmpty())
        throw Refusal{QStringLiteral("Código não informado: %1.").arg(what.toLower())};
    return value;
}

wire::KeySelection keys(const QString &text, const QString &what, int maxKeyLength, wire::EmptyMeans empty = wire::EmptyMeans::Nothing)
{
    QString error;
    wire::KeyListRules rules{what, maxKeyLength};
    rules.empty = empty;
    const auto parsed = wire::parseKeyList(text, rules, &error);
    if (!parsed)
        throw Refusal{error};
    return *parsed;
}

ServiceKeys serviceKeys(const QString &text, const QString &what, wire::EmptyMeans empty = wire::EmptyMeans::Nothing)
{
    const wire::KeySelection selection = keys(text, what, kBranchWidth + kServiceWidth, empty);
    ServiceKeys result;
    result.all = selection.all;
    for (const QString &key : selection.keys) {
        if (key.size() <= kServiceWidth)
            result.services << key;
        else if (key.size() == kBranchWidth + kServiceWidth)
            result.branchServices << key;
        else
            throw Refusal{QStringLiteral("%1 com a chave \"%2\": use o código do serviço (até 5 caracteres) ou a filial seguida do serviço (9 caracteres).")
                              .arg(what, key)};
    }
    return result;
}

// Refuses a code that is not a registered school-meal central.
void requireCentral(QSqlDatabase &db, const QString &central)
{
    const QString what = QStringLiteral("ler a central de alimentação escolar");
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT IDFILCENTZUB FROM FILIAL WHERE CDFILIAL = ?")).bind(central),
                           what);
    if (!nextRow(db, query, what))
        throw Refusal{QStringLiteral("Central de alimentação escolar %1 não cadastrada.").arg(central)};
    if (query.value(0).toString() != QLatin1String("S"))
        throw Refusal{QStringLiteral("A filial %1 não é uma central de alimentação escolar.").arg(central)};
}

// The plan preparation answers its number as a plain string: exactly 10 characters mean
// success, so a refusal must never have that length.
Handler plainText(const CustoPlanXReal *self, CallResult (CustoPlanXReal::*method)(const Args &) const)
{
    return [self, method](const Args &args) {
        try {
            return (self->*method)(args);
        } catch (const Refusal &refusal) {
            QString text = refusal.message;
            if (wire::isPlanNumber(text))
                text += QLatin1Char(' ');
            return CallResult{text, {}};
        }
    };
}

const QList<wire::FieldDef> kBranchFields = {{QStringLiteral("IDMARCADO"), QStringLiteral("string"), 1},
                                             {QStringLiteral("CDFILIAL"), QStringLiteral("string"), kBranchWidth},
                                             {QStringLiteral("NMFILIAL"), QStringLiteral("string"), 30}};
const QList<wire::FieldDef> kGroupingFields = {{QStringLiteral("CDGRUPFILI"), QStringLiteral("string"), kGroupingWidth},
                                               {QStringLiteral("NMGRUPFILI"), QStringLiteral("string"), 40}};
const QList<wire::FieldDef> kServiceFields = {{QStringLiteral("IDMARCADO"), QStringLiteral("string"), 1},
                                              {QStringLiteral("CDFILIAL"), QStringLiteral("string"), kBranchWidth},
                                              {QStringLiteral("CDSERVFILI"), QStringLiteral("string"), kServiceWidth},
                                              {QStringLiteral("NMSERVICO"), QStringLiteral("string"), 40},
                                              {QStringLiteral("FILISERV"), QStringLiteral("string"), kBranchWidth + kServiceWidth}};

bool isStoredNumber(const QString &number)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{10}$"));
    return digits.match(number).hasMatch();
}

} // namespace

QList<MethodSpec> CustoPlanXReal::methods() const
{
    const ArgSpec central{QStringLiteral("central")};
    return {
        {QStringLiteral("GetFiliAgreg"),
         {{QStringLiteral("tipo de seleção")}, {QStringLiteral("agrupamento")}, central, {QStringLiteral("filial agregada")}},
         enveloped(this, &CustoPlanXReal::getFiliAgreg)},
        {QStringLiteral("GetAgrupFili"), {{QStringLiteral("agrupamento")}}, enveloped(this, &CustoPlanXReal::getAgrupFili)},
        {QStringLiteral("GetServico"),
         {{QStringLiteral("filiais")}, {QStringLiteral("grupos de serviço")}, {QStringLiteral("agrupamento")}, central},
         enveloped(this, &CustoPlanXReal::getServico)},
        {QStringLiteral("ExecStpConsPlan"),
         {central,
          {QStringLiteral("tipos de cardápio")},
          {QStringLiteral("filiais")},
          {QStringLiteral("serviços")},
          {QStringLiteral("data inicial"), ArgKind::Date},
          {QStringLiteral("data final"), ArgKind::Date},
          {QStringLiteral("produto inicial")},
          {QStringLiteral("produto final")},
          {QStringLiteral("operador")}},
         audited(m_settings, QStringLiteral("ExecStpConsPlan"), plainText(this, &CustoPlanXReal::execStpConsPlan)), Lane::Slow},
        {QStringLiteral("getListas"),
         {{QStringLiteral("serviços")}, {QStringLiteral("tipos de cardápio")}, central, {QStringLiteral("filiais")}},
         audited(m_settings, QStringLiteral("getListas"), enveloped(this, &CustoPlanXReal::getListas)), Lane::Slow},
        {QStringLiteral("DelConsPlan"),
         {{QStringLiteral("filial agregada")}, {QStringLiteral("número do plano")}},
         enveloped(this, &CustoPlanXReal::delConsPlan)},
        {QStringLiteral("deletaListas"), {{QStringLiteral("números das listas"), ArgKind::Any}},
         enveloped(this, &CustoPlanXReal::deletaListas)},
        {QStringLiteral("GetMotivoVazio"),
         {central,
          {QStringLiteral("lista de filiais")},
          {QStringLiteral("lista de serviços")},
          {QStringLiteral("lista de tipos de cardápio")},
          {QStringLiteral("data inicial"), ArgKind::Date},
          {QStringLiteral("data final"), ArgKind::Date},
          {QStringLiteral("estocáveis")},
          {QStringLiteral("não estocáveis")}},
         audited(m_settings, QStringLiteral("GetMotivoVazio"), enveloped(this, &CustoPlanXReal::getMotivoVazio))},
    };
}

// Kind "A" lists the members of the grouping, "F" ignores any grouping. The kind actually
// applied goes back to the caller's variable: "A" without a grouping code works as "F".
CallResult CustoPlanXReal::getFiliAgreg(const Args &args) const
{
    const QString kind = args.text(0).trimmed().toUpper();
    if (kind != QLatin1String("F") && kind != QLatin1String("A"))
        throw Refusal{QStringLiteral("Tipo de seleção de filiais inválido \"%1\": use F (sem agrupamento) ou A (com agrupamento).").arg(args.text(0).left(20))};
    const QString grouping = code(args, 1, QStringLiteral("Agrupamento de filiais"), kGroupingWidth);
    const QString central = requiredCode(args, 2, QStringLiteral("Central de alimentação escolar"), kBranchWidth);
    const QString branch = code(args, 3, QStringLiteral("Filial agregada"), kBranchWidth);
    const QString applied = kind == QLatin1String("A") && !grouping.isEmpty() ? QStringLiteral("A") : QStringLiteral("F");
    const Caller &caller = Caller::current();
    allow(centralRefusal(caller, central));
    allow(branchRefusal(caller, branch));

    wire::KeySelection branches;
    branches.all = branch.isEmpty();
    if (!branches.all)
        branches.keys << branch;
    Sql sql(QStringLiteral("SELECT ?, F.CDFILIAL, F.NMFILIAL FROM FILIAL F WHERE 1 = 1"));
    sql.bind(kUnmarked);
    restrictBranches(sql, central, branches, applied == QLatin1String("A") ? grouping : QString());
    sql.add(QStringLiteral(" ORDER BY F.CDFILIAL"));

    QSqlDatabase db = threadConnection(m_settings);
    if (applied == QLatin1String("A"))
        allow(groupingRefusal(db, caller, grouping));
    QSqlQuery query = exec(db, sql, QStringLiteral("ler as filiais agregadas"));
    return envelopeOk(readPacket(db, query, kBranchFields).toJson(), {{0, applied}});
}

CallResult CustoPlanXReal::getAgrupFili(const Args &args) const
{
    Sql sql(QStringLiteral("SELECT CDGRUPFILI, NMGRUPFILI FROM GRUPFILI WHERE 1 = 1"));
    if (args.text(0) != QLatin1String("T"))
        sql.add(QStringLiteral(" AND CDGRUPFILI = ?"), requiredCode(args, 0, QStringLiteral("Agrupamento de filiais"), kGroupingWidth));
    restrictGroupings(sql, Caller::current());
    sql.add(QStringLiteral(" ORDER BY CDGRUPFILI"));
    QSqlDatabase db = threadConnection(m_settings);
    QSqlQuery query = exec(db, sql, QStringLiteral("ler os agrupamentos de filiais"));
    return envelopeOk(readPacket(db, query, kGroupingFields).toJson());
}

CallResult CustoPlanXReal::getServico(const Args &args) const
{
    const wire::KeySelection branches = keys(args.text(0), QStringLiteral("Lista de filiais"), kBranchWidth);
    const wire::KeySelection groups = keys(args.text(1), QStringLiteral("Lista de grupos de serviço"), kServiceGroupWidth);
    const QString groupingText = args.text(2).trimmed();
    const QString grouping = groupingText == QLatin1String("T") ? QString() : code(args, 2, QStringLiteral("Agrupamento de filiais"), kGroupingWidth);
    const QString central = requiredCode(args, 3, QStringLiteral("Central de alimentação escolar"), kBranchWidth);
    const Caller &caller = Caller::current();
    allow(centralRefusal(caller, central));
    allow(branchesRefusal(caller, branches));

    Sql sql(QStringLiteral("SELECT ?, S.CDFILIAL, S.CDSERVFILI, S.NMSERVICO, S.CDFILIAL || S.CDSERVFILI"
                           " FROM SERVFILI S JOIN FILIAL F ON F.CDFILIAL = S.CDFILIAL WHERE 1 = 1"));
    sql.bind(kUnmarked);
    // The grouping narrows "all branches"; a branch list was already taken from the grouping.
    restrictBranches(sql, central, branches, branches.all ? grouping : QString());
    restrictKeys(sql, QStringLiteral("S.CDGRUPSERV"), groups);
    sql.add(QStringLiteral(" ORDER BY S.CDFILIAL, S.CDSERVFILI"));

    QSqlDatabase db = threadConnection(m_settings);
    allow(groupingRefusal(db, caller, grouping));
    QSqlQuery query = exec(db, sql, QStringLiteral("ler os serviços"));
    return envelopeOk(readPacket(db, query, kServiceFields).toJson());
}

// Prepares the report's data for the chosen branches, services and period (see storeReportData)
// under a new number, all in one transaction. The consolidated plan of stockable products is the
// view ITCONSPLAN of the same rows.
CallResult CustoPlanXReal::execStpConsPlan(const Args &args) const
{
    const QString central = requiredCode(args, 0, QStringLiteral("Central de alimentação escolar"), kBranchWidth);
    const wire::KeySelection menuTypes = keys(args.text(1), QStringLiteral("Lista de tipos de cardápio"), kMenuTypeWidth, wire::EmptyMeans::All);
    const wire::KeySelection branches = keys(args.text(2), QStringLiteral("Lista de filiais"), kBranchWidth);
    const ServiceKeys services = serviceKeys(args.text(3), QStringLiteral("Lista de serviços"), wire::EmptyMeans::All);
    const QDate start = args.date(4);
    const QDate end = args.date(5);
    if (start > end)
        throw Refusal{QStringLiteral("A data inicial (%1) é posterior à data final (%2).")
                          .arg(start.toString(QStringLiteral("dd/MM/yyyy")), end.toString(QStringLiteral("dd/MM/yyyy")))};
    const QString firstProduct = args.text(6);
    const QString lastProduct = args.text(7);
    if (firstProduct.size() > kProductWidth || lastProduct.size() > kProductWidth)
        throw Refusal{QStringLiteral("Faixa de produtos inválida: os códigos têm no máximo %1 caracteres.").arg(kProductWidth)};
    if (firstProduct > lastProduct)
        throw Refusal{QStringLiteral("Faixa de produtos inválida: o produto inicial \"%1\" vem depois do final \"%2\".").arg(firstProduct, lastProduct)};
    const QString operatorArgument = args.text(8).trimmed();
    if (operatorArgument.size() > kOperatorWidth)
        throw Refusal{QStringLiteral("Código do operador com mais de %1 caracteres.").arg(kOperatorWidth)};
    const Caller &caller = Caller::current();
    allow(operatorArgumentRefusal(caller, operatorArgument));
    allow(centralRefusal(caller, central));
    allow(branchesRefusal(caller, branches));
    allow(serviceKeysRefusal(caller, services));
    const QString operatorCode = caller.isOperator() ? caller.account.code : operatorArgument;

    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    requireCentral(db, central);
    const QString number = nextNumber(db, QStringLiteral("CONSPLAN"), kNumberWidth);
    exec(db,
         Sql(QStringLiteral("INSERT INTO CONSPLAN (NRCONSPLAN, CDFILCENTZUB, CDOPERADOR, DTINICIAL, DTFINAL, CDPRODINIC, CDPRODFINA, DTCRIACAO, CDDONO)"
                            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"))
             .bind(number).bind(central).bind(operatorCode).bind(start).bind(end)
             .bind(firstProduct).bind(lastProduct).bind(QDateTime::currentDateTimeUtc()).bind(caller.owner()),
         QStringLiteral("registrar o plano consolidado"));

    PlanScope scope;
    scope.central = central;
    scope.branches = branches;
    scope.services = services;
    scope.menuTypes = menuTypes;
    scope.start = start;
    scope.end = end;
    scope.firstProduct = firstProduct;
    scope.lastProduct = lastProduct;
    const qint64 stored = storeReportData(db, number, scope);
    storeDataGaps(db, number, scope);
    transaction.commit();
    refreshStatisticsAfter(db, kReportDataTables, stored, kPlanRowsWorthStatistics);
    return CallResult{number, {}};
}

// Stores the service, menu-type and branch selections as rows of LISTA, "T" expanded to the
// central's entries (a school's services to its own), so report queries join them the same way whatever the user chose.
CallResult CustoPlanXReal::getListas(const Args &args) const
{
    const ServiceKeys services = serviceKeys(args.text(0), QStringLiteral("Lista de serviços"));
    const wire::KeySelection menuTypes = keys(args.text(1), QStringLiteral("Lista de tipos de cardápio"), kMenuTypeWidth);
    const QString central = requiredCode(args, 2, QStringLiteral("Central de alimentação escolar"), kBranchWidth);
    const wire::KeySelection branches = keys(args.text(3), QStringLiteral("Lista de filiais"), kBranchWidth);
    const Caller &caller = Caller::current();
    allow(centralRefusal(caller, central));
    allow(branchesRefusal(caller, branches));
    allow(serviceKeysRefusal(caller, services));

    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    requireCentral(db, central);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString serviceList = nextNumber(db, QStringLiteral("LISTA"), kNumberWidth);
    const QString menuTypeList = nextNumber(db, QStringLiteral("LISTA"), kNumberWidth);
    const QString branchList = nextNumber(db, QStringLiteral("LISTA"), kNumberWidth);

    const QString insert = QStringLiteral("INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO, CDDONO) ");
    Sql serviceSql(insert + QStringLiteral("SELECT ?, 'S', S.CDFILIAL || S.CDSERVFILI, S.CDFILIAL, S.CDSERVFILI, NULL, ?, ?"
                                           " FROM SERVFILI S JOIN FILIAL F ON F.CDFILIAL = S.CDFILIAL WHERE 1 = 1"));
    serviceSql.bind(serviceList).bind(now).bind(caller.owner());
    restrictBranches(serviceSql, central, allVisibleBranches(caller));
    restrictServices(serviceSql, QStringLiteral("S"), services);
    const qint64 serviceRows = exec(db, serviceSql, QStringLiteral("gravar a lista de serviços")).numRowsAffected();

    Sql menuTypeSql(insert + QStringLiteral("SELECT ?, 'T', T.CDTIPOCARD, NULL, NULL, T.CDTIPOCARD, ?, ? FROM TIPOCARD T WHERE T.CDFILCENTZUB = ?"));
    menuTypeSql.bind(menuTypeList).bind(now).bind(caller.owner()).bind(central);
    restrictKeys(menuTypeSql, QStringLiteral("T.CDTIPOCARD"), menuTypes);
    exec(db, menuTypeSql, QStringLiteral("gravar a lista de tipos de cardápio"));

    Sql branchSql(insert + QStringLiteral("SELECT ?, 'F', F.CDFILIAL, F.CDFILIAL, NULL, NULL, ?, ? FROM FILIAL F WHERE 1 = 1"));
    branchSql.bind(branchList).bind(now).bind(caller.owner());
    restrictBranches(branchSql, central, branches);
    const qint64 branchRows = exec(db, branchSql, QStringLiteral("gravar a lista de filiais")).numRowsAffected();

    transaction.commit();
    refreshStatisticsAfter(db, {QStringLiteral("LISTA")}, serviceRows + branchRows, kListRowsWorthStatistics);
    return envelopeOk(QJsonArray{serviceList, menuTypeList, branchList});
}

// Names the filter that left a report without lines (see emptyReportReason), from the lists
// getListas stored for the run: only the caller's own lists count, another's read as empty.
CallResult CustoPlanXReal::getMotivoVazio(const Args &args) const
{
    ReportRunScope scope;
    scope.central = requiredCode(args, 0, QStringLiteral("Central de alimentação escolar"), kBranchWidth);
    const QStringList listNames = {QStringLiteral("filiais"), QStringLiteral("serviços"), QStringLiteral("tipos de cardápio")};
    QStringList lists;
    for (int i = 0; i < listNames.size(); ++i) {
        lists << args.text(1 + i);
        if (!isStoredNumber(lists.last()))
            throw Refusal{QStringLiteral("Número da lista de %1 inválido: \"%2\".").arg(listNames[i], lists.last().left(20))};
    }
    scope.branchList = lists[0];
    scope.serviceList = lists[1];
    scope.menuTypeList = lists[2];
    scope.start = args.date(4);
    scope.end = args.date(5);
    if (scope.start > scope.end)
        throw Refusal{QStringLiteral("A data inicial (%1) é posterior à data final (%2).")
                          .arg(scope.start.toString(QStringLiteral("dd/MM/yyyy")), scope.end.toString(QStringLiteral("dd/MM/yyyy")))};
    scope.stockables = args.text(6) == QLatin1String("S");
    scope.nonStockables = args.text(7) == QLatin1String("S");
    const Caller &caller = Caller::current();
    allow(centralRefusal(caller, scope.central));
    scope.visibleBranches = allVisibleBranches(caller);
    scope.owner = caller.owner();
    QSqlDatabase db = threadConnection(m_settings);
    requireCentral(db, scope.central);
    return envelopeOk(emptyReportReason(db, scope));
}

// The branch argument is not needed to find a plan: its number alone names it. Anything that
// is not the number of a stored plan (empty, blank, an earlier error text) deletes nothing.
CallResult CustoPlanXReal::delConsPlan(const Args &args) const
{
    const QString number = args.text(1);
    if (!isStoredNumber(number))
        return envelopeOk(QString());
    // Only the plan's owner deletes it; another's number deletes nothing, as a number not on file.
    const QString owner = Caller::current().owner();
    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    const QString what = QStringLiteral("ler o dono do plano consolidado");
    QSqlQuery owned = exec(db, Sql(QStringLiteral("SELECT 1 FROM CONSPLAN WHERE NRCONSPLAN = ? AND CDDONO = ?")).bind(number).bind(owner),
                           what);
    if (!nextRow(db, owned, what))
        return envelopeOk(QString());
    owned.finish();
    for (const QString &table : kReportDataTables)
        exec(db, Sql(QStringLiteral("DELETE FROM %1 WHERE NRCONSPLAN = ?").arg(table)).bind(number), QStringLiteral("apagar o plano consolidado"));
    exec(db, Sql(QStringLiteral("DELETE FROM CONSPLAN WHERE NRCONSPLAN = ?")).bind(number), QStringLiteral("apagar o plano consolidado"));
    transaction.commit();
    return envelopeOk(QString());
}

// Deletes the lists of the array and writes the array back emptied, as the caller's variable
// must be once its lists are gone.
CallResult CustoPlanXReal::deletaListas(const Args &args) const
{
    const QJsonValue raw = args.raw(0);
    QJsonArray elements;
    if (raw.isArray())
        elements = raw.toArray();
    else if (raw.isString() || raw.isNull())
        elements.append(raw);
    else
        throw CallError{wire::InvalidParams, QStringLiteral("Argumento 1 (números das listas) de deletaListas deve ser uma lista de números.")};
    if (elements.size() > 100)
        throw CallError{wire::InvalidParams, QStringLiteral("deletaListas recebeu mais de 100 números de lista.")};

    QStringList numbers;
    for (const QJsonValue &element : elements) {
        if (element.isString()) {
            if (isStoredNumber(element.toString()))
                numbers << element.toString();
        } else if (element.isDouble() && element.toDouble() >= 0 && element.toDouble() < 1e10) {
            numbers << QStringLiteral("%1").arg(qint64(element.toDouble()), kNumberWidth, 10, QLatin1Char('0'));
        } else if (!element.isNull()) {
            throw CallError{wire::InvalidParams, QStringLiteral("deletaListas: cada número de lista deve ser texto.")};
        }
    }
    if (!numbers.isEmpty()) {
        QSqlDatabase db = threadConnection(m_settings);
        WriteTransaction transaction(db);
        exec(db, Sql(QStringLiteral("DELETE FROM LISTA WHERE CDDONO = ? AND ")).bind(Caller::current().owner()).in(QStringLiteral("NRLISTA"), numbers),
             QStringLiteral("apagar as listas"));
        transaction.commit();
    }
    QJsonArray emptied;
    for (qsizetype i = 0; i < elements.size(); ++i)
        emptied.append(QString());
    return envelopeOk(QString(), {{0, raw.isArray() ? QJsonValue(emptied) : QJsonValue(QString())}});
}

} // namespace server
