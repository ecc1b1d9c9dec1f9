// The filter state as one JSON value:
//   "relatorio"      index in the report list (0 first) or the layout's title
//   "agrupamento"    branch grouping code, "" for none
//   "filial"         the single aggregated branch (single-branch page only)
//   "filiais"        "todas", or a list of aggregated-branch codes
//   "tiposCardapio"  "todos", or a list of menu-type codes
//   "tipoCusto"      the cost type's name as listed
//   "dataInicial", "dataFinal"   dd/mm/yyyy
//   "gruposServico"  "todos", or a list of service-group codes
//   "servicos"       "todos", or a list of service keys (service codes, or branch + service
//                    codes where the service search offers those)
//   "estocaveis", "naoEstocaveis"  true or false
//   "diferenca"      "per capita" or "total"
//   "nivel"          product grouping level, 0 for none
#include "Cli_zub01100.h"

#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/data/errors.h"
#include "host/data/hostfunctions.h"
#include "host/services/messages.h"
#include "host/widgets/radiogroup.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QSpinBox>

using namespace host;
using namespace zub01100;

namespace {

const QStringList kKeys{"relatorio", "agrupamento", "filial", "filiais", "tiposCardapio", "tipoCusto", "dataInicial",
                        "dataFinal", "gruposServico", "servicos", "estocaveis", "naoEstocaveis", "diferenca", "nivel"};

[[noreturn]] void refuse(const QString &key, const QString &why)
{
    throw HostError(QStringLiteral("Filtro \"%1\": %2").arg(key, why));
}

QJsonValue listValue(bool all, const QString &allWord, const QString &keyList)
{
    if (all)
        return allWord;
    return QJsonArray::fromStringList(keyList.split(QLatin1Char('_'), Qt::SkipEmptyParts));
}

// "todos" (or "todas") gives nothing: the "Todos" radio; a list gives its key list "_K1_K2_".
std::optional<QString> keyListOf(const QString &key, const QJsonValue &value, const QString &allWord)
{
    if (value.isString()) {
        if (value.toString().compare(allWord, Qt::CaseInsensitive) != 0)
            refuse(key, QStringLiteral("use \"%1\" ou uma lista de códigos.").arg(allWord));
        return std::nullopt;
    }
    if (!value.isArray() || value.toArray().isEmpty())
        refuse(key, QStringLiteral("use \"%1\" ou uma lista de códigos.").arg(allWord));
    QString list = QStringLiteral("_");
    for (const QJsonValue &code : value.toArray()) {
        const QString text = code.toString().trimmed();
        if (!code.isString() || text.isEmpty() || text.contains(QLatin1Char('_')))
            refuse(key, QStringLiteral("código inválido na lista."));
        list += text + QLatin1Char('_');
    }
    return list;
}

QDate dateOf(const QString &key, const QJsonValue &value)
{
    const QDate date = QDate::fromString(value.toString(), QStringLiteral("dd/MM/yyyy"));
    if (!value.isString() || !date.isValid())
        refuse(key, QStringLiteral("data inválida, use dd/mm/aaaa."));
    return date;
}

// The values of the given columns over every row of a data set.
QStringList columnValues(TDataSet *dataSet, const QStringList &fields)
{
    QStringList values;
    for (dataSet->First(); !dataSet->Eof(); dataSet->Next()) {
        for (const QString &field : fields)
            values << dataSet->FieldByName(field)->AsString();
    }
    return values;
}

// A code that is not on file fails the run as a check does, naming it: a scheduled run with a
// typo must not print an empty report and report success.
void requireOnFile(const QString &key, const QString &keyList, const QStringList &known, const QString &where)
{
    for (const QString &code : keyList.split(QLatin1Char('_'), Qt::SkipEmptyParts)) {
        if (!known.contains(code))
            MensErro(QStringLiteral("Filtro \"%1\": o código %2 não está cadastrado (%3).").arg(key, code, where), true);
    }
}

bool flagOf(const QString &key, const QJsonValue &value)
{
    if (!value.isBool())
        refuse(key, QStringLiteral("use true ou false."));
    return value.toBool();
}

} // namespace

QJsonObject TfrmCustoPlanXReal::filterState() const
{
    QJsonObject state;
    state["relatorio"] = cbbReportNames->currentIndex();
    state["agrupamento"] = edtCdAgrupFili->text();
    if (isSinglePage())
        state["filial"] = medCdFilial->text();
    else
        state["filiais"] = listValue(rbtTodaFiliAgreg->isChecked(), QStringLiteral("todas"), sListaFiliAgreg);
    state["tiposCardapio"] = listValue(rbtTodosTipoCard->isChecked(), QStringLiteral("todos"), sListaTipoCard);
    state["tipoCusto"] = cbbTipoCusto->currentText();
    state["dataInicial"] = depDataInic->text();
    state["dataFinal"] = depDataFina->text();
    state["gruposServico"] = listValue(rbtTodosGrup->isChecked(), QStringLiteral("todos"), sListaGrup);
    state["servicos"] = listValue(rbtTodosServ->isChecked(), QStringLiteral("todos"), sListaServMarc);
    state["estocaveis"] = chbEstocaveis->isChecked();
    state["naoEstocaveis"] = chbNaoEstoc->isChecked();
    state["diferenca"] = rdgDiferenca->itemIndex() == 0 ? QStringLiteral("per capita") : QStringLiteral("total");
    state["nivel"] = sedNiveOrde->value();
    return state;
}

void TfrmCustoPlanXReal::applyFilterState(const QJsonObject &state)
{
    for (auto it = state.begin(); it != state.end(); ++it) {
        if (!kKeys.contains(it.key()))
            throw HostError(QStringLiteral("Filtro desconhecido: \"%1\".").arg(it.key()));
    }

    if (state.contains("relatorio")) {
        const QJsonValue report = state["relatorio"];
        const int index = report.isDouble() ? report.toInt(-1) : cbbReportNames->findText(report.toString());
        if (index < 0 || index >= cbbReportNames->count())
            refuse("relatorio", QStringLiteral("relatório não encontrado."));
        cbbReportNames->setCurrentIndex(index);
    }
    if (state.contains("agrupamento")) {
        if (!edtCdAgrupFili->isEnabled() && !state["agrupamento"].toString().trimmed().isEmpty())
            refuse("agrupamento", QStringLiteral("o modo filial não permite agrupamento."));
        edtCdAgrupFili->setText(state["agrupamento"].toString());
        Vd_AgrupFili();
    }
    if (state.contains("filial") && (!isSinglePage() || state["filial"].toString() != medCdFilial->text()))
        refuse("filial", QStringLiteral("a filial única é a filial logada, no modo filial; use \"filiais\" nos demais casos."));
    if (state.contains("filiais")) {
        if (isSinglePage())
            refuse("filiais", QStringLiteral("no modo filial o relatório fica na filial logada."));
        const std::optional<QString> branches = keyListOf("filiais", state["filiais"], QStringLiteral("todas"));
        if (branches) {
            loadAggregatedBranches(QString());
            requireOnFile("filiais", *branches, columnValues(cdsFiliAgreg, {QStringLiteral("CDFILIAL")}),
                          QStringLiteral("filiais agregadas da central %1%2").arg(medCentral->text(),
                              EmptyString(edtCdAgrupFili->text()) ? QString() : QStringLiteral(" no agrupamento ") + edtCdAgrupFili->text()));
        }
        (branches ? rbtListaFiliAgreg : rbtTodaFiliAgreg)->setChecked(true);
        sListaFiliAgreg = branches.value_or(sListaFiliAgreg);
    }
    if (state.contains("tiposCardapio")) {
        const std::optional<QString> types = keyListOf("tiposCardapio", state["tiposCardapio"], QStringLiteral("todos"));
        if (types) {
            qryTipoCard->Close();
            qryTipoCard->Open();
            requireOnFile("tiposCardapio", *types, columnValues(qryTipoCard, {QStringLiteral("CDTIPOCARD")}),
                          QStringLiteral("tipos de cardápio ativos da central %1").arg(medCentral->text()));
        }
        (types ? rbtListaTipoCard : rbtTodosTipoCard)->setChecked(true);
        if (types)
            sListaTipoCard = *types;
    }
    if (state.contains("tipoCusto")) {
        const int index = cbbTipoCusto->findText(state["tipoCusto"].toString());
        if (index < 0)
            refuse("tipoCusto", QStringLiteral("tipo de custo não encontrado."));
        cbbTipoCusto->setCurrentIndex(index);
    }
    if (state.contains("dataInicial")) {
        depDataInic->SetDate(dateOf("dataInicial", state["dataInicial"]));
        depDataInicDateChange(depDataInic);
    }
    if (state.contains("dataFinal")) {
        depDataFina->SetDate(dateOf("dataFinal", state["dataFinal"]));
        depDataFinaDateChange(depDataFina);
    }
    if (state.contains("gruposServico")) {
        const std::optional<QString> groups = keyListOf("gruposServico", state["gruposServico"], QStringLiteral("todos"));
        if (groups) {
            qryGrupServ->Close();
            qryGrupServ->Open();
            requireOnFile("gruposServico", *groups, columnValues(qryGrupServ, {QStringLiteral("CDGRUPSERV")}),
                          QStringLiteral("grupos de serviço"));
        }
        (groups ? rbtListaGrup : rbtTodosGrup)->setChecked(true);
        sListaGrup = groups.value_or(sListaGrup);
    }
    if (state.contains("servicos")) {
        const std::optional<QString> services = keyListOf("servicos", state["servicos"], QStringLiteral("todos"));
        if (services) {
            loadServices(serviceBranchChoice());
            requireOnFile("servicos", *services,
                          columnValues(cdsServico, {QStringLiteral("CDSERVFILI"), QStringLiteral("FILISERV")}),
                          QStringLiteral("serviços das filiais e grupos escolhidos"));
        }
        (services ? rbtListaServ : rbtTodosServ)->setChecked(true);
        sListaServMarc = services.value_or(sListaServMarc);
    }
    if (state.contains("estocaveis"))
        chbEstocaveis->setChecked(flagOf("estocaveis", state["estocaveis"]));
    if (state.contains("naoEstocaveis"))
        chbNaoEstoc->setChecked(flagOf("naoEstocaveis", state["naoEstocaveis"]));
    if (state.contains("diferenca")) {
        const QString mode = state["diferenca"].toString().toLower();
        if (mode != QLatin1String("per capita") && mode != QLatin1String("total"))
            refuse("diferenca", QStringLiteral("use \"per capita\" ou \"total\"."));
        rdgDiferenca->setItemIndex(mode == QLatin1String("total") ? 1 : 0);
    }
    if (state.contains("nivel")) {
        const int level = state["nivel"].toInt(-1);
        if (!state["nivel"].isDouble() || level < sedNiveOrde->minimum() || level > sedNiveOrde->maximum())
            refuse("nivel", QStringLiteral("nível fora do intervalo de %1 a %2.").arg(sedNiveOrde->minimum()).arg(sedNiveOrde->maximum()));
        sedNiveOrde->setValue(level);
    }
}
