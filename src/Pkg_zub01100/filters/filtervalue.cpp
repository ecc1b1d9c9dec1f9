#include "filters/filtervalue.h"

#include "host/data/errors.h"
#include "host/data/hostfunctions.h"
#include "wire/keylist.h"

#include <QJsonArray>

using host::HostError;

namespace zub01100 {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

[[noreturn]] void refuse(const QString &key, const QString &why)
{
    throw HostError(QStringLiteral("Filtro \"%1\": %2").arg(key, why));
}

QJsonValue selectionToJson(const KeySelection &selection, const QString &allWord)
{
    if (selection.all)
        return allWord;
    return QJsonArray::fromStringList(wire::splitKeyList(selection.marked));
}

// "todos" (or "todas") keeps the marks behind "Todos"; a list gives its key list "_K1_K2_".
KeySelection selectionFromJson(const QString &key, const QJsonValue &value, const QString &allWord, KeySelection selection)
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
    return {false, wire::joinKeyList(codes)};
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

} // namespace

bool KeySelection::unmarked() const
{
    return !all && host::EmptyString(marked);
}

const QStringList &filterJsonKeys()
{
    static const QStringList keys{"relatorio",   "agrupamento", "filial",        "filiais",  "tiposCardapio",
                                  "tipoCusto",   "periodo",     "dataInicial",   "dataFinal", "gruposServico",
                                  "servicos",    "estocaveis",  "naoEstocaveis", "diferenca", "nivel"};
    return keys;
}

QJsonObject filterToJson(const FilterValue &value)
{
    QJsonObject state;
    state["relatorio"] = value.reportIndex;
    state["agrupamento"] = value.groupingCode;
    if (value.singleBranchPage)
        state["filial"] = value.branch;
    else
        state["filiais"] = selectionToJson(value.branches, QStringLiteral("todas"));
    state["tiposCardapio"] = selectionToJson(value.menuTypes, QStringLiteral("todos"));
    state["tipoCusto"] = value.costTypeName;
    state["dataInicial"] = value.startText;
    state["dataFinal"] = value.endText;
    state["gruposServico"] = selectionToJson(value.serviceGroups, QStringLiteral("todos"));
    state["servicos"] = selectionToJson(value.services, QStringLiteral("todos"));
    state["estocaveis"] = value.stockable;
    state["naoEstocaveis"] = value.nonStockable;
    state["diferenca"] = value.difference == DifferenceMode::PerCapita ? QStringLiteral("per capita") : QStringLiteral("total");
    state["nivel"] = value.level;
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

    if (state.contains("relatorio")) {
        const QJsonValue report = state["relatorio"];
        const int index = report.isDouble() ? report.toInt(-1) : int(options.reportTitles.indexOf(report.toString()));
        if (index < 0 || index >= options.reportTitles.size())
            refuse("relatorio", QStringLiteral("relatório não encontrado."));
        value.reportIndex = index;
    }
    if (state.contains("agrupamento")) {
        value.groupingCode = state["agrupamento"].toString();
        if (value.branchModule && !host::EmptyString(value.groupingCode))
            refuse("agrupamento", QStringLiteral("o modo filial não permite agrupamento."));
    }
    if (state.contains("filial") && (!value.singleBranchPage || state["filial"].toString() != value.branch))
        refuse("filial", QStringLiteral("a filial única é a filial logada, no modo filial; use \"filiais\" nos demais casos."));
    if (state.contains("filiais")) {
        if (value.singleBranchPage)
            refuse("filiais", QStringLiteral("no modo filial o relatório fica na filial logada."));
        value.branches = selectionFromJson("filiais", state["filiais"], QStringLiteral("todas"), value.branches);
    }
    if (state.contains("tiposCardapio"))
        value.menuTypes = selectionFromJson("tiposCardapio", state["tiposCardapio"], QStringLiteral("todos"), value.menuTypes);
    if (state.contains("tipoCusto")) {
        value.costTypeName = state["tipoCusto"].toString();
        value.costTypeIndex = int(options.costTypes.indexOf(value.costTypeName));
        if (value.costTypeIndex < 0)
            refuse("tipoCusto", QStringLiteral("tipo de custo não encontrado."));
    }
    if (const std::optional<RelativePeriod> period = periodOf(state)) {
        const QDate today = options.today.isValid() ? options.today : QDate::currentDate();
        const ResolvedPeriod resolved = resolveRelativePeriod(*period, today, options.schoolYears, value.central);
        value.start = resolved.start;
        value.end = resolved.end;
        value.startText = value.start.toString(kDateFormat);
        value.endText = value.end.toString(kDateFormat);
        if (notes && !resolved.note.isEmpty())
            notes->append(resolved.note);
    }
    if (state.contains("dataInicial")) {
        value.start = dateFromJson("dataInicial", state["dataInicial"]);
        value.startText = value.start.toString(kDateFormat);
    }
    if (state.contains("dataFinal")) {
        value.end = dateFromJson("dataFinal", state["dataFinal"]);
        value.endText = value.end.toString(kDateFormat);
    }
    if (state.contains("gruposServico"))
        value.serviceGroups = selectionFromJson("gruposServico", state["gruposServico"], QStringLiteral("todos"), value.serviceGroups);
    if (state.contains("servicos"))
        value.services = selectionFromJson("servicos", state["servicos"], QStringLiteral("todos"), value.services);
    if (state.contains("estocaveis"))
        value.stockable = flagFromJson("estocaveis", state["estocaveis"]);
    if (state.contains("naoEstocaveis"))
        value.nonStockable = flagFromJson("naoEstocaveis", state["naoEstocaveis"]);
    if (state.contains("diferenca")) {
        const QString mode = state["diferenca"].toString().toLower();
        if (mode != QLatin1String("per capita") && mode != QLatin1String("total"))
            refuse("diferenca", QStringLiteral("use \"per capita\" ou \"total\"."));
        value.difference = mode == QLatin1String("total") ? DifferenceMode::Total : DifferenceMode::PerCapita;
    }
    if (state.contains("nivel")) {
        const int level = state["nivel"].toInt(-1);
        if (!state["nivel"].isDouble() || level < options.minLevel || level > options.maxLevel)
            refuse("nivel", QStringLiteral("nível fora do intervalo de %1 a %2.").arg(options.minLevel).arg(options.maxLevel));
        value.level = level;
    }
    return value;
}

} // namespace zub01100
