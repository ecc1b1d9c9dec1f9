// Saved filters: the screen's filters kept on the server under a name, per operator, shared with
// the central or not, with the period as fixed dates or as a rule resolved on the day they open.
#include "Cli_zub01100.h"

#include "host/data/errors.h"
#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/dispatcher.h"
#include "host/services/userinteraction.h"
#include "screen/busyscope.h"
#include "wire/wirevalue.h"

#include <QAction>
#include <QJsonDocument>
#include <QMenu>

using namespace host;
using namespace zub01100;

namespace {

const QString kSaveTitle = QStringLiteral("Salvar filtros");
const QString kOpenTitle = QStringLiteral("Abrir filtros");
const QString kDeleteTitle = QStringLiteral("Apagar filtros");
const QString kDateFormat = QStringLiteral("dd/MM/yyyy");
constexpr int kMaxNameLength = 60;

QString span(const QDate &start, const QDate &end)
{
    return QStringLiteral("%1 a %2").arg(start.toString(kDateFormat), end.toString(kDateFormat));
}

// The period choices of the save dialog: fixed dates first (no rule), then each rule with the
// dates it gives today. "Últimos N dias" asks N afterwards.
struct PeriodOption {
    QString caption;
    std::optional<RelativePeriod> period;
};

QList<PeriodOption> periodOptions()
{
    return {{QStringLiteral("Datas fixas"), std::nullopt},
            {QStringLiteral("Mês atual"), RelativePeriod{PeriodRule::CurrentMonth}},
            {QStringLiteral("Mês anterior"), RelativePeriod{PeriodRule::PreviousMonth}},
            {QStringLiteral("Ano corrente"), RelativePeriod{PeriodRule::CurrentYear}},
            {QStringLiteral("Últimos N dias"), RelativePeriod{PeriodRule::LastDays, 30}},
            {QStringLiteral("Ano letivo"), RelativePeriod{PeriodRule::SchoolYear}}};
}

// Each period choice with the dates it gives today, fixed dates first.
SingleChoiceRequest periodRequest(const FilterValue &value, const QDate &today, const QList<SchoolYear> &schoolYears)
{
    SingleChoiceRequest request;
    request.table.title = QStringLiteral("Período dos filtros salvos");
    request.table.headers = {QStringLiteral("Período"), QStringLiteral("Hoje seria")};
    for (const PeriodOption &option : periodOptions()) {
        QString dates = value.startText + QStringLiteral(" a ") + value.endText;
        if (option.period && option.period->rule == PeriodRule::LastDays)
            dates = QStringLiteral("os N dias até o dia em que abrir");
        else if (option.period) {
            const ResolvedPeriod resolved = resolveRelativePeriod(*option.period, today, schoolYears, value.central);
            dates = span(resolved.start, resolved.end) + (resolved.note.isEmpty() ? QString() : QStringLiteral(" (ano civil: sem ano letivo)"));
        }
        request.table.rows << QStringList{option.caption, dates};
    }
    request.currentRow = 0;
    return request;
}

// The data packet of a server answer; `what` names it in the message of a malformed one.
wire::DataPacket packetOf(const QVariant &answer, const QString &what)
{
    QString why;
    const std::optional<wire::DataPacket> packet = wire::DataPacket::fromVariant(CheckResultServ(answer, true, 0), &why);
    if (!packet)
        throw HostError(QStringLiteral("Resposta inválida do servidor para %1: %2").arg(what, why));
    return *packet;
}

QString text(const wire::DataPacket &packet, int row, const QString &field)
{
    return packet.value(row, field).toString();
}

bool own(const wire::DataPacket &packet, int row)
{
    return text(packet, row, QStringLiteral("IDPROPRIO")) == QLatin1String("S");
}

// The row of `packet` the user chooses among the saved filters (only the own ones with
// `ownOnly`), listed with their owner when another's; nothing when there is none or on cancel.
std::optional<int> chooseSavedFilter(UserInteraction &ui, const QString &title, const wire::DataPacket &packet, bool ownOnly,
                                     const QString &noneText)
{
    SingleChoiceRequest request;
    request.table.title = title;
    request.table.headers = {QStringLiteral("Nome"), QStringLiteral("Dono"), QStringLiteral("Compartilhado")};
    request.table.widths = {30, 30, 12};
    QList<int> rows;
    for (int row = 0; row < packet.rows.size(); ++row) {
        if (ownOnly && !own(packet, row))
            continue;
        rows << row;
        const QString owner = own(packet, row) ? QStringLiteral("(meu)")
                                               : QStringLiteral("%1 - %2").arg(text(packet, row, QStringLiteral("CDOPERADOR")),
                                                                               text(packet, row, QStringLiteral("NMOPERADOR")));
        request.table.rows << QStringList{text(packet, row, QStringLiteral("NMFILTRO")), owner,
                                          text(packet, row, QStringLiteral("IDCOMPARTILHADO")) == QLatin1String("S") ? QStringLiteral("Sim")
                                                                                                                  : QStringLiteral("Não")};
    }
    if (rows.isEmpty()) {
        ui.showInformation(noneText);
        return std::nullopt;
    }
    request.currentRow = 0;
    const std::optional<int> chosen = ui.chooseRow(request);
    if (!chosen)
        return std::nullopt;
    return rows.at(*chosen);
}

} // namespace

QList<SchoolYear> SavedFilters::loadSchoolYears()
{
    const wire::DataPacket packet = packetOf(m_form.netCustoPlanXReal->Call(QStringLiteral("GetAnoLetivo"), {RpcArg::val(m_form.m_value.central)}),
                                             QStringLiteral("os anos letivos"));
    QList<SchoolYear> years;
    for (int row = 0; row < packet.rows.size(); ++row) {
        years << SchoolYear{packet.value(row, QStringLiteral("NRANO")).toInt(), packet.value(row, QStringLiteral("DTINICIO")).toDate(),
                            packet.value(row, QStringLiteral("DTFIM")).toDate()};
    }
    return years;
}

wire::DataPacket SavedFilters::loadSavedFilters()
{
    return packetOf(m_form.netCustoPlanXReal->Call(QStringLiteral("ListaFiltros"), {}), QStringLiteral("os filtros salvos"));
}

// Asks the name, how the period is kept and whether the central shares it, then saves; a name
// the operator already uses is replaced only when the user says so.
void SavedFilters::mnuSalvarFiltrosClick(QObject *)
{
    UserInteraction &ui = m_form.context().interaction();
    // First, so a caller without saved filters (the shared token) is told before any question.
    const wire::DataPacket saved = loadSavedFilters();
    const std::optional<QString> answeredName = ui.askText(kSaveTitle, QStringLiteral("Nome dos filtros (até %1 caracteres):").arg(kMaxNameLength), QString());
    if (!answeredName)
        return;
    const QString name = answeredName->trimmed();
    // The server holds the same rule; asked here too so the user is not taken through the rest first.
    if (name.isEmpty() || name.size() > kMaxNameLength)
        MensErro(QStringLiteral("O nome do filtro deve ter de 1 a %1 caracteres.").arg(kMaxNameLength), true);

    const FilterValue value = m_form.filterValue();
    const std::optional<int> periodRow = ui.chooseRow(periodRequest(value, QDate::currentDate(), loadSchoolYears()));
    if (!periodRow)
        return;
    std::optional<RelativePeriod> period = periodOptions().at(*periodRow).period;
    if (period && period->rule == PeriodRule::LastDays) {
        const std::optional<QString> days = ui.askText(kSaveTitle, QStringLiteral("Quantos dias, terminando no dia em que abrir (1 a %1)?").arg(kMaxLastDays),
                                                       QString::number(period->days));
        if (!days)
            return;
        bool number = false;
        period->days = days->trimmed().toInt(&number);
        if (!number || period->days < 1 || period->days > kMaxLastDays)
            MensErro(QStringLiteral("Número de dias inválido: informe de 1 a %1.").arg(kMaxLastDays), true);
    }

    SingleChoiceRequest shareChoice;
    shareChoice.table.title = QStringLiteral("Compartilhar os filtros?");
    shareChoice.table.headers = {QStringLiteral("Compartilhar")};
    shareChoice.table.rows = {{QStringLiteral("Não, só para mim")}, {QStringLiteral("Sim, com os operadores da central %1").arg(value.central)}};
    shareChoice.currentRow = 0;
    const std::optional<int> shareRow = ui.chooseRow(shareChoice);
    if (!shareRow)
        return;

    for (int row = 0; row < saved.rows.size(); ++row) {
        if (!own(saved, row) || text(saved, row, QStringLiteral("NMFILTRO")) != name)
            continue;
        SingleChoiceRequest replace;
        replace.table.title = QStringLiteral("Já há filtros seus com o nome \"%1\"").arg(name);
        replace.table.headers = {QStringLiteral("O que fazer")};
        replace.table.rows = {{QStringLiteral("Substituir")}, {QStringLiteral("Cancelar")}};
        replace.currentRow = 1;
        const std::optional<int> choice = ui.chooseRow(replace);
        if (!choice || *choice != 0)
            return;
    }

    const QJsonObject state = savedFilterJson(value, period);
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("SalvaFiltro"),
                                                    {RpcArg::val(name), RpcArg::val(state.toVariantMap()),
                                                     RpcArg::val(*shareRow == 1 ? QStringLiteral("S") : QStringLiteral("N"))});
    CheckResultServ(answer, true, 0);
    ui.showInformation(QStringLiteral("Filtros salvos como \"%1\" (período: %2%3).")
                           .arg(name, period ? relativePeriodText(*period) : QStringLiteral("datas fixas"),
                                *shareRow == 1 ? QStringLiteral("; compartilhados com a central %1").arg(value.central) : QString()));
}

void SavedFilters::mnuAbrirFiltrosClick(QObject *)
{
    const wire::DataPacket saved = loadSavedFilters();
    const std::optional<int> chosen = chooseSavedFilter(m_form.context().interaction(), kOpenTitle, saved, false,
                                                        QStringLiteral("Não há filtros salvos seus nem compartilhados com a central."));
    if (chosen)
        applySavedFilter(text(saved, *chosen, QStringLiteral("NMFILTRO")), text(saved, *chosen, QStringLiteral("CDOPERADOR")));
}

// Only the operator's own filters are offered: the server lets only the owner delete.
void SavedFilters::mnuApagarFiltrosClick(QObject *)
{
    UserInteraction &ui = m_form.context().interaction();
    const wire::DataPacket saved = loadSavedFilters();
    const std::optional<int> chosen = chooseSavedFilter(ui, kDeleteTitle, saved, true, QStringLiteral("Não há filtros salvos seus para apagar."));
    if (!chosen)
        return;
    const QString name = text(saved, *chosen, QStringLiteral("NMFILTRO"));
    CheckResultServ(m_form.netCustoPlanXReal->Call(QStringLiteral("ApagaFiltro"), {RpcArg::val(name)}), true, 0);
    ui.showInformation(QStringLiteral("Filtros \"%1\" apagados.").arg(name));
}

void SavedFilters::applySavedFilter(const QString &name, const QString &owner, const QJsonObject &overrides)
{
    QVariant answer;
    {
        BusyScope busy(6);
        answer = m_form.netCustoPlanXReal->Call(QStringLiteral("LeFiltro"), {RpcArg::val(name), RpcArg::val(owner)});
    }
    // A name the server does not know (or no longer shares) ends the command as a failed check:
    // a scheduled run naming it fails like one with a code not on file.
    const QVariant read = CheckResultServ(answer, false, 0);
    if (!read.isValid())
        MensErro(answer.toMap().value(QStringLiteral("message")).toString(), true);
    QJsonObject saved = QJsonObject::fromVariantMap(read.toMap().value(QStringLiteral("filtros")).toMap());
    const QStringList notes = leaveOutOtherPageChoices(saved, QStringLiteral("dos filtros salvos"));
    m_form.applyFilterState(overlayFilters(saved, overrides), TfrmCustoPlanXReal::MissingCodes::Drop, notes);
}

// Filters are shared between the central's and its schools' operators (saved ones, report files
// sent on): the branch choices of the other page of the screen do not m_form.apply here.
QStringList SavedFilters::leaveOutOtherPageChoices(QJsonObject &state, const QString &source) const
{
    QStringList notes;
    const QStringList otherPage = m_form.isSinglePage() ? QStringList{QStringLiteral("filiais"), QStringLiteral("agrupamento")}
                                                 : QStringList{QStringLiteral("filial")};
    for (const QString &key : otherPage) {
        const QJsonValue choice = state.value(key);
        const bool narrows = choice.isArray()
                          || (!EmptyString(choice.toString()) && choice.toString().compare(QLatin1String("todas"), Qt::CaseInsensitive) != 0);
        if (narrows)
            notes << QStringLiteral("O filtro \"%1\" %2 não se aplica a esta tela e ficou de fora.").arg(key, source);
        state.remove(key);
    }
    return notes;
}

// Saved filters, and the filters of a saved report file, live in the save menu below the base
// form's entries, with keys of their own.
void SavedFilters::addMenuEntries()
{
    m_form.ppmSalvarRelatorio->addSeparator();
    const struct {
        QAction *&action;
        const char *caption;
        QKeySequence keys;
        void (SavedFilters::*handler)(QObject *);
    } savedFilterEntries[] = {
        {m_form.mnuSalvarFiltros, "Salvar filtros…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &SavedFilters::mnuSalvarFiltrosClick},
        {m_form.mnuAbrirFiltros, "Abrir filtros…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), &SavedFilters::mnuAbrirFiltrosClick},
        {m_form.mnuAbrirFiltrosRel, "Abrir filtros de um relatório…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), &SavedFilters::mnuAbrirFiltrosRelClick},
        {m_form.mnuApagarFiltros, "Apagar filtros salvos…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete), &SavedFilters::mnuApagarFiltrosClick},
    };
    for (const auto &entry : savedFilterEntries) {
        entry.action = m_form.ppmSalvarRelatorio->addAction(QString::fromUtf8(entry.caption));
        entry.action->setShortcut(entry.keys);
        entry.action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_form.addAction(entry.action);
        QAction *action = entry.action;
        auto handler = entry.handler;
        QObject::connect(action, &QAction::triggered, &m_form, [this, action, handler] { Dispatch([&] { (this->*handler)(action); }); });
    }
}
