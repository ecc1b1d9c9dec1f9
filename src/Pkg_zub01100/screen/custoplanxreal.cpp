#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/form/reportdialog.h"
#include "host/services/dispatcher.h"
#include "host/services/userinteraction.h"
#include "host/widgets/exitevent.h"
#include "screen/colours.h"
#include "screen/messagetable.h"
#include "wire/codes.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>

using namespace host;
using namespace zub01100;

const char *const TfrmCustoPlanXReal::kHelpFile = "Cushelp.hlp";

namespace {

const QStringList kSqlFilial = {
    QStringLiteral("SELECT A.CDFILIAL, A.NMFILIAL, A.IDCNTRRESC, A.IDFILCENTZUB,"),
    QStringLiteral("       A.CDFILCENTZUB, (SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = A.CDFILCENTZUB) AS NMFILCENTZUB"),
    QStringLiteral("  FROM FILIAL A"),
    QStringLiteral(" WHERE CDFILIAL = :P_CDFILIAL"),
};
const QStringList kSqlGrupServ = {
    QStringLiteral("SELECT CDGRUPSERV, NMGRUPSERV"),
    QStringLiteral("  FROM GRUPSERV"),
    QStringLiteral(" ORDER BY CDGRUPSERV"),
};
const QStringList kSqlTipoCard = {
    QStringLiteral("SELECT CDTIPOCARD, NMTIPOCARD"),
    QStringLiteral("  FROM TIPOCARD"),
    QStringLiteral(" WHERE (CDFILCENTZUB = :P_CDFILCENTZUB)"),
    QStringLiteral("   AND (IDTPCARDATIV = 'S')"),
    QStringLiteral(" ORDER BY CDTIPOCARD"),
};

// The four dialect texts of these lookups differ only in trailing blanks.
void setAllDialects(TADOIBQuery *query, const QStringList &text)
{
    query->SQL = text;
    query->SQL_ORACLE = text;
    query->SQL_MSSQL = text;
    query->SQL_IB = text;
}

} // namespace


TfrmCustoPlanXReal::TfrmCustoPlanXReal(QWidget *owner)
    : TfrmDadosGerRel(QStringLiteral("ZUB01100"), QStringLiteral("ZUB011"),
                      QStringLiteral("Custo Planejado X Realizado (Planejamento de Alimentação Escolar)"), owner),
      m_ui(std::make_unique<Ui::CustoPlanXRealFiltros>()), m_serviceFilters(std::make_unique<ServiceFilters>(*this)),
      m_savedFilters(std::make_unique<SavedFilters>(*this)), m_reportPreparation(std::make_unique<ReportPreparation>(*this))
{
    msgPadrao.setLines(messageTableLines());
    // Where the window first opens in the main window's area.
    move(448, 212);
    createComponents();
    // The filters fill the group box below the report list's separator.
    m_filterArea = new QWidget(grbDadosRel);
    const int top = bvlSeparator->geometry().bottom() + 2;
    m_filterArea->setGeometry(2, top, grbDadosRel->width() - 4, grbDadosRel->height() - top - 2);
    m_ui->setupUi(m_filterArea);
    m_branchFilters = std::make_unique<BranchFilters>(
        *this, BranchFilters::Widgets{m_ui->medCdFilial, m_ui->edtNmFilial, m_ui->edtCdAgrupFili, m_ui->edtAgrupFili});
    m_periodFilters = std::make_unique<PeriodFilters>(
        *this, PeriodFilters::Widgets{m_ui->depDataInic, m_ui->depDataFina, m_ui->edtDataInic, m_ui->edtDataFina});
    applyLookAndFeel();
    bindEvents();
}

TfrmCustoPlanXReal::~TfrmCustoPlanXReal() = default;

void TfrmCustoPlanXReal::createComponents()
{
    TdtmDBGeral *dtmDBGeral = &context().generalDatabase();

    qryFilial = new TADOIBQuery(dtmDBGeral, QStringLiteral("qryFilial"), this);
    setAllDialects(qryFilial, kSqlFilial);
    qryFilial->AddField(QStringLiteral("CDFILIAL"), FieldType::String, 4, true);
    qryFilial->AddField(QStringLiteral("NMFILIAL"), FieldType::String, 30);
    qryFilial->AddField(QStringLiteral("IDCNTRRESC"), FieldType::String, 1);
    qryFilial->AddField(QStringLiteral("IDFILCENTZUB"), FieldType::String, 1);
    qryFilial->AddField(QStringLiteral("CDFILCENTZUB"), FieldType::String, 4);
    qryFilial->AddField(QStringLiteral("NMFILCENTZUB"), FieldType::String, 30);

    qryGrupServ = new TADOIBQuery(dtmDBGeral, QStringLiteral("qryGrupServ"), this);
    setAllDialects(qryGrupServ, kSqlGrupServ);
    qryGrupServ->AddField(QStringLiteral("CDGRUPSERV"), FieldType::String, 3, true, QStringLiteral("Código"));
    qryGrupServ->AddField(QStringLiteral("NMGRUPSERV"), FieldType::String, 30, false, QStringLiteral("Nome"));
    dtsGrupServ__ = new TDataSource(qryGrupServ, QStringLiteral("dtsGrupServ__"), this);

    qryTipoCard = new TADOIBQuery(dtmDBGeral, QStringLiteral("qryTipoCard"), this);
    setAllDialects(qryTipoCard, kSqlTipoCard);
    qryTipoCard->AddField(QStringLiteral("CDTIPOCARD"), FieldType::String, 10, true, QStringLiteral("Código"), 12);
    qryTipoCard->AddField(QStringLiteral("NMTIPOCARD"), FieldType::String, 100, false, QStringLiteral("Nome"));
    qryTipoCard->BeforeOpen = [this](TDataSet *dataSet) { m_serviceFilters->qryTipoCardBeforeOpen(dataSet); };
    dtsTipoCard__ = new TDataSource(qryTipoCard, QStringLiteral("dtsTipoCard__"), this);

    cdsAgrupFili = new TClientDataSet(QStringLiteral("cdsAgrupFili"), this);
    cdsAgrupFili->AddField(QStringLiteral("CDGRUPFILI"), FieldType::String, 10, false, QStringLiteral("Código"), 12);
    cdsAgrupFili->AddField(QStringLiteral("NMGRUPFILI"), FieldType::String, 40, false, QStringLiteral("Nome"));
    dtsAgrupFili = new TDataSource(cdsAgrupFili, QStringLiteral("dtsAgrupFili"), this);

    cdsFiliAgreg = new TClientDataSet(QStringLiteral("cdsFiliAgreg"), this);
    cdsFiliAgregIDMARCADO = cdsFiliAgreg->AddField(QStringLiteral("IDMARCADO"), FieldType::FixedString, 1);
    cdsFiliAgreg->AddField(QStringLiteral("CDFILIAL"), FieldType::String, 4, false, QStringLiteral("Código"), 5);
    cdsFiliAgreg->AddField(QStringLiteral("NMFILIAL"), FieldType::String, 30, false, QStringLiteral("Nome"), 48);
    dtsFiliAgreg = new TDataSource(cdsFiliAgreg, QStringLiteral("dtsFiliAgreg"), this);

    cdsServico = new TClientDataSet(QStringLiteral("cdsServico"), this);
    cdsServico->AddField(QStringLiteral("IDMARCADO"), FieldType::FixedString, 1);
    cdsServicoCDFILIAL = cdsServico->AddField(QStringLiteral("CDFILIAL"), FieldType::String, 4, false, QStringLiteral("Filial"), 5);
    cdsServico->AddField(QStringLiteral("CDSERVFILI"), FieldType::String, 5, false, QStringLiteral("Código"));
    cdsServico->AddField(QStringLiteral("NMSERVICO"), FieldType::String, 40, false, QStringLiteral("Nome"));
    cdsServico->AddField(QStringLiteral("FILISERV"), FieldType::String, 9)->setVisible(false);
    dtsServico = new TDataSource(cdsServico, QStringLiteral("dtsServico"), this);

    netCustoPlanXReal = new TNetConnection(QStringLiteral("netCustoPlanXReal"), QStringLiteral("Zub01100.rdmCustoPlanXReal"), this);
    netCustoPlanXReal->BeforeConnect = [this](TNetConnection *connection) { netCustoPlanXRealBeforeConnect(connection); };
    netCustProd = new TNetConnection(QStringLiteral("netCustProd"), QStringLiteral("Cus00000.rdmCustProd"), this);
    netCustProd->BeforeConnect = [this](TNetConnection *connection) { netCustProdBeforeConnect(connection); };

    vNrListas = QVariantList{QVariant(), QVariant(), QVariant()};
}

void TfrmCustoPlanXReal::applyLookAndFeel()
{
    for (QWidget *widget : {static_cast<QWidget *>(m_ui->medCentral), static_cast<QWidget *>(m_ui->edtNmCentral),
                            static_cast<QWidget *>(m_ui->edtAgrupFili), static_cast<QWidget *>(m_ui->edtNmFilial),
                            static_cast<QWidget *>(m_ui->edtDataInic), static_cast<QWidget *>(m_ui->edtDataFina)})
        paintBackground(widget, QPalette::Button);
    for (QWidget *widget : {static_cast<QWidget *>(m_ui->medCdFilial), static_cast<QWidget *>(m_ui->depDataInic),
                            static_cast<QWidget *>(m_ui->depDataFina)})
        paintBackground(widget, QPalette::ToolTipBase);

    m_ui->rdgDiferenca->setItems({QStringLiteral("Per Capita"), QStringLiteral("Total")}, 2);
    m_ui->rdgDiferenca->setItemIndex(0);

    // Group captions are bold, their contents are not.
    for (QGroupBox *box : m_filterArea->findChildren<QGroupBox *>()) {
        QFont bold = box->font();
        bold.setBold(true);
        box->setFont(bold);
        for (QWidget *child : box->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            QFont plain = child->font();
            plain.setBold(false);
            child->setFont(plain);
        }
    }

    m_ui->medCentral->setMaxLength(wire::kBranchCodeWidth);
    m_ui->medCdFilial->setMaxLength(wire::kBranchCodeWidth);
    m_ui->btpCentral->setAssociate(m_ui->medCentral);
    m_ui->btpCentral->Title = QStringLiteral("Central de Merenda");
    m_ui->btpCentral->EmptyError = QStringLiteral("Não há Central de Merenda cadastrada.");
    m_ui->btnAgrupFili->setAssociate(m_ui->edtCdAgrupFili);
    m_ui->btnAgrupFili->Title = QStringLiteral("Agrupamento de Filiais");
    m_ui->btnAgrupFili->DataSource = dtsAgrupFili;
    m_ui->btnAgrupFili->EmptyError = QStringLiteral("Não há agrupamento de filiais cadastrado.");
    m_ui->btnFilial->setAssociate(m_ui->medCdFilial);
    m_ui->btnFilial->Title = QStringLiteral("Filial Agregada");
    m_ui->btnFilial->DataSource = dtsFiliAgreg;
    m_ui->btnFilial->EmptyError = QStringLiteral("Não há filial agregada cadastrada para essa central de merenda.");


    // The level changes by the arrows only.
    auto *levelText = m_ui->sedNiveOrde->findChild<QLineEdit *>();
    levelText->setReadOnly(true);
    levelText->setMaxLength(2);
    m_ui->cbbTipoCusto->clear();
}

void TfrmCustoPlanXReal::bindEvents()
{
    connect(m_ui->medCdFilial, &QLineEdit::textChanged, this, [this] { Dispatch([this] { m_branchFilters->medCdFilialChange(m_ui->medCdFilial); }); });
    connect(m_ui->edtCdAgrupFili, &QLineEdit::textChanged, this,
            [this] { Dispatch([this] { m_branchFilters->edtCdAgrupFiliChange(m_ui->edtCdAgrupFili); }); });
    BindExit(m_ui->medCdFilial, [this](QObject *sender) { m_branchFilters->medCdFilialExit(sender); });
    BindExit(m_ui->edtCdAgrupFili, [this](QObject *sender) { m_branchFilters->edtCdAgrupFiliExit(sender); });

    m_ui->btnFilial->OnBeforePesq = [this](QObject *sender, bool &proceed) { m_branchFilters->btnFilialBeforePesq(sender, proceed); };
    m_ui->btnFilial->OnAfterPesq = [this](QObject *sender) { m_branchFilters->btnFilialAfterPesq(sender); };
    m_ui->btnAgrupFili->OnBeforePesq = [this](QObject *sender, bool &proceed) { m_branchFilters->btnAgrupFiliBeforePesq(sender, proceed); };
    m_ui->btnAgrupFili->OnAfterPesq = [this](QObject *sender) { m_branchFilters->btnAgrupFiliAfterPesq(sender); };

    // The handlers are members of the part that owns the filter.
    auto selectionList = [this](QRadioButton *todos, QRadioButton *lista, QAbstractButton *search, TDataSource *source,
                                const char *titleKey, const char *emptyKey, auto *part, auto todosClick, auto listaClick,
                                auto searchClick, auto listaKeyDown) {
        return std::make_unique<SelectionList>(
            todos, lista, search, msgPadrao, context().interaction(),
            SelectionList::Dialog{source, QString::fromLatin1(titleKey), QString::fromLatin1(emptyKey)},
            SelectionList::Handlers{[part, todosClick](QObject *s) { (part->*todosClick)(s); },
                                    [part, listaClick](QObject *s) { (part->*listaClick)(s); },
                                    [part, searchClick](QObject *s) { (part->*searchClick)(s); },
                                    [part, listaKeyDown](QObject *s, int &k, Qt::KeyboardModifiers m) { (part->*listaKeyDown)(s, k, m); }});
    };
    m_filiAgregList = selectionList(m_ui->rbtTodaFiliAgreg, m_ui->rbtListaFiliAgreg, m_ui->sbtFiliAgreg, dtsFiliAgreg, "FILIAGREG",
                                    "FILIAGREG_N_CAD", m_branchFilters.get(), &BranchFilters::rbtTodaFiliAgregClick,
                                    &BranchFilters::rbtListaFiliAgregClick, &BranchFilters::sbtFiliAgregClick,
                                    &BranchFilters::rbtListaFiliAgregKeyDown);
    m_grupServList = selectionList(m_ui->rbtTodosGrup, m_ui->rbtListaGrup, m_ui->sbtGrupServ, dtsGrupServ__, "GRUPSERV", "Grup_cad", m_serviceFilters.get(),
                                   &ServiceFilters::rbtTodosGrupClick, &ServiceFilters::rbtListaGrupClick,
                                   &ServiceFilters::sbtGrupServClick, &ServiceFilters::rbtListaGrupKeyDown);
    m_servicoList = selectionList(m_ui->rbtTodosServ, m_ui->rbtListaServ, m_ui->sbtServico, dtsServico, "SERV", "Servico_NCad", m_serviceFilters.get(),
                                  &ServiceFilters::rbtTodosServClick, &ServiceFilters::rbtListaServClick,
                                  &ServiceFilters::sbtServicoClick, &ServiceFilters::rbtListaServKeyDown);
    m_tipoCardList = selectionList(m_ui->rbtTodosTipoCard, m_ui->rbtListaTipoCard, m_ui->sbtTipoCard, dtsTipoCard__, "TipoCard",
                                   "TPCARD_NCAD", m_serviceFilters.get(), &ServiceFilters::rbtTodosTipoCardClick,
                                   &ServiceFilters::rbtListaTipoCardClick, &ServiceFilters::sbtTipoCardClick,
                                   &ServiceFilters::rbtListaTipoCardKeyDown);

    m_ui->depDataInic->OnDateChange = [this](QObject *sender) { m_periodFilters->depDataInicDateChange(sender); };
    m_ui->depDataFina->OnDateChange = [this](QObject *sender) { m_periodFilters->depDataFinaDateChange(sender); };
    m_ui->depDataInic->OnExit = [this](QObject *sender) { m_periodFilters->depDataInicExit(sender); };
    m_ui->depDataFina->OnExit = [this](QObject *sender) { m_periodFilters->depDataInicExit(sender); };

    // F1 shows the screen's help topic; the host's table gives the page.
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::WidgetWithChildrenShortcut);
    connect(help, &QShortcut::activated, this, [this] {
        Dispatch([this] { context().interaction().showHelp({QString::fromLatin1(kHelpFile), kHelpContext}); });
    });

    m_savedFilters->addMenuEntries();

    rpddPadrao->BeforeGetQueryParams = [this](TParams &params, bool &handled) { m_reportPreparation->rpddPadraoBeforeGetQueryParams(params, handled); };
    rpddPadrao->QRPAfterPrint = [this] { m_reportPreparation->rpddPadraoQRPAfterPrint(); };
    rpddPadrao->QRPAfterPreview = [this] { m_reportPreparation->rpddPadraoQRPAfterPreview(); };
    rpddPadrao->GetReportRun = [this] { return m_reportPreparation->reportRun(); };
    rpddPadrao->ExplainEmpty = [this](const TParams &) { return m_reportPreparation->motivoRelatorioVazio(); };
    followPlainFields();
}

bool TfrmCustoPlanXReal::isSinglePage() const
{
    return m_value.singleBranchPage;
}
