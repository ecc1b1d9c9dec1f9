#pragma once

#include "host/data/params.h"
#include "host/services/dialogcontext.h"
#include "report/reportengine.h"
#include "report/reportlayout.h"
#include "host/services/reportlayoutedit.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <functional>

class QPrinter;
class QWidget;

namespace host {

class ReportDocument;

// Runs the layouts of one report code. Each output command, in this order:
//   Print:         printer choice (a cancel ends here, nothing raised) -> BeforeGetQueryParams
//                  -> output -> QRPAfterPrint
//   Preview:       BeforeGetQueryParams -> pages laid out -> preview window (until closed; its
//                  "Imprimir…" prints as Print does, without running the report again)
//                  -> QRPAfterPreview
//   SaveAs(file):  BeforeGetQueryParams -> PDF file (CSV when the name ends in .csv)
//                  -> QRPAfterPrint (saving is printing to a file)
//   SaveAsText:    BeforeGetQueryParams -> text file; no after-event
//   StandardReport: Preview of the standard layout (the one marked "standard", else the first)
//   EditReport:    asks a title and the columns (shown or not, order, labels) and saves a copy
//                  of the chosen layout with them, in the user's own report folder; runs nothing
//                  and raises nothing
// BeforeGetQueryParams receives the parameter list that the layout declares and `handled`
// false. Unless a handler sets `handled`, a declared parameter left without a value fails the
// run, naming it: a report on a missing filter would look right and be wrong.
// Once BeforeGetQueryParams has run, the after-event runs even when the output fails, so that
// what the handlers prepared is cleaned up; the output's failure is raised after it.
class TReportDesignerDialog : public QObject
{
    Q_OBJECT
public:
    // The form that owns the dialog passes its context; the default is for callers without one.
    explicit TReportDesignerDialog(QObject *parent = nullptr, DialogContext context = DialogContext::installed());

    QString ReportCode;
    QString ReportsDir; // empty: ReportsRoot() of the context's configured folder
    int ReportIndex = 0;
    QString NewReportCaption = QStringLiteral("Título do Relatório");
    QString NewReportPrompt = QStringLiteral("Informe o título do relatório:");

    std::function<void(TParams &params, bool &handled)> BeforeGetQueryParams;
    std::function<void()> QRPAfterPrint;
    std::function<void()> QRPAfterPreview;
    // What every output of a run carries about it besides the report code and title (the
    // screen's filters, say; report/reportrun.h); asked right after BeforeGetQueryParams.
    std::function<QJsonObject()> GetReportRun;
    // Why a run found nothing, asked only then (and only of rows the application server gave)
    // before the after-event cleans up what the run prepared; shown as a line before the
    // layout's "empty" text and as a notice. "" adds nothing.
    std::function<QString(const TParams &params)> ExplainEmpty;

    // The shipped layouts, then the user's own copies.
    QString ReportFolder() const;
    QString UserReportFolder() const;
    QList<ReportLayout> Layouts() const;
    // Why the user's copies that Layouts() leaves out could not be read.
    QStringList UnreadableUserLayouts() const;
    QStringList ReportTitles() const;

    void Print();
    void Preview();
    void SaveAs(const QString &fileName);
    void SaveAsText(const QString &fileName);
    void StandardReport();
    // The index of the new layout, or -1 when the user cancels.
    int EditReport();

    static QList<ReportLayout::Column> editedColumns(QList<ReportLayout::Column> columns,
                                                    const QList<ReportLayoutEdit::Column> &edited);

    // The parameters of the last run, as the handlers left them.
    const TParams &LastParams() const { return m_lastParams; }
    // Whether the last output command got its output out whole (printed, shown or written),
    // whatever its clean-up did after.
    bool LastOutputDone() const { return m_outputDone; }

    // The configured folder, else the program's layouts (host::LayoutsFolder()).
    static QString ReportsRoot(const QString &configured);

private:
    ReportLayout layoutAt(int index) const;
    ReportDocument run(const ReportLayout &layout);
    // The engine of a run: in the client the application server runs the queries of the
    // installed layout (the layout itself, or the one a user's copy was made from).
    ReportEngine engineFor(const ReportLayout &layout) const;
    // Whether the application server answers the layout's queries (else a local database).
    bool rowsFromServer(const ReportLayout &layout) const;
    // The installed layout a user's copy was made from; the layout itself when installed.
    ReportLayout installedLayoutOf(const ReportLayout &layout) const;
    void preview(const ReportLayout &layout);
    void finish(const std::function<void()> &output, const std::function<void()> &after) const;
    // Paints the pages with the busy panel up over `window` (none: the main window), "Página N de
    // M…" as its stage; a cancel stops between pages.
    void printWithPanel(const ReportDocument &document, QPrinter &printer, QWidget *window = nullptr) const;
    // The printer dialog for the report `title`; false when the user cancels it.
    bool choosePrinter(QPrinter &printer, const QString &title) const;

    DialogContext m_context;
    TParams m_lastParams;
    mutable bool m_outputDone = false;
};

} // namespace host
