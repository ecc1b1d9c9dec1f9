// Service groups and services, and the effective service list of the report.
#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/widgets/combobox.h"
#include "screen/busyscope.h"
#include "wire/codes.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadServices()
{
    QString branches = serviceBranchArgument(m_value);
    QString groups = serviceGroupArgument(m_value);
    QString grouping = groupingArgument(m_value);
    BusyScope busy(6);
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetServico"),
                                                    {RpcArg::ref(branches), RpcArg::ref(groups), RpcArg::ref(grouping),
                                                     RpcArg::val(m_value.central)});
    cdsServico->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::rbtListaGrupClick(QObject *)
{
    apply(chooseList(m_value, Selection::ServiceGroups));
}

void TfrmCustoPlanXReal::rbtTodosGrupClick(QObject *)
{
    apply(chooseAll(m_value, Selection::ServiceGroups));
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
    searchMarks(Selection::ServiceGroups, QStringLiteral("CDGRUPSERV"));
}

void TfrmCustoPlanXReal::rbtListaServClick(QObject *)
{
    apply(chooseList(m_value, Selection::Services));
}

void TfrmCustoPlanXReal::rbtTodosServClick(QObject *)
{
    apply(chooseAll(m_value, Selection::Services));
}

void TfrmCustoPlanXReal::rbtListaServKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtServicoClick(sender);
}

void TfrmCustoPlanXReal::sbtServicoClick(QObject *)
{
    if (!ModuFili())
        m_branchFilters->Vd_CdFilial(true);
    loadServices();
    cdsServicoCDFILIAL->setVisible(serviceSearchShowsBranch(m_value));
    searchMarks(Selection::Services, serviceSearchByBranchKey(m_value) ? QStringLiteral("FILISERV") : QStringLiteral("CDSERVFILI"));
}

void TfrmCustoPlanXReal::Servico()
{
    QStringList offered;
    if (m_value.services.all) {
        if (isSinglePage())
            m_ui->medCdFilial->setText(Ajusta(m_ui->medCdFilial->text(), wire::kBranchCodeWidth));
        loadServices();
        for (cdsServico->First(); !cdsServico->Eof(); cdsServico->Next())
            offered << cdsServico->FieldByName(QStringLiteral("FILISERV"))->AsString();
    }
    m_value.effectiveServices = effectiveServiceKeys(m_value, offered);
}

void TfrmCustoPlanXReal::Vd_ListaGrup(bool required)
{
    refuseFailedCheck(checkServiceGroups(m_value, required));
}

void TfrmCustoPlanXReal::Vd_ListaServ(bool required)
{
    refuseFailedCheck(checkServices(m_value, required));
}
