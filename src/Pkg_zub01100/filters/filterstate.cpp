// The screen and its filter value: the widgets read into one value, a value applied to them as a
// user would set it, and a failed check shown at its field.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/services/userinteraction.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/radiogroup.h"
#include "wire/keylist.h"

#include <QCheckBox>
#include <QHash>
#include <QSpinBox>

using namespace host;
using namespace zub01100;

namespace {

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

// The codes of a list that are on file. A code that is not fails the run as a check does,
// naming it: a scheduled run with a typo must not print an empty report and report success. A
// saved filter (`dropped` given) opens without it instead, and the caller tells what was left out.
QString codesOnFile(const QString &key, const QString &keyList, const QStringList &known, const QString &where, QStringList *dropped)
{
    QStringList kept;
    for (const QString &code : wire::splitKeyList(keyList)) {
        if (known.contains(code))
            kept << code;
        else if (dropped)
            dropped->append(code);
        else
            MensErro(QStringLiteral("Filtro \"%1\": o código %2 não está cadastrado (%3).").arg(key, code, where), true);
    }
    return wire::joinKeyList(kept);
}

// What a saved filter lost: the codes per list, and the lists left with none (on "Lista"
// unmarked, so the report's check asks for them as for any empty list).
class DroppedCodes
{
public:
    QStringList *codesOf(const QString &label)
    {
        m_order.removeAll(label);
        m_order << label;
        return &m_codes[label];
    }
    void listEmptied(const QString &label) { m_emptied << label; }
    QString message() const
    {
        QStringList parts;
        for (const QString &label : m_order) {
            if (!m_codes[label].isEmpty())
                parts << QStringLiteral("%1 %2").arg(label, m_codes[label].join(QStringLiteral(", ")));
        }
        if (parts.isEmpty())
            return {};
        QString text = QStringLiteral("Códigos que não estão mais cadastrados ficaram de fora: %1.").arg(parts.join(QStringLiteral("; ")));
        for (const QString &label : m_emptied)
            text += QStringLiteral(" A lista de %1 ficou vazia: marque-os em \"Lista\" ou escolha \"Todos\".").arg(label);
        return text;
    }

private:
    QStringList m_order;
    QHash<QString, QStringList> m_codes;
    QStringList m_emptied;
};

KeySelection selectionOf(const QRadioButton *todos, const QString &marked)
{
    return {todos->isChecked(), marked};
}

} // namespace

FilterValue TfrmCustoPlanXReal::filterValue() const
{
    FilterValue value;
    value.reportIndex = cbbReportNames->currentIndex();
    value.central = medCentral->text();
    value.branchModule = ModuFili();
    value.singleBranchPage = isSinglePage();
    value.groupingCode = edtCdAgrupFili->text();
    value.groupingName = edtAgrupFili->text();
    value.branch = medCdFilial->text();
    value.branches = selectionOf(rbtTodaFiliAgreg, sListaFiliAgreg);
    value.menuTypes = selectionOf(rbtTodosTipoCard, sListaTipoCard);
    value.costTypeIndex = cbbTipoCusto->currentIndex();
    value.costTypeName = cbbTipoCusto->currentText();
    value.startText = depDataInic->text();
    value.endText = depDataFina->text();
    value.start = depDataInic->GetDate();
    value.end = depDataFina->GetDate();
    value.serviceGroups = selectionOf(rbtTodosGrup, sListaGrup);
    value.services = selectionOf(rbtTodosServ, sListaServMarc);
    value.effectiveServices = sListaServ;
    value.stockable = chbEstocaveis->isChecked();
    value.nonStockable = chbNaoEstoc->isChecked();
    value.difference = rdgDiferenca->itemIndex() == 0 ? DifferenceMode::PerCapita : DifferenceMode::Total;
    value.level = sedNiveOrde->value();
    return value;
}

QWidget *TfrmCustoPlanXReal::fieldWidget(FilterField field) const
{
    switch (field) {
    case FilterField::Branch: return medCdFilial;
    case FilterField::Grouping: return edtCdAgrupFili;
    case FilterField::BranchList: return rbtListaFiliAgreg;
    case FilterField::MenuTypes: return rbtListaTipoCard;
    case FilterField::CostType: return cbbTipoCusto;
    case FilterField::PeriodStart: return depDataInic;
    case FilterField::PeriodEnd: return depDataFina;
    case FilterField::ServiceGroups: return rbtListaGrup;
    case FilterField::Services: return rbtListaServ;
    case FilterField::ProductTypes: return chbEstocaveis;
    }
    return nullptr;
}

bool TfrmCustoPlanXReal::canTakeFocus(const QWidget *widget)
{
    return widget->isEnabled() && widget->isVisibleTo(widget->window());
}

void TfrmCustoPlanXReal::refuseFailedCheck(const CheckResult &check)
{
    if (!check)
        return;
    const QString message = msgPadrao.Msg(check->messageKey);
    // A "Lista" radio takes the focus once the message is closed.
    if (check->field == FilterField::BranchList)
        m_filiAgregList->refuse(message);
    if (check->field == FilterField::MenuTypes)
        m_tipoCardList->refuse(message);
    QWidget *widget = fieldWidget(check->field);
    // The single branch's field is disabled for a branch user and hidden on the list page.
    if (check->field != FilterField::Branch || canTakeFocus(widget))
        widget->setFocus();
    MensErro(message, true);
}

QJsonObject TfrmCustoPlanXReal::filterState() const
{
    return filterToJson(filterValue());
}

void TfrmCustoPlanXReal::applyFilterState(const QJsonObject &state)
{
    applyFilterState(state, MissingCodes::Refuse);
}

void TfrmCustoPlanXReal::applyFilterState(const QJsonObject &state, MissingCodes missing, QStringList notes)
{
    FilterOptions options;
    for (int i = 0; i < cbbReportNames->count(); ++i)
        options.reportTitles << cbbReportNames->itemText(i);
    for (int i = 0; i < cbbTipoCusto->count(); ++i)
        options.costTypes << cbbTipoCusto->itemText(i);
    options.minLevel = sedNiveOrde->minimum();
    options.maxLevel = sedNiveOrde->maximum();
    options.today = QDate::currentDate();
    const std::optional<RelativePeriod> period = periodOf(state);
    if (period && period->rule == PeriodRule::SchoolYear)
        options.schoolYears = loadSchoolYears();
    const FilterValue value = filterFromJson(state, filterValue(), options, &notes);
    DroppedCodes dropped;
    const bool dropMissing = missing == MissingCodes::Drop;
    // The marks of a list that are on file, under the label that names the list to the user.
    auto onFile = [&](const QString &key, const KeySelection &selection, const QStringList &known, const QString &where,
                      const QString &label) {
        const QString kept = codesOnFile(key, selection.marked, known, where, dropMissing ? dropped.codesOf(label) : nullptr);
        if (kept.isEmpty())
            dropped.listEmptied(label);
        return kept;
    };

    // In the order of the screen, with the handlers and the server's checks a user's change runs.
    // A "Todos" keeps the list in force: the radio's own handling decides what it empties.
    if (state.contains("relatorio"))
        cbbReportNames->setCurrentIndex(value.reportIndex);
    if (state.contains("agrupamento")) {
        edtCdAgrupFili->setText(value.groupingCode);
        Vd_AgrupFili();
    }
    if (state.contains("filiais")) {
        QString marked;
        if (!value.branches.all) {
            loadAggregatedBranches(QString());
            marked = onFile("filiais", value.branches, columnValues(cdsFiliAgreg, {QStringLiteral("CDFILIAL")}),
                            QStringLiteral("filiais agregadas da central %1%2").arg(medCentral->text(),
                                EmptyString(edtCdAgrupFili->text()) ? QString() : QStringLiteral(" no agrupamento ") + edtCdAgrupFili->text()),
                            QStringLiteral("filiais agregadas"));
        }
        (value.branches.all ? rbtTodaFiliAgreg : rbtListaFiliAgreg)->setChecked(true);
        if (!value.branches.all)
            sListaFiliAgreg = marked;
    }
    if (state.contains("tiposCardapio")) {
        QString marked;
        if (!value.menuTypes.all) {
            qryTipoCard->Close();
            qryTipoCard->Open();
            marked = onFile("tiposCardapio", value.menuTypes, columnValues(qryTipoCard, {QStringLiteral("CDTIPOCARD")}),
                            QStringLiteral("tipos de cardápio ativos da central %1").arg(medCentral->text()),
                            QStringLiteral("tipos de cardápio"));
        }
        (value.menuTypes.all ? rbtTodosTipoCard : rbtListaTipoCard)->setChecked(true);
        if (!value.menuTypes.all)
            sListaTipoCard = marked;
    }
    if (state.contains("tipoCusto"))
        cbbTipoCusto->setCurrentIndex(value.costTypeIndex);
    if (state.contains("dataInicial") || period) {
        depDataInic->SetDate(value.start);
        depDataInicDateChange(depDataInic);
    }
    if (state.contains("dataFinal") || period) {
        depDataFina->SetDate(value.end);
        depDataFinaDateChange(depDataFina);
    }
    if (state.contains("gruposServico")) {
        QString marked;
        if (!value.serviceGroups.all) {
            qryGrupServ->Close();
            qryGrupServ->Open();
            marked = onFile("gruposServico", value.serviceGroups, columnValues(qryGrupServ, {QStringLiteral("CDGRUPSERV")}),
                            QStringLiteral("grupos de serviço"), QStringLiteral("grupos de serviço"));
        }
        (value.serviceGroups.all ? rbtTodosGrup : rbtListaGrup)->setChecked(true);
        if (!value.serviceGroups.all)
            sListaGrup = marked;
    }
    if (state.contains("servicos")) {
        QString marked;
        if (!value.services.all) {
            loadServices();
            marked = onFile("servicos", value.services, columnValues(cdsServico, {QStringLiteral("CDSERVFILI"), QStringLiteral("FILISERV")}),
                            QStringLiteral("serviços das filiais e grupos escolhidos"), QStringLiteral("serviços"));
        }
        (value.services.all ? rbtTodosServ : rbtListaServ)->setChecked(true);
        if (!value.services.all)
            sListaServMarc = marked;
    }
    if (state.contains("estocaveis"))
        chbEstocaveis->setChecked(value.stockable);
    if (state.contains("naoEstocaveis"))
        chbNaoEstoc->setChecked(value.nonStockable);
    if (state.contains("diferenca"))
        rdgDiferenca->setItemIndex(value.difference == DifferenceMode::Total ? 1 : 0);
    if (state.contains("nivel"))
        sedNiveOrde->setValue(value.level);

    notes.prepend(dropped.message());
    notes.removeAll(QString());
    if (!notes.isEmpty())
        context().interaction().showInformation(notes.join(QLatin1Char('\n')));
}
