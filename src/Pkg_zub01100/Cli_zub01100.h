#pragma once

// The screen unit of module PKG_ZUB01100: the planned-versus-actual cost report screen
// "Custo Planejado X Realizado" and its exported entry points. Its filters are one value it owns.
// The class's methods live in screen/ (instance, layout, start-up), filters/ (one source per
// filter group) and report/ (parameters, output commands and clean-up).

#include "filters/branchfilters.h"
#include "filters/filterrules.h"
#include "filters/filtertransitions.h"
#include "filters/periodfilters.h"
#include "filters/savedfilters.h"
#include "filters/selectionlist.h"
#include "filters/servicefilters.h"
#include "host/data/adoibquery.h"
#include "host/data/dataset.h"
#include "host/data/params.h"
#include "host/form/dadosgerrel.h"
#include "host/network/netconnection.h"
#include "report/reportpreparation.h"
#include "wire/datapacket.h"
#include "zub01100export.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

namespace Ui {
class CustoPlanXRealFiltros;
}


class ZUB01100_EXPORT TfrmCustoPlanXReal : public host::TfrmDadosGerRel
{
    Q_OBJECT
public:
    explicit TfrmCustoPlanXReal(QWidget *owner = nullptr);
    ~TfrmCustoPlanXReal() override;

    // The filter widgets (screen/custoplanxreal.ui), for tests that act as a user would.
    Ui::CustoPlanXRealFiltros &widgets() const { return *m_ui; }

    // Lookup queries on the general database, with their data sources.
    host::TADOIBQuery *qryFilial;
    host::TADOIBQuery *qryGrupServ;
    host::TADOIBQuery *qryTipoCard;
    host::TDataSource *dtsGrupServ__;
    host::TDataSource *dtsTipoCard__;

    // Data sets loaded from the application server's answers.
    host::TClientDataSet *cdsAgrupFili;
    host::TClientDataSet *cdsFiliAgreg;
    host::TClientDataSet *cdsServico;
    host::TDataSource *dtsAgrupFili;
    host::TDataSource *dtsFiliAgreg;
    host::TDataSource *dtsServico;
    host::TField *cdsFiliAgregIDMARCADO;
    host::TField *cdsServicoCDFILIAL;

    host::TNetConnection *netCustoPlanXReal;
    host::TNetConnection *netCustProd;

    // Instance state; the filters themselves are the screen's filter value.
    bool boPrimAtiv = false;
    QVariant vNrListas;

    static constexpr int kHelpContext = 10701100;
    static const char *const kHelpFile;

    // Creation, activation and closing.
    void FormCreate(QObject *sender) override;
    void FormActivate(QObject *sender) override;
    void FormClose(QObject *sender, host::TCloseAction &action) override;
    void cbbReportNamesDropDown(QObject *sender) override;
    void cbbReportNamesEnter(QObject *sender) override;
    void netCustoPlanXRealBeforeConnect(QObject *sender);
    void netCustProdBeforeConnect(QObject *sender);

    // The screen's parts, each a concern of its own.
    BranchFilters &branchFilters() const { return *m_branchFilters; }
    ServiceFilters &serviceFilters() const { return *m_serviceFilters; }
    PeriodFilters &periodFilters() const { return *m_periodFilters; }
    SavedFilters &savedFilters() const { return *m_savedFilters; }
    ReportPreparation &reportPreparation() const { return *m_reportPreparation; }

    // Period, product type and cost type.

    // Report run.
    void sbtPrintClick(QObject *sender) override;
    void sbtPreviewClick(QObject *sender) override;
    void sbtSalvarComoClick(QObject *sender) override;
    void mnuEditRelClick(QObject *sender) override;
    void mnuRelatPadrClick(QObject *sender) override;
    void mnuSalvarTextoClick(QObject *sender) override;

    // Every output carries its run; "Abrir filtros de um relatório…" brings a file's filters back.
    QAction *mnuAbrirFiltrosRel = nullptr;

    // The filters; the widgets show this value, and a user's change replaces it through a
    // transition of filters/filtertransitions.h. The rules of filters/filterrules.h compute from it.
    const zub01100::FilterValue &filterValue() const { return m_value; }
    // Replaces the value as it is, no rule applied, and shows it.
    void setFilterValue(const zub01100::FilterValue &value);
    // The filters as JSON, for scheduled runs and saved choices (keys in filters/filtervalue.h).
    QJsonObject filterState() const;
    // Sets the filters as a user would, in the order of the screen; raises HostError naming a
    // key or value it cannot take. Checks that need the server run as they do on leaving a field.
    // A "periodo" is resolved on today's date; what the user should know about it is shown.
    void applyFilterState(const QJsonObject &state);
    // What a code no longer on file does: fails the command naming it (files of scheduled runs),
    // or is left out with one message naming all such codes (saved filters, made when they were).
    enum class MissingCodes { Refuse, Drop };
    // `notes` are told with what applying adds to them, in one message.
    void applyFilterState(const QJsonObject &state, MissingCodes missing, QStringList notes = {});

    // Saved filters on the server, per operator (filters/filtrosalvo.cpp).
    QAction *mnuSalvarFiltros = nullptr;
    QAction *mnuAbrirFiltros = nullptr;
    QAction *mnuApagarFiltros = nullptr;

private:
    void createComponents();
    void bindEvents();
    void applyLookAndFeel();
    // A "Todos"/"Lista" filter as a JSON value sets it: the codes on file its search offers, and
    // where they are and which list it is, as a message names them; by JSON key.
    struct ListSource {
        zub01100::Selection which;
        std::function<QStringList()> codesOnFile;
        std::function<QString()> where;
        QString label;
    };
    QHash<QString, ListSource> listSources();
    // What a JSON value may choose among on this screen; the school years only for `period`'s rule.
    zub01100::FilterOptions filterOptions(const std::optional<zub01100::RelativePeriod> &period);
    // The value after a user's change, shown; a change the showing itself sets off is no new one.
    void apply(const zub01100::FilterValue &next);
    void showFilterValue();
    // Widgets whose change is their field's, with no rule: the value follows them.
    void followPlainFields();
    SelectionList &selectionList(zub01100::Selection which) const;
    // The selection list's dialog over `which`; a confirmed choice replaces its marks.
    void searchMarks(zub01100::Selection which, const QString &keyField);
    bool isSinglePage() const;
    QWidget *fieldWidget(zub01100::FilterField field) const;
    // Shows a failed check's message with the focus on its field and ends the command; a passed
    // check does nothing.
    void refuseFailedCheck(const zub01100::CheckResult &check);

    friend class BranchFilters;
    friend class ServiceFilters;
    friend class SavedFilters;
    friend class PeriodFilters;
    friend class ReportPreparation;
    std::unique_ptr<Ui::CustoPlanXRealFiltros> m_ui;
    std::unique_ptr<BranchFilters> m_branchFilters;
    std::unique_ptr<ServiceFilters> m_serviceFilters;
    std::unique_ptr<SavedFilters> m_savedFilters;
    std::unique_ptr<PeriodFilters> m_periodFilters;
    std::unique_ptr<ReportPreparation> m_reportPreparation;
    QWidget *m_filterArea = nullptr;
    zub01100::FilterValue m_value;
    bool m_showing = false;
    std::unique_ptr<SelectionList> m_filiAgregList;
    std::unique_ptr<SelectionList> m_grupServList;
    std::unique_ptr<SelectionList> m_servicoList;
    std::unique_ptr<SelectionList> m_tipoCardList;
};

extern "C" {
ZUB01100_EXPORT extern TfrmCustoPlanXReal *frmCustoPlanXReal;
ZUB01100_EXPORT extern bool boIdCriado;
ZUB01100_EXPORT void IniProc();
ZUB01100_EXPORT void CriaCustoPlanXReal();
// Runs the screen without a window: applies the filters (a JSON object, UTF-8) and runs the
// command "imprimir", "salvar" or "texto"; the host's user interaction gives the output file and
// reports the messages. Answers 0 on success, 1 when a check or the report failed, 2 when the
// screen could not start or the filters could not be applied.
ZUB01100_EXPORT int ExecutaLote(const char *filtersJson, const char *command);
// ExecutaLote over the operator's saved filter `savedFilter` (its own, else the one shared under
// that name), `filtersJson` laid over it. A saved filter not found answers 1; its codes no
// longer on file are left out with a message.
ZUB01100_EXPORT int ExecutaLoteFiltroSalvo(const char *savedFilter, const char *filtersJson, const char *command);
// The filter keys ExecutaLote reads, as a JSON array (UTF-8) of {"chave", "tipo" ("texto",
// "numero", "logico" or "codigos"), "valores", "campo"}: how the client reads --filter chave=valor
// and what its --help lists.
ZUB01100_EXPORT const char *ChavesFiltroLote();
}
