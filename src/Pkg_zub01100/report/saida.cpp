// Output commands around the base form's, and the clean-up of what the server prepared.
#include "Cli_zub01100.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"
#include "wire/codes.h"
#include "wire/wirevalue.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::sbtPrintClick(QObject *sender)
{
    PreparaImpressao(true);
    TfrmDadosGerRel::sbtPrintClick(sender);
    deletaListas();
}

void TfrmCustoPlanXReal::sbtPreviewClick(QObject *sender)
{
    PreparaImpressao(true);
    TfrmDadosGerRel::sbtPreviewClick(sender);
    deletaListas();
}

void TfrmCustoPlanXReal::sbtSalvarComoClick(QObject *sender)
{
    PreparaImpressao(true);
    TfrmDadosGerRel::sbtSalvarComoClick(sender);
    deletaListas();
}

void TfrmCustoPlanXReal::mnuEditRelClick(QObject *sender)
{
    PreparaImpressao(true);
    TfrmDadosGerRel::mnuEditRelClick(sender);
}

void TfrmCustoPlanXReal::mnuRelatPadrClick(QObject *sender)
{
    PreparaImpressao(true);
    TfrmDadosGerRel::mnuRelatPadrClick(sender);
}

void TfrmCustoPlanXReal::mnuSalvarTextoClick(QObject *sender)
{
    // No checks here, but the services in force: a stale (or, in a fresh screen, empty) list
    // would give a report of other services, or of none.
    m_serviceFilters->Servico();
    try {
        TfrmDadosGerRel::mnuSalvarTextoClick(sender);
    } catch (const CancelledError &) {
        // A cancelled text still leaves nothing prepared behind.
        CancelShield shield;
        deletaConsPlan();
        throw;
    }
    deletaConsPlan();
}

void TfrmCustoPlanXReal::rpddPadraoQRPAfterPrint()
{
    deletaConsPlan();
    deletaListas();
}

void TfrmCustoPlanXReal::rpddPadraoQRPAfterPreview()
{
    deletaConsPlan();
    deletaListas();
}

void TfrmCustoPlanXReal::deletaConsPlan()
{
    BusyScope busy(1, msgPadrao.Msg(QStringLiteral("Del_Cons_Plan")));
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("DelConsPlan"),
                                                    {RpcArg::val(m_value.branch), RpcArg::val(m_planAnswer.left(wire::kNumberWidth))});
    const QString error = wire::toText(CheckResultServ(answer, true, 0));
    if (!error.isEmpty())
        MensErro(error, true);
}

void TfrmCustoPlanXReal::deletaListas()
{
    // Before any parameter request the elements hold no value yet: nothing to delete either.
    if (wire::toText(vNrListas.toList().value(0)).isEmpty())
        return;
    BusyScope busy(1);
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("deletaListas"), {RpcArg::ref(vNrListas)});
    const QString error = wire::toText(CheckResultServ(answer, true, 0));
    // Cleared before the answer is judged, so a failed deletion is reported once and not tried again.
    vNrListas = QVariantList{QString(), QString(), QString()};
    if (!error.isEmpty())
        MensErro(error, true);
}

QString TfrmCustoPlanXReal::motivoRelatorioVazio()
{
    const QVariantList lists = vNrListas.toList();
    if (wire::toText(lists.value(0)).isEmpty())
        return {};
    const FilterValue value = filterValue();
    const auto flag = [](bool chosen) { return chosen ? QStringLiteral("S") : QStringLiteral("N"); };
    // The reason is a courtesy: a server that cannot give one (an older one, say) leaves the
    // empty report as it was.
    try {
        const QVariant answer = netCustoPlanXReal->Call(
            QStringLiteral("GetMotivoVazio"),
            {RpcArg::val(value.central), RpcArg::val(lists.value(2)), RpcArg::val(lists.value(0)), RpcArg::val(lists.value(1)),
             RpcArg::val(value.start), RpcArg::val(value.end), RpcArg::val(flag(value.stockable)), RpcArg::val(flag(value.nonStockable))});
        return wire::toText(CheckResultServ(answer, true, 0));
    } catch (const HostError &) {
        return {};
    }
}
