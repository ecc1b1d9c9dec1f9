#include "filters/filtervalue.h"

#include "host/data/errors.h"
#include "host/data/hostfunctions.h"
#include "wire/keylist.h"

#include <QJsonArray>
#include <functional>

using host::HostError;

namespace zub01100 {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

[[noreturn]] void refuse(const QString &key, const QString &why)
{
    throw HostError(QStringLiteral("Filtro \"%1\": %2").arg(key, why));
}

QJsonValue selectionToJson(const wire::KeySelection &selection, const QString &allWord)
{
    if (selection.all)
        return allWord;
    return QJsonArray::fromStringList(selection.keys);
}

// "todos" (or "todas") keeps the marks behind "Todos"; a list gives its codes.
wire::KeySelection selectionFromJson(const QString &key, const QJsonValue &value, const QString &allWord, wire::KeySelection selection)
{
    if (value.isString()) {
        if (value.toString().compare(allWord, Qt::CaseInsensitive) != 0)
            refuse(key, QStringLiteral("use \"%1\" ou uma lista de códigos.").arg(allWord));
        selection.all = true;
        return selection;
    }
    if (!value.isArray() || value.toArray().isEmpty())
        refuse(key, QStringLiteral("use \"%1\" ou uma lista de códigos.").arg(allWord));
    QStringList codes;
    for (const QJsonValue &code : value.toArray()) {
        const QString text = code.toString().trimmed();
        if (!code.isString() || text.isEmpty() || text.contains(QLatin1Char('_')))
            refuse(key, QStringLiteral("código inválido na lista."));
        codes.append(text);
    }
    return {false, codes};
}

QDate dateFromJson(const QString &key, const QJsonValue &value)
{
    const QDate date = QDate::fromString(value.toString(), kDateFormat);
    if (!value.isString() || !date.isValid())
        refuse(key, QStringLiteral("data inválida, use dd/mm/aaaa."));
    return date;
}

bool flagFromJson(const QString &key, const QJsonValue &value)
{
    if (!value.isBool())
        refuse(key, QStringLiteral("use true ou false."));
    return value.toBool();
}

// What reading a filter from JSON may consult, and where it tells what the user should know.
struct JsonReadContext {
    const FilterOptions &options;
    QStringList *notes;
};

// One filter of the JSON value, in the order the screen applies them: what a batch's --help says
// of it, how the value writes it (undefined: left out) and how a JSON value sets it, refusing what
// it cannot take.
struct JsonField {
    const char *key;
    FilterKeyKind kind;
    QString values;
    QString field;
    std::function<QJsonValue(const FilterValue &)> write;
    std::function<void(FilterValue &, const QJsonValue &, const JsonReadContext &)> read;
};

QString codesValues(const char *allWord)
{
    return QString::fromLatin1(allWord) + QStringLiteral("|código,código");
}

JsonField selectionField(const char *key, wire::KeySelection FilterValue::*selection, const char *allWord, const QString &field)
{
    return {key, FilterKeyKind::Codes, codesValues(allWord), field,
            [=](const FilterValue &v) { return selectionToJson(v.*selection, QString::fromLatin1(allWord)); },
            [=](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
                v.*selection = selectionFromJson(QString::fromLatin1(key), json, QString::fromLatin1(allWord), v.*selection);
            }};
}

JsonField dateField(const char *key, QString FilterValue::*text, QDate FilterValue::*date, const QString &field)
{
    return {key, FilterKeyKind::Text, QStringLiteral("dd/mm/aaaa"), field, [=](const FilterValue &v) { return QJsonValue(v.*text); },
            [=](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
                v.*date = dateFromJson(QString::fromLatin1(key), json);
                v.*text = (v.*date).toString(kDateFormat);
            }};
}

JsonField flagField(const char *key, bool FilterValue::*flag, const QString &field)
{
    return {key, FilterKeyKind::Flag, QStringLiteral("true|false"), field, [=](const FilterValue &v) { return QJsonValue(v.*flag); },
            [=](FilterValue &v, const QJsonValue &json, const JsonReadContext &) { v.*flag = flagFromJson(QString::fromLatin1(key), json); }};
}

const QList<JsonField> &jsonFields()
{
    static const QList<JsonField> fields{
        {"relatorio", FilterKeyKind::Number, QStringLiteral("N|título"), QStringLiteral("Relatório: a posição na lista (0 é o primeiro) ou o título"),
         [](const FilterValue &v) { return QJsonValue(v.reportIndex); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &c) {
             const QStringList &titles = c.options.reportTitles;
             const int index = json.isDouble() ? json.toInt(-1) : int(titles.indexOf(json.toString()));
             if (index < 0 || index >= titles.size())
                 refuse("relatorio", QStringLiteral("relatório não encontrado."));
             v.reportIndex = index;
         }},
        {"agrupamento", FilterKeyKind::Text, QStringLiteral("código"), QStringLiteral("Agrupamento de Filiais (vazio: nenhum)"),
         [](const FilterValue &v) { return QJsonValue(v.groupingCode); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
             v.groupingCode = json.toString();
             if (v.branchModule && !host::EmptyString(v.groupingCode))
                 refuse("agrupamento", QStringLiteral("o modo filial não permite agrupamento."));
         }},
        {"filial", FilterKeyKind::Text, QStringLiteral("código"), QStringLiteral("Filial Agregada na tela de uma escola: a filial logada"),
         [](const FilterValue &v) { return v.singleBranchPage ? QJsonValue(v.branch) : QJsonValue(QJsonValue::Undefined); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
             if (!v.singleBranchPage || json.toString() != v.branch)
                 refuse("filial", QStringLiteral("a filial única é a filial logada, no modo filial; use \"filiais\" nos demais casos."));
         }},
        {"filiais", FilterKeyKind::Codes, codesValues("todas"), QStringLiteral("Filial Agregada"),
         [](const FilterValue &v) {
             return v.singleBranchPage ? QJsonValue(QJsonValue::Undefined) : selectionToJson(v.branches, QStringLiteral("todas"));
         },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
             if (v.singleBranchPage)
                 refuse("filiais", QStringLiteral("no modo filial o relatório fica na filial logada."));
             v.branches = selectionFromJson("filiais", json, QStringLiteral("todas"), v.branches);
         }},
        selectionField("tiposCardapio", &FilterValue::menuTypes, "todos", QStringLiteral("Tipo de Cardápio")),
        {"tipoCusto", FilterKeyKind::Text, QStringLiteral("nome"), QStringLiteral("Tipo de Custo, pelo nome como a tela o lista"),
         [](const FilterValue &v) { return QJsonValue(v.costTypeName); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &c) {
             v.costTypeName = json.toString();
             v.costTypeIndex = int(c.options.costTypes.indexOf(v.costTypeName));
             if (v.costTypeIndex < 0)
                 refuse("tipoCusto", QStringLiteral("tipo de custo não encontrado."));
         }},
        // Written by savedFilterJson only, in place of the dates.
        {"periodo", FilterKeyKind::Text, QStringLiteral("regra"),
         QStringLiteral("Data Inicial e Data Final no dia da execução: %1").arg(relativePeriodChoices()),
         [](const FilterValue &) { return QJsonValue(QJsonValue::Undefined); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &c) {
             const std::optional<RelativePeriod> period = periodOf(QJsonObject{{"periodo", json}});
             const QDate today = c.options.today.isValid() ? c.options.today : QDate::currentDate();
             const ResolvedPeriod resolved = resolveRelativePeriod(*period, today, c.options.schoolYears, v.central);
             v.start = resolved.start;
             v.end = resolved.end;
             v.startText = v.start.toString(kDateFormat);
             v.endText = v.end.toString(kDateFormat);
             if (c.notes && !resolved.note.isEmpty())
                 c.notes->append(resolved.note);
         }},
        dateField("dataInicial", &FilterValue::startText, &FilterValue::start, QStringLiteral("Data Inicial")),
        dateField("dataFinal", &FilterValue::endText, &FilterValue::end, QStringLiteral("Data Final")),
        selectionField("gruposServico", &FilterValue::serviceGroups, "todos", QStringLiteral("Grupo de Serviços")),
        selectionField("servicos", &FilterValue::services, "todos", QStringLiteral("Serviço")),
        flagField("estocaveis", &FilterValue::stockable, QStringLiteral("Estocáveis")),
        flagField("naoEstocaveis", &FilterValue::nonStockable, QStringLiteral("Não Estocáveis")),
        {"diferenca", FilterKeyKind::Text, QStringLiteral("per capita|total"), QStringLiteral("Diferença pela Quantidade"),
         [](const FilterValue &v) {
             return QJsonValue(v.difference == DifferenceMode::PerCapita ? QStringLiteral("per capita") : QStringLiteral("total"));
         },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &) {
             const QString mode = json.toString().toLower();
             if (mode != QLatin1String("per capita") && mode != QLatin1String("total"))
                 refuse("diferenca", QStringLiteral("use \"per capita\" ou \"total\"."));
             v.difference = mode == QLatin1String("total") ? DifferenceMode::Total : DifferenceMode::PerCapita;
         }},
        {"nivel", FilterKeyKind::Number, QStringLiteral("N"), QStringLiteral("Agrupar Produtos pelo Nível (0: nenhum)"),
         [](const FilterValue &v) { return QJsonValue(v.level); },
         [](FilterValue &v, const QJsonValue &json, const JsonReadContext &c) {
             const int level = json.toInt(-1);
             if (!json.isDouble() || level < c.options.minLevel || level > c.options.maxLevel)
                 refuse("nivel", QStringLiteral("nível fora do intervalo de %1 a %2.").arg(c.options.minLevel).arg(c.options.maxLevel));
             v.level = level;
         }},
    };
    return fields;
}

} // namespace

const QStringList &filterJsonKeys()
{
    static const QStringList keys = [] {
        QStringList all;
        for (const JsonField &field : jsonFields())
            all << QString::fromLatin1(field.key);
        return all;
    }();
    return keys;
}

QList<FilterKeyHelp> filterKeyHelp()
{
    QList<FilterKeyHelp> keys;
    for (const JsonField &field : jsonFields())
        keys.append({QString::fromLatin1(field.key), field.kind, field.values, field.field});
    return keys;
}

QJsonObject filterToJson(const FilterValue &value)
{
    QJsonObject state;
    for (const JsonField &field : jsonFields()) {
        const QJsonValue json = field.write(value);
        if (!json.isUndefined())
            state[QString::fromLatin1(field.key)] = json;
    }
    return state;
}

QJsonObject savedFilterJson(const FilterValue &value, const std::optional<RelativePeriod> &period)
{
    QJsonObject state = filterToJson(value);
    for (const char *key : {"dataInicial", "dataFinal"}) {
        if (period || host::EmptyString(state[key].toString()))
            state.remove(key);
    }
    if (period)
        state["periodo"] = relativePeriodText(*period);
    return state;
}

QJsonObject overlayFilters(QJsonObject saved, const QJsonObject &overrides)
{
    if (overrides.contains("periodo")) {
        saved.remove("dataInicial");
        saved.remove("dataFinal");
    }
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        saved[it.key()] = it.value();
    return saved;
}

std::optional<RelativePeriod> periodOf(const QJsonObject &state)
{
    if (!state.contains("periodo"))
        return std::nullopt;
    QString why;
    const std::optional<RelativePeriod> period = parseRelativePeriod(state["periodo"].toString(), &why);
    if (!period)
        refuse("periodo", why);
    return period;
}

FilterValue filterFromJson(const QJsonObject &state, FilterValue value, const FilterOptions &options, QStringList *notes)
{
    for (auto it = state.begin(); it != state.end(); ++it) {
        if (!filterJsonKeys().contains(it.key()))
            throw HostError(QStringLiteral("Filtro desconhecido: \"%1\".").arg(it.key()));
    }
    const JsonReadContext context{options, notes};
    for (const JsonField &field : jsonFields()) {
        const QString key = QString::fromLatin1(field.key);
        if (state.contains(key))
            field.read(value, state[key], context);
    }
    return value;
}

} // namespace zub01100
