#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/data/hostfunctions.h"
#include "host/services/hostservices.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "host/widgets/busyindicator.h"
#include "screen/busyscope.h"
#include "screen/colours.h"

#include <QSpinBox>

using namespace host;
using namespace zub01100;

namespace {

bool isUsableRole(const QString &role)
{
    return role == QLatin1String("M") || role == QLatin1String("F");
}

// The role answer is an error text after its five-character prefix.
QString roleErrorText(const QString &role)
{
    return role.mid(5);
}

} // namespace

void TfrmCustoPlanXReal::FormCreate(QObject *sender)
{
    TfrmDadosGerRel::FormCreate(sender);

    {
        BusyScope busy(0);
        netCustoPlanXReal->setConnected(true);
    }

    boPrimAtiv = true;
    vNrListas = QVariantList{QVariant(), QVariant(), QVariant()};

    AtualizaLocalCache({QStringLiteral("FILIAL")});
    qryFilial->Close();
    qryFilial->ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(FiliProc());
    qryFilial->Open();

    // A branch the query does not find reads as empty in every column.
    auto column = [this](const char *name) { return qryFilial->FieldByName(QString::fromLatin1(name))->AsString(); };
    if (column("IDFILCENTZUB") == QLatin1String("S")) {
        const QString role = ModuFili(column("CDFILIAL"), true);
        if (!isUsableRole(role)) {
            MensErro(roleErrorText(role), false);
            frmCustoPlanXReal->Close();
            return;
        }
        m_ui->medCentral->setText(column("CDFILIAL"));
        m_ui->edtNmCentral->setText(column("NMFILIAL"));
    } else {
        if (EmptyString(column("CDFILCENTZUB"))) {
            MensErro(msgPadrao.Msg(QStringLiteral("N_Filial_Centr")), false);
            frmCustoPlanXReal->Close();
            return;
        }
        const QString role = ModuFili(column("CDFILCENTZUB"), true);
        if (!isUsableRole(role)) {
            MensErro(roleErrorText(role), false);
            frmCustoPlanXReal->Close();
            return;
        }
        m_ui->medCentral->setText(column("CDFILCENTZUB"));
        m_ui->edtNmCentral->setText(column("NMFILCENTZUB"));
        // The code first: its change rule empties the name.
        m_ui->medCdFilial->setText(FiliProc());
        m_ui->edtNmFilial->setText(NomeFiliProc());
    }

    m_value.branchModule = ModuFili();
    if (ModuFili()) {
        m_ui->nbkFilial->setCurrentIndex(0);
        paintBackground(m_ui->medCdFilial, QPalette::Button);
        paintBackground(m_ui->edtCdAgrupFili, QPalette::Button);
        for (QWidget *control : {static_cast<QWidget *>(m_ui->lblAgrupFili), static_cast<QWidget *>(m_ui->edtCdAgrupFili),
                                 static_cast<QWidget *>(m_ui->btnAgrupFili), static_cast<QWidget *>(m_ui->lblFiliUnic),
                                 static_cast<QWidget *>(m_ui->medCdFilial), static_cast<QWidget *>(m_ui->btnFilial)})
            control->setEnabled(false);
        m_ui->medCdFilial->setText(FiliProc());
        m_ui->edtNmFilial->setText(NomeFiliProc());
    } else {
        m_ui->nbkFilial->setCurrentIndex(1);
    }
}

void TfrmCustoPlanXReal::FormActivate(QObject *sender)
{
    TfrmDadosGerRel::FormActivate(sender);
    update();
    if (!boPrimAtiv)
        return;

    m_ui->sbtServico->setEnabled(m_ui->rbtListaServ->isChecked());

    netCustProd->setConnected(true);
    QStringList costTypes;
    try {
        costTypes = ListaTipoCusto(netCustProd, nullptr);
    } catch (...) {
        netCustProd->setConnected(false);
        throw;
    }
    netCustProd->setConnected(false);
    m_ui->cbbTipoCusto->clear();
    m_ui->cbbTipoCusto->addItems(costTypes);
    m_ui->cbbTipoCusto->setCurrentIndex(costTypes.isEmpty() ? -1 : 0);

    m_ui->depDataInic->SetDate(DataProc(m_ui->medCdFilial->text()));
    m_periodFilters->depDataInicDateChange(m_ui->depDataInic);
    m_ui->depDataFina->SetDate(m_ui->depDataInic->GetDate());
    m_periodFilters->depDataFinaDateChange(m_ui->depDataFina);

    const int levels = DBPictObj(0).GetTtNiveis();
    const int limit = levels < 2 ? levels : levels - 2;
    m_ui->sedNiveOrde->setRange(0, limit);
    m_ui->sedNiveOrde->setValue(0);

    boPrimAtiv = false;
}

void TfrmCustoPlanXReal::cbbReportNamesDropDown(QObject *)
{
    frmCustoPlanXReal->FormActivate(frmCustoPlanXReal);
}

void TfrmCustoPlanXReal::cbbReportNamesEnter(QObject *)
{
    frmCustoPlanXReal->FormActivate(frmCustoPlanXReal);
}

// Both connections take the server's address from the host before every connect.
static void addressFromHost(QObject *sender)
{
    auto *connection = static_cast<TNetConnection *>(sender);
    connection->Host = WebURL();
    connection->Port = WebPort();
}

void TfrmCustoPlanXReal::netCustoPlanXRealBeforeConnect(QObject *sender)
{
    addressFromHost(sender);
}

void TfrmCustoPlanXReal::netCustProdBeforeConnect(QObject *sender)
{
    addressFromHost(sender);
}
