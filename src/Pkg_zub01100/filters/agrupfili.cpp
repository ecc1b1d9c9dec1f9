// Branch grouping and the list of aggregated branches ("Todos"/"Lista").
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"
#include "wire/codes.h"

#include <QLineEdit>

using namespace host;
using namespace zub01100;

void BranchFilters::loadGroupings(const QString &grouping)
{
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("GetAgrupFili"), {RpcArg::val(grouping)});
    m_form.cdsAgrupFili->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void BranchFilters::Vd_AgrupFili()
{
    if (EmptyString(m_widgets.edtCdAgrupFili->text()))
        return;
    try {
        // A longer code is kept whole: it is not on file and is refused as such.
        m_widgets.edtCdAgrupFili->setText(Ajusta(m_widgets.edtCdAgrupFili->text(), wire::kGroupingCodeWidth));
        loadGroupings(m_widgets.edtCdAgrupFili->text());
        if (m_form.cdsAgrupFili->IsEmpty())
            MensErro(m_form.msgPadrao.Msg(QStringLiteral("AGRUPFILI_N_CAD")), true);
        m_widgets.edtAgrupFili->setText(m_form.cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString());
    } catch (...) {
        m_widgets.edtCdAgrupFili->setFocus();
        throw;
    }
}

void BranchFilters::edtCdAgrupFiliChange(QObject *)
{
    m_form.apply(changeGrouping(m_form.m_value, m_widgets.edtCdAgrupFili->text()));
}

void BranchFilters::edtCdAgrupFiliExit(QObject *)
{
    Vd_AgrupFili();
}

void BranchFilters::btnAgrupFiliBeforePesq(QObject *, bool &)
{
    BusyScope busy(6);
    loadGroupings(QStringLiteral("T"));
}

void BranchFilters::btnAgrupFiliAfterPesq(QObject *)
{
    m_form.apply(pickGrouping(m_form.m_value, m_form.cdsAgrupFili->FieldByName(QStringLiteral("CDGRUPFILI"))->AsString(),
                       m_form.cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString()));
}

void BranchFilters::rbtTodaFiliAgregClick(QObject *)
{
    m_form.apply(chooseAll(m_form.m_value, Selection::Branches));
}

void BranchFilters::rbtListaFiliAgregClick(QObject *)
{
    m_form.apply(chooseList(m_form.m_value, Selection::Branches));
}

void BranchFilters::sbtFiliAgregClick(QObject *)
{
    m_form.cdsFiliAgregIDMARCADO->setVisible(true);
    {
        BusyScope busy(6);
        loadAggregatedBranches(QString());
    }
    m_form.searchMarks(Selection::Branches, QStringLiteral("CDFILIAL"));
}

void BranchFilters::rbtListaFiliAgregKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtFiliAgregClick(sender);
}

void BranchFilters::Vd_ListaFiliAgreg()
{
    m_form.refuseFailedCheck(checkBranchList(m_form.m_value));
}
