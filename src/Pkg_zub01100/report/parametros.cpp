// The checks before a report, the server-side preparation and the layout's parameters.
#include "Cli_zub01100.h"

#include "host/network/checkresultserv.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/data/hostfunctions.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "screen/busyscope.h"
#include "wire/wirevalue.h"

#include <QSpinBox>

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::PreparaImpressao(bool required)
{
    // Exactly the host's date edits, in the order the form created them.
    for (TDateEditPlus *dateEdit : findChildren<TDateEditPlus *>()) {
        if (dateEdit->metaObject() == &TDateEditPlus::staticMetaObject)
            dateEdit->CheckValidDate();
    }
    Servico();
    Vd_CdFilial(required);
    Vd_AgrupFili();
    Vd_ListaFiliAgreg();
    Vd_TipoCard();
    Vd_TipoCusto();
    Vd_Data(required);
    Vd_ListaGrup(required);
    Vd_ListaServ(required);
    Vd_TipoProd(required);
}

// The marked services as distinct service codes, in the order of first appearance:
// "_000100010_000200010_000100020_" gives "_00010_00020_". A key longer than a service code
// (5 characters) is a 4-character branch followed by the service code. Judging each key by its
// shape, not by the page or report chosen now, keeps codes marked under another report whole.
QString TfrmCustoPlanXReal::reducedServiceKeys()
{
    constexpr int kServiceCodeWidth = 5;
    constexpr int kBranchCodeWidth = 4;
    QString result = QStringLiteral("_");
    QString rest = sListaServMarc.mid(1);
    qsizetype end;
    while ((end = rest.indexOf(QLatin1Char('_'))) >= 0) {
        const QString key = rest.left(end);
        const QString code = key.size() > kServiceCodeWidth ? key.mid(kBranchCodeWidth) : key;
        // Whole keys only: a code that is part of another code is a service of its own.
        if (!result.contains(QLatin1Char('_') + code + QLatin1Char('_')))
            result += code + QLatin1Char('_');
        rest.remove(0, end + 1);
    }
    return result;
}

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("S") : QStringLiteral("N");
}

QDateTime atMidnight(const QDate &date)
{
    return QDateTime(date, QTime(0, 0));
}

} // namespace

void TfrmCustoPlanXReal::rpddPadraoBeforeGetQueryParams(TParams &params, bool &)
{
    const QString central = medCentral->text();

    QString branches;
    if (isSinglePage()) {
        branches = medCdFilial->text();
    } else if (rbtListaFiliAgreg->isChecked()) {
        branches = sListaFiliAgreg;
    } else {
        branches = QStringLiteral("_");
        {
            BusyScope busy(6);
            loadAggregatedBranches(QString());
        }
        for (cdsFiliAgreg->First(); !cdsFiliAgreg->Eof(); cdsFiliAgreg->Next())
            branches += cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString() + QLatin1Char('_');
    }

    if (chbEstocaveis->isChecked()) {
        {
            BusyScope busy(1, msgPadrao.Msg(QStringLiteral("Prep_Dados")));
            sNrConsPlan.clear();
            // The plan wants service codes, whatever form the service search gave the marks.
            QString services = rbtTodosServ->isChecked() ? QString() : reducedServiceKeys();
            const QVariant answer = netCustoPlanXReal->Call(
                QStringLiteral("ExecStpConsPlan"),
                {RpcArg::val(central), RpcArg::val(QString()), RpcArg::ref(branches), RpcArg::ref(services),
                 RpcArg::val(depDataInic->GetDate()), RpcArg::val(depDataFina->GetDate()), RpcArg::val(QStringLiteral("0")),
                 RpcArg::val(QStringLiteral("zzzzzzzzzz")), RpcArg::val(Operador())});
            sNrConsPlan = wire::toText(answer);
            if (sNrConsPlan.size() != 10)
                MensErro(sNrConsPlan, true);
        }
        update();
    }

    QString menuTypes = rbtTodosTipoCard->isChecked() ? montaListaTipoCard() : sListaTipoCard;

    vNrListas = QVariantList{QString(), QString(), QString()};
    const QVariant lists = netCustoPlanXReal->Call(QStringLiteral("getListas"),
                                                   {RpcArg::ref(sListaServ), RpcArg::ref(menuTypes), RpcArg::val(central),
                                                    RpcArg::ref(branches)});
    vNrListas = CheckResultServ(lists, true, 0);
    const QVariantList listNumbers = vNrListas.toList();

    const std::pair<const char *, std::function<void(TParam &)>> parameters[] = {
        {"P_CDFILCENTZUB", [&](TParam &p) { p.setAsString(central); }},
        {"P_CDFILIAL", [&](TParam &p) { p.setAsString(branches); }},
        {"P_NRLISTAFILI", [&](TParam &p) { p.setAsString(wire::toText(listNumbers.value(2))); }},
        {"P_NRCONSPLAN", [&](TParam &p) { p.setAsString(sNrConsPlan.left(10)); }},
        {"P_NRLISTA", [&](TParam &p) { p.setAsString(sNrConsPlan.mid(11, 10)); }},
        {"P_CDTIPOCARD", [&](TParam &p) { p.setAsString(menuTypes); }},
        {"P_LISTATIPOCARD", [&](TParam &p) { p.setAsString(wire::toText(listNumbers.value(1))); }},
        {"P_LISTASERVICO", [&](TParam &p) { p.setAsString(wire::toText(listNumbers.value(0))); }},
        {"P_CDSERVFILI", [&](TParam &p) { p.setAsString(rbtTodosServ->isChecked() ? QStringLiteral("T") : sListaServ); }},
        {"P_DTINICIAL", [&](TParam &p) { p.setAsDateTime(atMidnight(depDataInic->GetDate())); }},
        {"P_DTFINAL", [&](TParam &p) { p.setAsDateTime(atMidnight(depDataFina->GetDate())); }},
        {"P_DTPERIINIC", [&](TParam &p) { p.setAsString(depDataInic->text()); }},
        {"P_DTPERIFINA", [&](TParam &p) { p.setAsString(depDataFina->text()); }},
        {"P_DTMESINIC", [&](TParam &p) { p.setAsDateTime(atMidnight(depDataInic->GetPrimDia())); }},
        {"P_DTMESFINA", [&](TParam &p) { p.setAsDateTime(atMidnight(depDataFina->GetUltDia())); }},
        {"P_NRTIPOCUSTO", [&](TParam &p) { p.setAsInteger(NumeroTipoCusto(cbbTipoCusto->currentIndex())); }},
        {"P_NMTIPOCUSTO", [&](TParam &p) { p.setAsString(cbbTipoCusto->currentText()); }},
        {"P_IDESTOCAVEIS", [&](TParam &p) { p.setAsString(flag(chbEstocaveis->isChecked())); }},
        {"P_IDNESTOCAVEIS", [&](TParam &p) { p.setAsString(flag(chbNaoEstoc->isChecked())); }},
        {"P_IDDIFERENCA", [&](TParam &p) { p.setAsString(rdgDiferenca->itemIndex() == 0 ? QStringLiteral("P") : QStringLiteral("T")); }},
        {"P_NIVEL", [&](TParam &p) { p.setAsString(flag(sedNiveOrde->value() != 0)); }},
        {"P_NRTAMACNIVEL", [&](TParam &p) { p.setAsInteger(DBPictObj(0).TamAcNivel(QString::number(sedNiveOrde->value()))); }},
        {"P_CDGRUPFILI", [&](TParam &p) {
             p.setAsString(EmptyString(edtCdAgrupFili->text()) ? msgPadrao.Msg(QStringLiteral("NENHUM")) : edtCdAgrupFili->text());
         }},
        {"P_NMGRUPFILI", [&](TParam &p) { p.setAsString(edtAgrupFili->text()); }},
    };
    for (const auto &[name, assign] : parameters) {
        const QString parameter = QString::fromLatin1(name);
        if (params.ExistParam(parameter))
            assign(params.ParamByName(parameter));
    }
}
