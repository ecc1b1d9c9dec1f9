// The checks before a report, the server-side preparation and the layout's parameters.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
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
    // Whether the branch and the grouping are on file is the server's answer, asked in between.
    Vd_CdFilial(required);
    Vd_AgrupFili();
    refuseFailedCheck(firstFailedCheck(filterValue(), required));
}

void TfrmCustoPlanXReal::rpddPadraoBeforeGetQueryParams(TParams &params, bool &)
{
    const QString central = medCentral->text();

    QStringList allBranches;
    if (reportNeedsAllBranches(filterValue())) {
        {
            BusyScope busy(6);
            loadAggregatedBranches(QString());
        }
        for (cdsFiliAgreg->First(); !cdsFiliAgreg->Eof(); cdsFiliAgreg->Next())
            allBranches << cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString();
    }
    QString branches = reportBranchKeys(filterValue(), allBranches);

    if (chbEstocaveis->isChecked()) {
        {
            BusyScope busy(1, msgPadrao.Msg(QStringLiteral("Prep_Dados")));
            sNrConsPlan.clear();
            QString services = planServiceKeys(filterValue());
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

    ReportAnswers answers;
    answers.branches = branches;
    answers.menuTypes = menuTypes;
    answers.planNumber = sNrConsPlan;
    answers.serviceListNumber = wire::toText(listNumbers.value(0));
    answers.menuTypeListNumber = wire::toText(listNumbers.value(1));
    answers.branchListNumber = wire::toText(listNumbers.value(2));
    answers.noGroupingText = msgPadrao.Msg(QStringLiteral("NENHUM"));
    answers.costTypeNumber = [](int index) { return NumeroTipoCusto(index); };
    answers.levelCodeWidth = [](int level) { return DBPictObj(0).TamAcNivel(QString::number(level)); };
    fillReportParameters(params, filterValue(), answers);
}
