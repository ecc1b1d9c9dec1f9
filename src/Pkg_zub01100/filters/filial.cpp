// Aggregated branch: the single-branch code field, its lookup and the branch-filter check.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadAggregatedBranches(const QString &branch)
{
    QString kind = branchSelectionKind(filterValue());
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetFiliAgreg"),
                                                    {RpcArg::ref(kind), RpcArg::val(edtCdAgrupFili->text()),
                                                     RpcArg::val(medCentral->text()), RpcArg::val(branch)});
    cdsFiliAgreg->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::Vd_CdFilial(bool required)
{
    medCdFilial->setText(Ajusta(medCdFilial->text(), 4));
    refuseFailedCheck(checkBranch(filterValue(), required));
    if (!isSinglePage() || EmptyString(medCdFilial->text()))
        return;
    try {
        loadAggregatedBranches(medCdFilial->text());
        if (cdsFiliAgreg->IsEmpty())
            MensErro(msgPadrao.Msg(QStringLiteral("FILI_N_CAD")), true);
        edtNmFilial->setText(cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString());
    } catch (...) {
        if (canTakeFocus(medCdFilial))
            medCdFilial->setFocus();
        throw;
    }
}

void TfrmCustoPlanXReal::backToAllBranches()
{
    m_filiAgregList->checkTodos();
    m_grupServList->checkTodos();
    m_servicoList->checkTodos();
    sListaFiliAgreg.clear();
    sListaGrup.clear();
    sListaServ.clear();
}

void TfrmCustoPlanXReal::medCdFilialChange(QObject *)
{
    edtNmFilial->clear();
    sbtFiliAgreg->setEnabled(false);
    sbtGrupServ->setEnabled(false);
    sbtServico->setEnabled(false);
    backToAllBranches();
    sListaServMarc.clear();
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

void TfrmCustoPlanXReal::btnFilialAfterPesq(QObject *sender)
{
    const QString code = cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString();
    const QString name = cdsFiliAgreg->FieldByName(QStringLiteral("NMFILIAL"))->AsString();
    // Choosing the branch already in the field changes no text, so the resets are done here too.
    medCdFilialChange(sender);
    medCdFilial->setText(code);
    edtNmFilial->setText(name);
}
