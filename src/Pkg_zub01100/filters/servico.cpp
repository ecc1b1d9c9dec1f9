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

void ServiceFilters::loadServices()
{
    QString branches = serviceBranchArgument(m_form.m_value);
    QString groups = serviceGroupArgument(m_form.m_value);
    QString grouping = groupingArgument(m_form.m_value);
    BusyScope busy(6);
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("GetServico"),
                                                    {RpcArg::ref(branches), RpcArg::ref(groups), RpcArg::ref(grouping),
                                                     RpcArg::val(m_form.m_value.central)});
    m_form.cdsServico->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void ServiceFilters::rbtListaGrupClick(QObject *)
{
    m_form.apply(chooseList(m_form.m_value, Selection::ServiceGroups));
}

void ServiceFilters::rbtTodosGrupClick(QObject *)
{
    m_form.apply(chooseAll(m_form.m_value, Selection::ServiceGroups));
}

void ServiceFilters::rbtListaGrupKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtGrupServClick(sender);
}

void ServiceFilters::sbtGrupServClick(QObject *)
{
    m_form.qryGrupServ->Close();
    m_form.qryGrupServ->Open();
    m_form.searchMarks(Selection::ServiceGroups, QStringLiteral("CDGRUPSERV"));
}

void ServiceFilters::rbtListaServClick(QObject *)
{
    m_form.apply(chooseList(m_form.m_value, Selection::Services));
}

void ServiceFilters::rbtTodosServClick(QObject *)
{
    m_form.apply(chooseAll(m_form.m_value, Selection::Services));
}

void ServiceFilters::rbtListaServKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtServicoClick(sender);
}

void ServiceFilters::sbtServicoClick(QObject *)
{
    if (!ModuFili())
        m_form.m_branchFilters->Vd_CdFilial(true);
    loadServices();
    m_form.cdsServicoCDFILIAL->setVisible(serviceSearchShowsBranch(m_form.m_value));
    m_form.searchMarks(Selection::Services, serviceSearchByBranchKey(m_form.m_value) ? QStringLiteral("FILISERV") : QStringLiteral("CDSERVFILI"));
}

void ServiceFilters::Servico()
{
    QStringList offered;
    if (m_form.m_value.services.all) {
        if (m_form.isSinglePage())
            m_form.m_branchFilters->padBranchCode();
        loadServices();
        for (m_form.cdsServico->First(); !m_form.cdsServico->Eof(); m_form.cdsServico->Next())
            offered << m_form.cdsServico->FieldByName(QStringLiteral("FILISERV"))->AsString();
    }
    m_form.m_value.effectiveServices = effectiveServiceKeys(m_form.m_value, offered);
}

void ServiceFilters::Vd_ListaGrup(bool required)
{
    m_form.refuseFailedCheck(checkServiceGroups(m_form.m_value, required));
}

void ServiceFilters::Vd_ListaServ(bool required)
{
    m_form.refuseFailedCheck(checkServices(m_form.m_value, required));
}
