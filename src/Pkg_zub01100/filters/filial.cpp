// Aggregated branch: the single-branch code field, its lookup and the branch-filter check.
#include "Cli_zub01100.h"
#include "screen/focus.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "host/widgets/maskedit.h"
#include "screen/busyscope.h"
#include "wire/codes.h"

using namespace host;
using namespace zub01100;

void BranchFilters::loadAggregatedBranches(const QString &branch)
{
    QString kind = branchSelectionKind(m_form.m_value);
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("GetFiliAgreg"),
                                                    {RpcArg::ref(kind), RpcArg::val(m_form.m_value.groupingCode),
                                                     RpcArg::val(m_form.m_value.central), RpcArg::val(branch)});
    m_form.cdsFiliAgreg->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void BranchFilters::padBranchCode()
{
    m_widgets.medCdFilial->setText(Ajusta(m_widgets.medCdFilial->text(), wire::kBranchCodeWidth));
}

void BranchFilters::Vd_CdFilial(bool required)
{
    padBranchCode();
    m_form.refuseFailedCheck(checkBranch(m_form.m_value, required));
    if (!m_form.isSinglePage() || EmptyString(m_widgets.medCdFilial->text()))
        return;
    try {
        loadAggregatedBranches(m_widgets.medCdFilial->text());
        if (m_form.cdsFiliAgreg->IsEmpty())
            MensErro(m_form.msgPadrao.Msg(QStringLiteral("FILI_N_CAD")), true);
        m_widgets.edtNmFilial->setText(m_form.cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString());
    } catch (...) {
        if (canTakeFocus(m_widgets.medCdFilial))
            m_widgets.medCdFilial->setFocus();
        throw;
    }
}

void BranchFilters::medCdFilialChange(QObject *)
{
    m_form.apply(changeBranch(m_form.m_value, m_widgets.medCdFilial->text()));
}

void BranchFilters::medCdFilialExit(QObject *)
{
    Vd_CdFilial(false);
}

void BranchFilters::btnFilialBeforePesq(QObject *, bool &)
{
    m_form.cdsFiliAgregIDMARCADO->setVisible(false);
    BusyScope busy(6);
    loadAggregatedBranches(QString());
}

void BranchFilters::btnFilialAfterPesq(QObject *)
{
    m_form.apply(pickBranch(m_form.m_value, m_form.cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString(),
                     m_form.cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString()));
}
