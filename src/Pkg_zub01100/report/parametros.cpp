// The checks before a report, the server-side preparation and the layout's parameters.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "screen/busyscope.h"
#include "wire/codes.h"
#include "wire/wirevalue.h"

#include <QSpinBox>

using namespace host;
using namespace zub01100;

void ReportPreparation::PreparaImpressao(bool required)
{
    // Exactly the host's date edits, in the order the form created them.
    for (TDateEditPlus *dateEdit : m_form.findChildren<TDateEditPlus *>()) {
        if (dateEdit->metaObject() == &TDateEditPlus::staticMetaObject)
            dateEdit->CheckValidDate();
    }
    m_form.m_serviceFilters->Servico();
    // Whether the branch and the grouping are on file is the server's answer, asked in between.
    m_form.m_branchFilters->Vd_CdFilial(required);
    m_form.m_branchFilters->Vd_AgrupFili();
    m_form.refuseFailedCheck(firstFailedCheck(m_form.m_value, required));
}

void ReportPreparation::rpddPadraoBeforeGetQueryParams(TParams &params, bool &)
{
    const QString central = m_form.m_value.central;

    QStringList allBranches;
    if (reportNeedsAllBranches(m_form.m_value)) {
        {
            BusyScope busy(6);
            m_form.m_branchFilters->loadAggregatedBranches(QString());
        }
        for (m_form.cdsFiliAgreg->First(); !m_form.cdsFiliAgreg->Eof(); m_form.cdsFiliAgreg->Next())
            allBranches << m_form.cdsFiliAgreg->FieldByName(QStringLiteral("CDFILIAL"))->AsString();
    }
    QString branches = reportBranchKeys(m_form.m_value, allBranches);

    // A run without stockables prepares no plan: the last run's number names a plan its clean-up
    // deleted, which the server rightly refuses.
    m_planAnswer.clear();
    if (m_form.m_value.stockable) {
        {
            BusyScope busy(1, m_form.msgPadrao.Msg(QStringLiteral("Prep_Dados")));
            QString services = planServiceKeys(m_form.m_value);
            const QVariant answer = m_form.netCustoPlanXReal->Call(
                QStringLiteral("ExecStpConsPlan"),
                {RpcArg::val(central), RpcArg::val(QString()), RpcArg::ref(branches), RpcArg::ref(services),
                 RpcArg::val(m_form.m_value.start), RpcArg::val(m_form.m_value.end), RpcArg::val(QStringLiteral("0")),
                 RpcArg::val(QStringLiteral("zzzzzzzzzz")), RpcArg::val(Operador())});
            m_planAnswer = wire::toText(answer);
            if (!wire::isPlanNumber(m_planAnswer))
                MensErro(m_planAnswer, true);
        }
        m_form.update();
    }

    QString menuTypes = m_form.m_value.menuTypes.all ? m_form.m_serviceFilters->montaListaTipoCard() : m_form.m_value.menuTypes.keyList();

    m_form.vNrListas = QVariantList{QString(), QString(), QString()};
    const QVariant lists = m_form.netCustoPlanXReal->Call(QStringLiteral("getListas"),
                                                   {RpcArg::ref(m_form.m_value.effectiveServices), RpcArg::ref(menuTypes), RpcArg::val(central),
                                                    RpcArg::ref(branches)});
    m_form.vNrListas = CheckResultServ(lists, true, 0);
    const QVariantList listNumbers = m_form.vNrListas.toList();

    ReportAnswers answers;
    answers.branches = branches;
    answers.menuTypes = menuTypes;
    answers.planNumber = m_planAnswer;
    answers.serviceListNumber = wire::toText(listNumbers.value(0));
    answers.menuTypeListNumber = wire::toText(listNumbers.value(1));
    answers.branchListNumber = wire::toText(listNumbers.value(2));
    answers.noGroupingText = m_form.msgPadrao.Msg(QStringLiteral("NENHUM"));
    answers.costTypeNumber = [](int index) { return NumeroTipoCusto(index); };
    answers.levelCodeWidth = [](int level) { return DBPictObj(0).TamAcNivel(QString::number(level)); };
    fillReportParameters(params, m_form.m_value, answers);
}
