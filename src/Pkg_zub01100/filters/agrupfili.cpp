// Branch grouping and the list of aggregated branches ("Todos"/"Lista").
#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/messages.h"
#include "screen/busyscope.h"
#include "wire/codes.h"

using namespace host;
using namespace zub01100;

void TfrmCustoPlanXReal::loadGroupings(const QString &grouping)
{
    const QVariant answer = netCustoPlanXReal->Call(QStringLiteral("GetAgrupFili"), {RpcArg::val(grouping)});
    cdsAgrupFili->LoadFromPacket(CheckResultServ(answer, true, 0));
}

void TfrmCustoPlanXReal::Vd_AgrupFili()
{
    if (EmptyString(m_ui->edtCdAgrupFili->text()))
        return;
    try {
        // A longer code is kept whole: it is not on file and is refused as such.
        m_ui->edtCdAgrupFili->setText(Ajusta(m_ui->edtCdAgrupFili->text(), wire::kGroupingCodeWidth));
        loadGroupings(m_ui->edtCdAgrupFili->text());
        if (cdsAgrupFili->IsEmpty())
            MensErro(msgPadrao.Msg(QStringLiteral("AGRUPFILI_N_CAD")), true);
        m_ui->edtAgrupFili->setText(cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString());
    } catch (...) {
        m_ui->edtCdAgrupFili->setFocus();
        throw;
    }
}

void TfrmCustoPlanXReal::edtCdAgrupFiliChange(QObject *)
{
    apply(changeGrouping(m_value, m_ui->edtCdAgrupFili->text()));
}

void TfrmCustoPlanXReal::edtCdAgrupFiliExit(QObject *)
{
    Vd_AgrupFili();
}

void TfrmCustoPlanXReal::btnAgrupFiliBeforePesq(QObject *, bool &)
{
    BusyScope busy(6);
    loadGroupings(QStringLiteral("T"));
}

void TfrmCustoPlanXReal::btnAgrupFiliAfterPesq(QObject *)
{
    apply(pickGrouping(m_value, cdsAgrupFili->FieldByName(QStringLiteral("CDGRUPFILI"))->AsString(),
                       cdsAgrupFili->FieldByName(QStringLiteral("NMGRUPFILI"))->AsString()));
}

void TfrmCustoPlanXReal::rbtTodaFiliAgregClick(QObject *)
{
    apply(chooseAll(m_value, Selection::Branches));
}

void TfrmCustoPlanXReal::rbtListaFiliAgregClick(QObject *)
{
    apply(chooseList(m_value, Selection::Branches));
}

void TfrmCustoPlanXReal::sbtFiliAgregClick(QObject *)
{
    cdsFiliAgregIDMARCADO->setVisible(true);
    {
        BusyScope busy(6);
        loadAggregatedBranches(QString());
    }
    searchMarks(Selection::Branches, QStringLiteral("CDFILIAL"));
}

void TfrmCustoPlanXReal::rbtListaFiliAgregKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtFiliAgregClick(sender);
}

void TfrmCustoPlanXReal::Vd_ListaFiliAgreg()
{
    refuseFailedCheck(checkBranchList(m_value));
}
