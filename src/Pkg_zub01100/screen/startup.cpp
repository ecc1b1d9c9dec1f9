#include "Cli_zub01100.h"

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
        medCentral->setText(column("CDFILIAL"));
        edtNmCentral->setText(column("NMFILIAL"));
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
        medCentral->setText(column("CDFILCENTZUB"));
        edtNmCentral->setText(column("NMFILCENTZUB"));
        // The code first: its change rule empties the name.
        medCdFilial->setText(FiliProc());
        edtNmFilial->setText(NomeFiliProc());
    }

    m_value.branchModule = ModuFili();
    if (ModuFili()) {
        nbkFilial->setCurrentIndex(0);
        paintBackground(medCdFilial, QPalette::Button);
        paintBackground(edtCdAgrupFili, QPalette::Button);
        for (QWidget *control : {static_cast<QWidget *>(lblAgrupFili), static_cast<QWidget *>(edtCdAgrupFili),
                                 static_cast<QWidget *>(btnAgrupFili), static_cast<QWidget *>(lblFiliUnic),
                                 static_cast<QWidget *>(medCdFilial), static_cast<QWidget *>(btnFilial)})
            control->setEnabled(false);
        medCdFilial->setText(FiliProc());
        edtNmFilial->setText(NomeFiliProc());
    } else {
        nbkFilial->setCurrentIndex(1);
    }
}

void TfrmCustoPlanXReal::FormActivate(QObject *sender)
{
    TfrmDadosGerRel::FormActivate(sender);
    update();
    if (!boPrimAtiv)
        return;

    sbtServico->setEnabled(rbtListaServ->isChecked());

    netCustProd->setConnected(true);
    QStringList costTypes;
    try {
        costTypes = ListaTipoCusto(netCustProd, nullptr);
    } catch (...) {
        netCustProd->setConnected(false);
        throw;
    }
    netCustProd->setConnected(false);
    cbbTipoCusto->clear();
    cbbTipoCusto->addItems(costTypes);
    cbbTipoCusto->setCurrentIndex(costTypes.isEmpty() ? -1 : 0);

    depDataInic->SetDate(DataProc(medCdFilial->text()));
    depDataInicDateChange(depDataInic);
    depDataFina->SetDate(depDataInic->GetDate());
    depDataFinaDateChange(depDataFina);

    const int levels = DBPictObj(0).GetTtNiveis();
    const int limit = levels < 2 ? levels : levels - 2;
    sedNiveOrde->setRange(0, limit);
    sedNiveOrde->setValue(0);

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
