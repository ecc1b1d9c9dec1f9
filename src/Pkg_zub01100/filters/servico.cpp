// Service groups and services, and the effective service list of the report.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/widgets/combobox.h"
#include "screen/busyscope.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadServices()
{
    const FilterValue value = filterValue();
    QString branches = serviceBranchArgument(value);
    QString groups = serviceGroupArgument(value);
    QString grouping = groupingArgument(value);
    BusyScope busy(6);
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetServico"),
                                                    {RpcArg::ref(branches), RpcArg::ref(groups), RpcArg::ref(grouping),
                                                     RpcArg::val(medCentral->text())});
    cdsServico->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::rbtListaGrupClick(QObject *)
{
    m_grupServList->syncSearchButton();
    sbtServico->setEnabled(false);
    m_servicoList->checkTodos();
    sListaServ.clear();
    sListaServMarc.clear();
}

void TfrmCustoPlanXReal::rbtTodosGrupClick(QObject *sender)
{
    rbtListaGrupClick(sender);
}

void TfrmCustoPlanXReal::rbtListaGrupKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtGrupServClick(sender);
}

void TfrmCustoPlanXReal::sbtGrupServClick(QObject *)
{
    qryGrupServ->Close();
    qryGrupServ->Open();
    if (!m_grupServList->search(QStringLiteral("CDGRUPSERV"), sListaGrup))
        return;
    sbtServico->setEnabled(false);
    m_servicoList->checkTodos();
    sListaServ.clear();
    sListaServMarc.clear();
}

void TfrmCustoPlanXReal::rbtListaServClick(QObject *)
{
    m_servicoList->syncSearchButton();
}

void TfrmCustoPlanXReal::rbtTodosServClick(QObject *)
{
    m_servicoList->syncSearchButton();
    sListaServ.clear();
}

void TfrmCustoPlanXReal::rbtListaServKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtServicoClick(sender);
}

void TfrmCustoPlanXReal::sbtServicoClick(QObject *)
{
    if (!ModuFili())
        Vd_CdFilial(true);
    loadServices();
    const FilterValue value = filterValue();
    cdsServicoCDFILIAL->setVisible(serviceSearchShowsBranch(value));
    m_servicoList->search(serviceSearchByBranchKey(value) ? QStringLiteral("FILISERV") : QStringLiteral("CDSERVFILI"), sListaServMarc);
}

void TfrmCustoPlanXReal::Servico()
{
    sListaServ = sListaServMarc;
    if (!rbtTodosServ->isChecked())
        return;
    if (isSinglePage())
        medCdFilial->setText(Ajusta(medCdFilial->text(), 4));
    loadServices();
    QStringList offered;
    for (cdsServico->First(); !cdsServico->Eof(); cdsServico->Next())
        offered << cdsServico->FieldByName(QStringLiteral("FILISERV"))->AsString();
    sListaServ = effectiveServiceKeys(filterValue(), offered);
}

void TfrmCustoPlanXReal::Vd_ListaGrup(bool required)
{
    refuseFailedCheck(checkServiceGroups(filterValue(), required));
}

void TfrmCustoPlanXReal::Vd_ListaServ(bool required)
{
    refuseFailedCheck(checkServices(filterValue(), required));
}
