#include "testform.h"

#include "host/data/dataset.h"
#include "host/data/params.h"
#include "host/form/reportdialog.h"
#include "host/services/dispatcher.h"
#include "host/widgets/btnpesquisa.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/maskedit.h"
#include "host/widgets/pesquisalista.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QVariantMap>

TfrmTeste *frmTeste = nullptr;

TfrmTeste::TfrmTeste(QWidget *parent)
    : TfrmDadosGerRel(QStringLiteral("TST00100"), QStringLiteral("TST001"), QStringLiteral("Relatório de Teste"), parent)
{
    rpddPadrao->ReportsDir = QStringLiteral(ZUB_SOURCE_DIR "/tests/host/reports");
    cdsFilial = new host::TClientDataSet(QStringLiteral("cdsFilial"), this);
    cdsFilial->AddField(QStringLiteral("CDFILIAL"), host::FieldType::String, 4, true, QStringLiteral("Código"), 6);
    cdsFilial->AddField(QStringLiteral("NMFILIAL"), host::FieldType::String, 30, false, QStringLiteral("Nome"), 30);
    dtsFilial = new host::TDataSource(cdsFilial, QStringLiteral("dtsFilial"), this);

    auto *lblFilial = new QLabel(QStringLiteral("Filial"), grbDadosRel);
    lblFilial->setGeometry(10, 84, 100, 16);
    medCdFilial = new host::TMaskEdit(grbDadosRel);
    medCdFilial->setGeometry(10, 102, 60, 24);
    btnFilial = new host::TBtnPesquisa(grbDadosRel);
    btnFilial->setGeometry(72, 102, 24, 24);
    btnFilial->setAssociate(medCdFilial);
    btnFilial->Title = QStringLiteral("Filial");
    btnFilial->DataSource = dtsFilial;
    btnFilial->EmptyError = QStringLiteral("Não há filial cadastrada.");

    auto *lblData = new QLabel(QStringLiteral("Data Inicial"), grbDadosRel);
    lblData->setGeometry(10, 136, 100, 16);
    depDataInic = new host::TDateEditPlus(grbDadosRel);
    depDataInic->setGeometry(10, 154, 110, 24);

    auto *lblLista = new QLabel(QStringLiteral("Filiais"), grbDadosRel);
    lblLista->setGeometry(200, 84, 100, 16);
    rbtTodos = new QRadioButton(QStringLiteral("Todos"), grbDadosRel);
    rbtTodos->setGeometry(200, 102, 70, 24);
    rbtTodos->setChecked(true);
    rbtLista = new QRadioButton(QStringLiteral("Lista"), grbDadosRel);
    rbtLista->setGeometry(270, 102, 60, 24);
    sbtLista = new QToolButton(grbDadosRel);
    sbtLista->setText(QStringLiteral("..."));
    sbtLista->setToolTip(QStringLiteral("Pesquisar"));
    sbtLista->setGeometry(332, 102, 24, 24);
    sbtLista->setEnabled(false);
    connect(rbtLista, &QRadioButton::toggled, sbtLista, &QToolButton::setEnabled);
    connect(sbtLista, &QToolButton::clicked, this, [this] {
        host::Dispatch([this] {
            host::PesquisaLista(dtsFilial, QStringLiteral("CDFILIAL"), QStringLiteral("Filiais|Não há filial cadastrada."),
                                false, sListaFilial);
        });
    });

    rpddPadrao->BeforeGetQueryParams = [this](host::TParams &params, bool &) {
        if (params.ExistParam(QStringLiteral("P_CDFILIAL")))
            params.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(medCdFilial->text());
        if (params.ExistParam(QStringLiteral("P_DTINIC")))
            params.ParamByName(QStringLiteral("P_DTINIC")).setAsDateTime(depDataInic->GetDate().startOfDay());
        if (params.ExistParam(QStringLiteral("P_NRNIVEL")))
            params.ParamByName(QStringLiteral("P_NRNIVEL")).setAsInteger(0);
    };
}

void TfrmTeste::FormCreate(QObject *sender)
{
    TfrmDadosGerRel::FormCreate(sender);
    QVariantList rows;
    rows << QVariant(QVariantList{QStringLiteral("0001"), QStringLiteral("EM Jardim das Flores")})
         << QVariant(QVariantList{QStringLiteral("0002"), QStringLiteral("EM Vila Nova")})
         << QVariant(QVariantList{QStringLiteral("0003"), QStringLiteral("EM Centro")});
    const QVariantList fields{
        QVariantMap{{QStringLiteral("name"), QStringLiteral("CDFILIAL")}, {QStringLiteral("type"), QStringLiteral("string")}, {QStringLiteral("size"), 4}},
        QVariantMap{{QStringLiteral("name"), QStringLiteral("NMFILIAL")}, {QStringLiteral("type"), QStringLiteral("string")}, {QStringLiteral("size"), 30}},
    };
    cdsFilial->LoadFromPacket(QVariantMap{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), rows}});
    depDataInic->SetDate(QDate::currentDate());
}

void TfrmTeste::FormClose(QObject *sender, host::TCloseAction &action)
{
    frmTeste = nullptr;
    TfrmDadosGerRel::FormClose(sender, action);
}
