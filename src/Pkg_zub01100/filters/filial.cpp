// Aggregated branch: the single-branch code field, its lookup and the branch-filter check.
#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"
#include "wire/codes.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadAggregatedBranches(const QString &branch)
{
    QString kind = branchSelectionKind(m_value);
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetFiliAgreg"),
                                                    {RpcArg::ref(kind), RpcArg::val(m_value.groupingCode),
                                                     RpcArg::val(m_value.central), RpcArg::val(branch)});
    cdsFiliAgreg->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::Vd_CdFilial(bool required)
{
    m_ui->medCdFilial->setText(Ajusta(m_ui->medCdFilial->text(), wire::kBranchCodeWidth));
    refuseFailedCheck(checkBranch(m_value, required));
    if (!isSinglePage() || EmptyString(m_ui->medCdFilial->text()))
        return;
    try {
        loadAggregatedBranches(m_ui->medCdFilial->text());
        if (cdsFiliAgreg->IsEmpty())
            MensErro(msgPadrao.Msg(QStringLiteral("FILI_N_CAD")), true);
        m_ui->edtNmFilial->setText(cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString());
    } catch (...) {
        if (canTakeFocus(m_ui->medCdFilial))
            m_ui->medCdFilial->setFocus();
        throw;
    }
}

void TfrmCustoPlanXReal::medCdFilialChange(QObject *)
{
    apply(changeBranch(m_value, m_ui->medCdFilial->text()));
}

void TfrmCustoPlanXReal::medCdFilialExit(QObject *)
{
    Vd_CdFilial(false);
}

void TfrmCustoPlanXReal::btnFilialBeforePesq(QObject *, bool &)
{
    cdsFiliAgregIDMARCADO->setVisible(false);
    BusyScope busy(6);
    loadAggregatedBranches(QString());
}

void TfrmCustoPlanXReal::btnFilialAfterPesq(QObject *)
{
    apply(pickBranch(m_value, cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString(),
                     cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString()));
}
