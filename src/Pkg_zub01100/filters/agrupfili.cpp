// Branch grouping and the list of aggregated branches ("Todos"/"Lista").
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadGroupings(const QString &grouping)
{
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetAgrupFili"), {RpcArg::val(grouping)});
    cdsAgrupFili->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::resetServiceSelections()
{
    sbtGrupServ->setEnabled(false);
    sbtServico->setEnabled(false);
    m_grupServList->checkTodos();
    m_servicoList->checkTodos();
}

void TfrmCustoPlanXReal::Vd_AgrupFili()
{
    if (EmptyString(edtCdAgrupFili->text()))
        return;
    try {
        // A code longer than 10 is kept whole: it is not on file and is refused as such.
        edtCdAgrupFili->setText(Ajusta(edtCdAgrupFili->text(), 10));
        loadGroupings(edtCdAgrupFili->text());
        if (cdsAgrupFili->IsEmpty())
            MensErro(msgPadrao.Msg(QStringLiteral("AGRUPFILI_N_CAD")), true);
        edtAgrupFili->setText(cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString());
    } catch (...) {
        edtCdAgrupFili->setFocus();
        throw;
    }
}

void TfrmCustoPlanXReal::edtCdAgrupFiliChange(QObject *)
{
    edtAgrupFili->clear();
    edtNmFilial->clear();
    medCdFilial->clear();
    backToAllBranches();
}

void TfrmCustoPlanXReal::edtCdAgrupFiliExit(QObject *)
{
    Vd_AgrupFili();
}

void TfrmCustoPlanXReal::btnAgrupFiliBeforePesq(QObject *, bool &)
{
    BusyScope busy(6);
    loadGroupings(QStringLiteral("T"));
}

void TfrmCustoPlanXReal::btnAgrupFiliAfterPesq(QObject *)
{
    const QString name = cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString();
    edtCdAgrupFili->setText(cdsAgrupFili->FieldByName(QStringLiteral("CDGRUPFILI"))->AsString());
    edtAgrupFili->setText(name);
}

void TfrmCustoPlanXReal::rbtTodaFiliAgregClick(QObject *)
{
    m_filiAgregList->syncSearchButton();
    resetServiceSelections();
    sListaGrup.clear();
    sListaServMarc.clear();
    sListaServ.clear();
}

void TfrmCustoPlanXReal::rbtListaFiliAgregClick(QObject *sender)
{
    rbtTodaFiliAgregClick(sender);
}

void TfrmCustoPlanXReal::sbtFiliAgregClick(QObject *)
{
    cdsFiliAgregIDMARCADO->setVisible(true);
    {
        BusyScope busy(6);
        loadAggregatedBranches(QString());
    }
    if (!m_filiAgregList->search(QStringLiteral("CDFILIAL"), sListaFiliAgreg))
        return;
    resetServiceSelections();
    sListaGrup.clear();
    sListaServ.clear();
}

void TfrmCustoPlanXReal::rbtListaFiliAgregKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtFiliAgregClick(sender);
}

void TfrmCustoPlanXReal::Vd_ListaFiliAgreg()
{
    refuseFailedCheck(checkBranchList(filterValue()));
}
