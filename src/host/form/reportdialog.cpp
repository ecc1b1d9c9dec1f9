#include "host/form/reportdialog.h"

#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/services/previewpages.h"
#include "host/services/programfolders.h"
#include "host/services/session.h"
#include "host/services/userinteraction.h"
#include "host/widgets/busyindicator.h"
#include "report/reportdocument.h"
#include "report/reportengine.h"
#include "report/reportprintout.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <optional>

namespace host {

static const QString kPreparingStage = QStringLiteral("Preparando os dados…");

namespace {

// A run's pages for the preview window, laid out on the page of the print command's printer (so
// they are the pages it prints) and painted one at a time as the window shows them.
class DocumentPages : public PreviewPages
{
public:
    DocumentPages(const ReportDocument &document, std::function<void(QWidget *)> print)
        : m_printout(document), m_print(std::move(print))
    {
    }
    void paginate() { m_printout.paginate(m_printer.pageLayout(), m_printer.resolution(), m_printer); }
    int pageCount() const override { return m_printout.pageCount(); }
    QSizeF pageSize() const override { return m_printout.pageLayout().fullRect(QPageLayout::Point).size(); }
    QImage pageImage(int index, const QSize &size) const override { return m_printout.pageImage(index, size); }
    void print(QWidget *window) override { m_print(window); }

private:
    QPrinter m_printer{QPrinter::HighResolution};
    ReportPrintout m_printout;
    std::function<void(QWidget *)> m_print;
};

} // namespace

TReportDesignerDialog::TReportDesignerDialog(QObject *parent, DialogContext context)
    : QObject(parent), m_context(std::move(context))
{
}

QString TReportDesignerDialog::ReportsRoot(const QString &configured)
{
    return configured.isEmpty() ? LayoutsFolder() : configured;
}

QString TReportDesignerDialog::ReportFolder() const
{
    return QDir(ReportsDir.isEmpty() ? ReportsRoot(m_context.reportsDir()) : ReportsDir).filePath(ReportCode);
}

QString TReportDesignerDialog::UserReportFolder() const
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("reports/") + ReportCode);
}

QList<ReportLayout> TReportDesignerDialog::Layouts() const
{
    // A damaged copy of the user's must not take the shipped layouts, and the screen, with it.
    QStringList ignored;
    return ReportLayout::loadFolder(ReportFolder()) + ReportLayout::loadFolder(UserReportFolder(), &ignored);
}

QStringList TReportDesignerDialog::UnreadableUserLayouts() const
{
    QStringList unreadable;
    ReportLayout::loadFolder(UserReportFolder(), &unreadable);
    return unreadable;
}

QStringList TReportDesignerDialog::ReportTitles() const
{
    QStringList titles;
    for (const ReportLayout &layout : Layouts())
        titles.append(layout.title);
    return titles;
}

ReportLayout TReportDesignerDialog::layoutAt(int index) const
{
    const QList<ReportLayout> layouts = Layouts();
    if (index < 0 || index >= layouts.size())
        throw HostError(QStringLiteral("Não há layout de número %1 para o relatório %2 em \"%3\".")
                            .arg(index).arg(ReportCode, QDir::toNativeSeparators(ReportFolder())));
    return layouts[index];
}

ReportDocument TReportDesignerDialog::run(const ReportLayout &layout)
{
    BusyWork work(m_context.mainWindow, kPreparingStage);
    m_lastParams = layout.declaredParams();
    bool handled = false;
    if (BeforeGetQueryParams)
        BeforeGetQueryParams(m_lastParams, handled);
    const QJsonObject runInfo = GetReportRun ? GetReportRun() : QJsonObject();
    setWorkStage(QStringLiteral("Montando o relatório…"));
    if (!handled) {
        QStringList missing;
        for (const TParam &param : m_lastParams.items()) {
            if (param.IsNull())
                missing.append(param.Name);
        }
        if (!missing.isEmpty())
            throw HostError(QStringLiteral("O relatório \"%1\" ficou com parâmetros sem valor: %2.")
                                .arg(layout.title, missing.join(QStringLiteral(", "))));
    }
    ReportDocument document = engineFor(layout).build(ReportCode, layout, m_lastParams);
    document.setRun(runInfo);
    // Only the server's data can say why the server's rows were none.
    QString emptyReason;
    if (ExplainEmpty && document.isEmptyReport() && rowsFromServer(layout)) {
        emptyReason = ExplainEmpty(m_lastParams);
        if (!emptyReason.isEmpty())
            document.explainEmpty(emptyReason);
    }
    // Who ran the report heads its filter lines (a report without lines of its own lists its
    // parameters instead, and keeps doing so).
    QList<ReportDocument::HeaderLine> lines = document.headerLines();
    if (m_context.session && !m_context.session->operador().isEmpty() && !lines.isEmpty()) {
        const ClientConfig &config = m_context.session->config();
        lines.prepend({QStringLiteral("Operador"), config.operatorName.isEmpty() ? config.operatorCode
                                                                                 : QStringLiteral("%1 - %2").arg(config.operatorCode, config.operatorName)});
        document.setHeaderLines(lines);
    }
    // Told before the output, never in its way: a batch run writes it on stderr and goes on.
    QStringList notices = document.noticeTexts();
    if (!emptyReason.isEmpty())
        notices.append(emptyReason);
    if (!notices.isEmpty())
        m_context.interaction().showNotice(notices.join(QLatin1Char('\n')));
    return document;
}

ReportLayout TReportDesignerDialog::installedLayoutOf(const ReportLayout &layout) const
{
    const QDir installedFolder(ReportFolder());
    if (QFileInfo(layout.fileName).absoluteDir() == QDir(installedFolder.absolutePath()))
        return layout;
    const QList<ReportLayout> installed = ReportLayout::loadFolder(ReportFolder());
    const auto byFile = [&](const QString &file) {
        return std::find_if(installed.begin(), installed.end(), [&](const ReportLayout &l) { return QFileInfo(l.fileName).fileName() == file; });
    };
    auto found = layout.origin.isEmpty() ? installed.end() : byFile(layout.origin);
    // A copy made before copies named their origin: the installed layout with the same body query.
    if (found == installed.end() && layout.origin.isEmpty() && layout.detailQuery()) {
        found = std::find_if(installed.begin(), installed.end(), [&](const ReportLayout &l) {
            return l.detailQuery() && l.detailQuery()->sql == layout.detailQuery()->sql;
        });
    }
    if (found == installed.end())
        throw HostError(QStringLiteral("O layout \"%1\" é uma cópia de um relatório que não está instalado (%2); apague a cópia "
                                       "e faça outra a partir de um layout padrão.")
                            .arg(layout.title, layout.origin.isEmpty() ? QStringLiteral("origem desconhecida") : layout.origin));
    return *found;
}

bool TReportDesignerDialog::rowsFromServer(const ReportLayout &layout) const
{
    return !layout.queries.isEmpty() && m_context.generalDatabase().server();
}

ReportEngine TReportDesignerDialog::engineFor(const ReportLayout &layout) const
{
    TdtmDBGeral &data = m_context.generalDatabase();
    GeneralDataSource *server = data.server();
    if (!rowsFromServer(layout))
        return ReportEngine(layout.queries.isEmpty() ? QSqlDatabase() : data.adcGeral(), m_context.productCodePicture());
    const ReportLayout installed = installedLayoutOf(layout);
    bool ownQueries = false;
    for (const ReportLayout::Query &query : layout.queries) {
        const ReportLayout::Query *theirs = installed.query(query.name);
        ownQueries = ownQueries || !theirs || theirs->sql != query.sql;
    }
    // Said once a session per copy: its titles and columns apply, its SQL never runs.
    static QSet<QString> told;
    if (ownQueries && !told.contains(layout.fileName)) {
        told.insert(layout.fileName);
        m_context.interaction().showNotice(QStringLiteral("O layout \"%1\" traz consultas próprias, que não são usadas: os dados vêm das "
                                                          "consultas do layout instalado \"%2\", executadas pelo servidor de aplicação.")
                                               .arg(layout.title, installed.title));
    }
    return ReportEngine(ReportEngine::fromServer(*server, ReportCode, installed), m_context.productCodePicture());
}

// The text a host failure shows; empty for an abort (already told) or a failure of another kind.
static QString textOf(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const AbortError &) {
    } catch (const HostError &error) {
        return error.text();
    } catch (...) {
    }
    return {};
}

void TReportDesignerDialog::finish(const std::function<void()> &output, const std::function<void()> &after) const
{
    std::exception_ptr failure;
    m_outputDone = false;
    try {
        output();
        m_outputDone = true;
    } catch (...) {
        failure = std::current_exception();
    }
    // What the output left on the server goes even when the user cancelled it.
    CancelShield shield;
    if (after) {
        if (failure) {
            // The output's failure would be lost if the clean-up fails too; show it first. A server
            // gone mid-report fails both alike: one message says it.
            try {
                after();
            } catch (...) {
                const QString shown = textOf(failure);
                if (shown.isEmpty())
                    throw;
                m_context.interaction().showError(shown);
                if (shown == textOf(std::current_exception()))
                    throw AbortError();
                throw;
            }
        } else {
            after();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TReportDesignerDialog::printWithPanel(const ReportDocument &document, QPrinter &printer, QWidget *window) const
{
    BusyWork work(window ? window : m_context.mainWindow, QStringLiteral("Imprimindo…"));
    document.print(printer);
}

bool TReportDesignerDialog::choosePrinter(QPrinter &printer, const QString &title) const
{
    printer.setDocName(title);
    return m_context.interaction().choosePrinter(printer, title);
}

void TReportDesignerDialog::Print()
{
    const ReportLayout layout = layoutAt(ReportIndex);
    QPrinter printer(QPrinter::HighResolution);
    if (!choosePrinter(printer, layout.title))
        return;
    finish([&] { printWithPanel(run(layout), printer); }, QRPAfterPrint);
}

void TReportDesignerDialog::preview(const ReportLayout &layout)
{
    finish([&] {
        std::optional<ReportDocument> document;
        std::optional<DocumentPages> pages;
        {
            // One panel from the data to the last page laid out; the window opens without it.
            BusyWork work(m_context.mainWindow, kPreparingStage);
            document.emplace(run(layout));
            setWorkStage(QStringLiteral("Paginando o relatório…"));
            pages.emplace(*document, [&](QWidget *window) {
                QPrinter printer(QPrinter::HighResolution);
                if (choosePrinter(printer, layout.title))
                    printWithPanel(*document, printer, window);
            });
            pages->paginate();
        }
        m_context.interaction().showPreview(layout.title, *pages);
    }, QRPAfterPreview);
}

void TReportDesignerDialog::Preview()
{
    preview(layoutAt(ReportIndex));
}

void TReportDesignerDialog::StandardReport()
{
    const QList<ReportLayout> layouts = ReportLayout::loadFolder(ReportFolder());
    if (layouts.isEmpty())
        throw HostError(QStringLiteral("Não há layout padrão para o relatório %1 em \"%2\".")
                            .arg(ReportCode, QDir::toNativeSeparators(ReportFolder())));
    const auto standard = std::find_if(layouts.begin(), layouts.end(), [](const ReportLayout &l) { return l.standard; });
    preview(standard == layouts.end() ? layouts.first() : *standard);
}

void TReportDesignerDialog::SaveAs(const QString &fileName)
{
    const ReportLayout layout = layoutAt(ReportIndex);
    finish([&] {
        const ReportDocument document = run(layout);
        const QString suffix = QFileInfo(fileName).suffix();
        if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0) {
            document.writeCsv(fileName);
            return;
        }
        if (suffix.compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0) {
            document.writeXlsx(fileName);
            return;
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(fileName);
        printer.setDocName(layout.title);
        printWithPanel(document, printer); // a cancelled PDF is removed where it is written
    }, QRPAfterPrint);
}

void TReportDesignerDialog::SaveAsText(const QString &fileName)
{
    const ReportLayout layout = layoutAt(ReportIndex);
    m_outputDone = false;
    run(layout).writeText(fileName);
    m_outputDone = true;
}

// The layout's columns in the edited order, with the edited labels and visibility; a column
// the edit does not name keeps its place at the end, so no field is ever lost from the copy.
QList<ReportLayout::Column> TReportDesignerDialog::editedColumns(QList<ReportLayout::Column> columns,
                                                                 const QList<ReportLayoutEdit::Column> &edited)
{
    QList<ReportLayout::Column> result;
    for (const ReportLayoutEdit::Column &change : edited) {
        const auto found = std::find_if(columns.begin(), columns.end(), [&](const ReportLayout::Column &c) { return c.field == change.field; });
        if (found == columns.end())
            continue;
        ReportLayout::Column column = *found;
        columns.erase(found);
        column.label = change.label.trimmed().isEmpty() ? column.label : change.label.trimmed();
        column.visible = change.visible;
        result.append(column);
    }
    return result + columns;
}

int TReportDesignerDialog::EditReport()
{
    ReportLayout layout = layoutAt(ReportIndex);
    ReportLayoutEdit initial{layout.title, {}};
    for (const ReportLayout::Column &column : layout.columns)
        initial.columns.append({column.field, column.label, column.visible});
    const std::optional<ReportLayoutEdit> edit = m_context.interaction().editReportLayout(NewReportCaption, NewReportPrompt, initial);
    if (!edit)
        return -1;
    if (edit->title.trimmed().isEmpty())
        throw HostError(QStringLiteral("O título do relatório deve ser informado."));
    // The copy names the installed layout whose queries the server runs for it.
    layout.origin = QFileInfo(installedLayoutOf(layout).fileName).fileName();
    layout.title = edit->title.trimmed();
    layout.standard = false;
    layout.columns = editedColumns(layout.columns, edit->columns);
    QString base = layout.title.normalized(QString::NormalizationForm_D).toLower();
    base.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    base = base.section(QLatin1Char('-'), 0, -1, QString::SectionSkipEmpty);
    if (base.isEmpty())
        base = QStringLiteral("relatorio");
    const QDir folder(UserReportFolder());
    QString path = folder.filePath(base + QStringLiteral(".json"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(QStringLiteral("%1-%2.json").arg(base).arg(n));
    layout.save(path);
    const QList<ReportLayout> layouts = Layouts();
    for (int i = 0; i < layouts.size(); ++i) {
        if (QFileInfo(layouts[i].fileName) == QFileInfo(path))
            return i;
    }
    return -1;
}

} // namespace host
