// The clean-up of what the server prepared for a run, and why a run found nothing.
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

void ReportPreparation::rpddPadraoQRPAfterPrint()
{
    deletaConsPlan();
    deletaListas();
}

void ReportPreparation::rpddPadraoQRPAfterPreview()
{
    deletaConsPlan();
    deletaListas();
}

void ReportPreparation::deletaConsPlan()
{
    BusyScope busy(1, m_form.msgPadrao.Msg(QStringLiteral("Del_Cons_Plan")));
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("DelConsPlan"),
                                                    {RpcArg::val(m_form.m_value.branch), RpcArg::val(m_planAnswer.left(wire::kNumberWidth))});
    const QString error = wire::toText(CheckResultServ(answer, true, 0));
    if (!error.isEmpty())
        MensErro(error, true);
}

void ReportPreparation::deletaListas()
{
    // Before any parameter request the elements hold no value yet: nothing to delete either.
    if (wire::toText(m_form.vNrListas.toList().value(0)).isEmpty())
        return;
    BusyScope busy(1);
    const QVariant answer = m_form.netCustoPlanXReal->Call(QStringLiteral("deletaListas"), {RpcArg::ref(m_form.vNrListas)});
    const QString error = wire::toText(CheckResultServ(answer, true, 0));
    // Cleared before the answer is judged, so a failed deletion is reported once and not tried again.
    m_form.vNrListas = QVariantList{QString(), QString(), QString()};
    if (!error.isEmpty())
        MensErro(error, true);
}

QString ReportPreparation::motivoRelatorioVazio()
{
    const QVariantList lists = m_form.vNrListas.toList();
    if (wire::toText(lists.value(0)).isEmpty())
        return {};
    const FilterValue value = m_form.filterValue();
    const auto flag = [](bool chosen) { return chosen ? QStringLiteral("S") : QStringLiteral("N"); };
    // The reason is a courtesy: a server that cannot give one (an older one, say) leaves the
    // empty report as it was.
    try {
        const QVariant answer = m_form.netCustoPlanXReal->Call(
            QStringLiteral("GetMotivoVazio"),
            {RpcArg::val(value.central), RpcArg::val(lists.value(2)), RpcArg::val(lists.value(0)), RpcArg::val(lists.value(1)),
             RpcArg::val(value.start), RpcArg::val(value.end), RpcArg::val(flag(value.stockable)), RpcArg::val(flag(value.nonStockable))});
        return wire::toText(CheckResultServ(answer, true, 0));
    } catch (const HostError &) {
        return {};
    }
}
