// The screen's filter value: owned here, shown on the widgets, replaced by a user's change; a
// JSON value applied as a user would set it; a failed check shown at its field.
#include "Cli_zub01100.h"
#include "screen/focus.h"
#include "ui_custoplanxreal.h"

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
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QStackedWidget>

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
QStringList codesOnFile(const QString &key, const QStringList &codes, const QStringList &known, const QString &where, QStringList *dropped)
{
    QStringList kept;
    for (const QString &code : codes) {
        if (known.contains(code))
            kept << code;
        else if (dropped)
            dropped->append(code);
        else
            MensErro(QStringLiteral("Filtro \"%1\": o código %2 não está cadastrado (%3).").arg(key, code, where), true);
    }
    return kept;
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

void setTextIfOther(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

constexpr Selection kSelections[] = {Selection::Branches, Selection::MenuTypes, Selection::ServiceGroups, Selection::Services};

} // namespace

void TfrmCustoPlanXReal::apply(const FilterValue &next)
{
    if (m_showing)
        return;
    m_value = next;
    showFilterValue();
}

void TfrmCustoPlanXReal::setFilterValue(const FilterValue &value)
{
    m_value = value;
    showFilterValue();
}

void TfrmCustoPlanXReal::showFilterValue()
{
    const QScopedValueRollback<bool> showing(m_showing, true);
    // Read once: showing a field may make its widget report a change into the value.
    const FilterValue value = m_value;
    setTextIfOther(m_ui->edtCdAgrupFili, value.groupingCode);
    setTextIfOther(m_ui->edtAgrupFili, value.groupingName);
    setTextIfOther(m_ui->medCdFilial, value.branch);
    setTextIfOther(m_ui->edtNmFilial, value.branchName);
    for (Selection which : kSelections)
        selectionList(which).show(selectionOf(value, which).all);
    if (m_ui->depDataInic->text() != value.startText)
        m_ui->depDataInic->setText(value.startText);
    if (m_ui->depDataFina->text() != value.endText)
        m_ui->depDataFina->setText(value.endText);
    m_ui->cbbTipoCusto->setCurrentIndex(value.costTypeIndex);
    m_ui->chbEstocaveis->setChecked(value.stockable);
    m_ui->chbNaoEstoc->setChecked(value.nonStockable);
    m_ui->rdgDiferenca->setItemIndex(value.difference == DifferenceMode::PerCapita ? 0 : 1);
    m_ui->sedNiveOrde->setValue(value.level);
    m_value = value;
}

void TfrmCustoPlanXReal::followPlainFields()
{
    // Each widget's change sets its field; the first read takes the widget as it was made.
    auto follow = [this](auto *widget, auto signal, auto read) {
        auto update = [this, widget, read] { read(m_value, widget); };
        connect(widget, signal, this, update);
        update();
    };
    follow(cbbReportNames, &QComboBox::currentIndexChanged, [](FilterValue &v, QComboBox *w) { v.reportIndex = w->currentIndex(); });
    follow(m_ui->medCentral, &QLineEdit::textChanged, [](FilterValue &v, QLineEdit *w) { v.central = w->text(); });
    follow(m_ui->nbkFilial, &QStackedWidget::currentChanged, [](FilterValue &v, QStackedWidget *w) { v.singleBranchPage = w->currentIndex() == 0; });
    follow(m_ui->edtAgrupFili, &QLineEdit::textChanged, [](FilterValue &v, QLineEdit *w) { v.groupingName = w->text(); });
    follow(m_ui->edtNmFilial, &QLineEdit::textChanged, [](FilterValue &v, QLineEdit *w) { v.branchName = w->text(); });
    follow(m_ui->cbbTipoCusto, &QComboBox::currentIndexChanged, [](FilterValue &v, QComboBox *w) {
        v.costTypeIndex = w->currentIndex();
        v.costTypeName = w->currentText();
    });
    follow(m_ui->depDataInic->lineEdit(), &QLineEdit::textChanged, [this](FilterValue &v, QLineEdit *) {
        v.startText = m_ui->depDataInic->text();
        v.start = m_ui->depDataInic->GetDate();
    });
    follow(m_ui->depDataFina->lineEdit(), &QLineEdit::textChanged, [this](FilterValue &v, QLineEdit *) {
        v.endText = m_ui->depDataFina->text();
        v.end = m_ui->depDataFina->GetDate();
    });
    follow(m_ui->chbEstocaveis, &QCheckBox::toggled, [](FilterValue &v, QCheckBox *w) { v.stockable = w->isChecked(); });
    follow(m_ui->chbNaoEstoc, &QCheckBox::toggled, [](FilterValue &v, QCheckBox *w) { v.nonStockable = w->isChecked(); });
    follow(m_ui->rdgDiferenca, &TRadioGroup::itemIndexChanged, [](FilterValue &v, TRadioGroup *w) {
        v.difference = w->itemIndex() == 0 ? DifferenceMode::PerCapita : DifferenceMode::Total;
    });
    follow(m_ui->sedNiveOrde, &QSpinBox::valueChanged, [](FilterValue &v, QSpinBox *w) { v.level = w->value(); });
}

SelectionList &TfrmCustoPlanXReal::selectionList(Selection which) const
{
    switch (which) {
    case Selection::Branches: return *m_filiAgregList;
    case Selection::MenuTypes: return *m_tipoCardList;
    case Selection::ServiceGroups: return *m_grupServList;
    case Selection::Services: return *m_servicoList;
    }
    Q_UNREACHABLE();
}

void TfrmCustoPlanXReal::searchMarks(Selection which, const QString &keyField)
{
    QString marked = selectionOf(m_value, which).keyList();
    if (selectionList(which).search(keyField, marked))
        apply(confirmMarks(m_value, which, marked));
}

QWidget *TfrmCustoPlanXReal::fieldWidget(FilterField field) const
{
    switch (field) {
    case FilterField::Branch: return m_ui->medCdFilial;
    case FilterField::Grouping: return m_ui->edtCdAgrupFili;
    case FilterField::BranchList: return m_ui->rbtListaFiliAgreg;
    case FilterField::MenuTypes: return m_ui->rbtListaTipoCard;
    case FilterField::CostType: return m_ui->cbbTipoCusto;
    case FilterField::PeriodStart: return m_ui->depDataInic;
    case FilterField::PeriodEnd: return m_ui->depDataFina;
    case FilterField::ServiceGroups: return m_ui->rbtListaGrup;
    case FilterField::Services: return m_ui->rbtListaServ;
    case FilterField::ProductTypes: return m_ui->chbEstocaveis;
    }
    return nullptr;
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
    return filterToJson(m_value);
}

void TfrmCustoPlanXReal::applyFilterState(const QJsonObject &state)
{
    applyFilterState(state, MissingCodes::Refuse);
}

QHash<QString, TfrmCustoPlanXReal::ListSource> TfrmCustoPlanXReal::listSources()
{
    auto reopened = [](TADOIBQuery *query, const QString &field) {
        query->Close();
        query->Open();
        return columnValues(query, {field});
    };
    // The texts are made when a list is applied: the grouping may have changed just before.
    return {
        {"filiais",
         {Selection::Branches,
          [this] {
              m_branchFilters->loadAggregatedBranches(QString());
              return columnValues(cdsFiliAgreg, {QStringLiteral("CDFILIAL")});
          },
          [this] {
              return QStringLiteral("filiais agregadas da central %1%2").arg(m_value.central,
                  EmptyString(m_value.groupingCode) ? QString() : QStringLiteral(" no agrupamento ") + m_value.groupingCode);
          },
          QStringLiteral("filiais agregadas")}},
        {"tiposCardapio",
         {Selection::MenuTypes, [=, this] { return reopened(qryTipoCard, QStringLiteral("CDTIPOCARD")); },
          [this] { return QStringLiteral("tipos de cardápio ativos da central %1").arg(m_value.central); },
          QStringLiteral("tipos de cardápio")}},
        {"gruposServico",
         {Selection::ServiceGroups, [=, this] { return reopened(qryGrupServ, QStringLiteral("CDGRUPSERV")); },
          [] { return QStringLiteral("grupos de serviço"); }, QStringLiteral("grupos de serviço")}},
        {"servicos",
         {Selection::Services,
          [this] {
              m_serviceFilters->loadServices();
              return columnValues(cdsServico, {QStringLiteral("CDSERVFILI"), QStringLiteral("FILISERV")});
          },
          [] { return QStringLiteral("serviços das filiais e grupos escolhidos"); }, QStringLiteral("serviços")}},
    };
}

FilterOptions TfrmCustoPlanXReal::filterOptions(const std::optional<RelativePeriod> &period)
{
    FilterOptions options;
    for (int i = 0; i < cbbReportNames->count(); ++i)
        options.reportTitles << cbbReportNames->itemText(i);
    for (int i = 0; i < m_ui->cbbTipoCusto->count(); ++i)
        options.costTypes << m_ui->cbbTipoCusto->itemText(i);
    options.minLevel = m_ui->sedNiveOrde->minimum();
    options.maxLevel = m_ui->sedNiveOrde->maximum();
    options.today = QDate::currentDate();
    if (period && period->rule == PeriodRule::SchoolYear)
        options.schoolYears = m_savedFilters->loadSchoolYears();
    return options;
}

void TfrmCustoPlanXReal::applyFilterState(const QJsonObject &state, MissingCodes missing, QStringList notes)
{
    const std::optional<RelativePeriod> period = periodOf(state);
    const FilterValue value = filterFromJson(state, m_value, filterOptions(period), &notes);
    DroppedCodes dropped;
    const bool dropMissing = missing == MissingCodes::Drop;
    // A list's radio as a user checks it (its own handling decides what that empties), then its
    // marks that are on file; `known` reads the codes on file, `where` and `label` name the list.
    // A list's radio as a user checks it (its own handling decides what that empties), then its
    // marks that are on file.
    auto applyList = [&](const QString &key, const ListSource &source) {
        const wire::KeySelection &wanted = selectionOf(value, source.which);
        QStringList kept;
        if (!wanted.all) {
            kept = codesOnFile(key, wanted.keys, source.codesOnFile(), source.where(), dropMissing ? dropped.codesOf(source.label) : nullptr);
            if (kept.isEmpty())
                dropped.listEmptied(source.label);
        }
        (wanted.all ? selectionList(source.which).todos() : selectionList(source.which).lista())->setChecked(true);
        if (!wanted.all)
            selectionOf(m_value, source.which).keys = kept;
    };
    auto showStart = [&] {
        m_ui->depDataInic->SetDate(value.start);
        m_periodFilters->depDataInicDateChange(m_ui->depDataInic);
    };
    auto showEnd = [&] {
        m_ui->depDataFina->SetDate(value.end);
        m_periodFilters->depDataFinaDateChange(m_ui->depDataFina);
    };

    // Each filter as a user sets it, with the handlers and the server's checks that runs; a key
    // without a step here ("filial") is a check of filterFromJson only.
    QHash<QString, std::function<void()>> steps{
        {"relatorio", [&] { cbbReportNames->setCurrentIndex(value.reportIndex); }},
        {"agrupamento",
         [&] {
             m_ui->edtCdAgrupFili->setText(value.groupingCode);
             m_branchFilters->Vd_AgrupFili();
         }},
        {"tipoCusto", [&] { m_ui->cbbTipoCusto->setCurrentIndex(value.costTypeIndex); }},
        {"periodo",
         [&] {
             showStart();
             showEnd();
         }},
        {"dataInicial", showStart},
        {"dataFinal", showEnd},
        {"estocaveis", [&] { m_ui->chbEstocaveis->setChecked(value.stockable); }},
        {"naoEstocaveis", [&] { m_ui->chbNaoEstoc->setChecked(value.nonStockable); }},
        {"diferenca", [&] { m_ui->rdgDiferenca->setItemIndex(value.difference == DifferenceMode::Total ? 1 : 0); }},
        {"nivel", [&] { m_ui->sedNiveOrde->setValue(value.level); }},
    };
    const QHash<QString, ListSource> lists = listSources();
    for (auto it = lists.begin(); it != lists.end(); ++it)
        steps.insert(it.key(), [&, key = it.key(), source = it.value()] { applyList(key, source); });
    // In the order of the screen, which is the order of the JSON keys.
    for (const QString &key : filterJsonKeys()) {
        if (state.contains(key) && steps.contains(key))
            steps[key]();
    }

    notes.prepend(dropped.message());
    notes.removeAll(QString());
    if (!notes.isEmpty())
        context().interaction().showInformation(notes.join(QLatin1Char('\n')));
}
