#pragma once

#include "host/services/choicerequest.h"
#include "host/services/helptopics.h"
#include "host/services/previewpages.h"
#include "host/services/reportlayoutedit.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QPrinter;

namespace host {

// Everything the user is asked or told goes through here, so tests can script the answers.
class UserInteraction
{
public:
    virtual ~UserInteraction() = default;

    virtual void showError(const QString &text) = 0;
    virtual void showInformation(const QString &text) = 0;
    // A warning the user reads without having to answer it: the work goes on while it is shown.
    virtual void showNotice(const QString &text) = 0;
    // A line of text, or nothing when the user cancels.
    virtual std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) = 0;
    // The index of the chosen row, or nothing when the user cancels.
    virtual std::optional<int> chooseRow(const SingleChoiceRequest &request) = 0;
    // The marks per row when the user confirms, or nothing when the user cancels.
    virtual std::optional<QList<bool>> chooseMarks(const MultiChoiceRequest &request) = 0;
    // A file to write, or nothing when the user cancels. `filter` as in "PDF (*.pdf)".
    virtual std::optional<QString> chooseSaveFile(const QString &title, const QString &suggestedPath,
                                                  const QString &filter) = 0;
    // An existing file to read, or nothing when the user cancels; `folder` is where the dialog opens.
    virtual std::optional<QString> chooseOpenFile(const QString &title, const QString &folder, const QString &filter) = 0;
    // Tells where a report was saved, with ways to open the file or its folder; the work goes
    // on while it is shown.
    virtual void showSaved(const QString &path) = 0;
    // Sets the printer up for a print job; false when the user cancels.
    virtual bool choosePrinter(QPrinter &printer, const QString &documentName) = 0;
    // Shows the pages in a preview window until the user closes it.
    virtual void showPreview(const QString &title, PreviewPages &pages) = 0;
    // The title and columns of a layout copy as the user leaves them, or nothing on cancel.
    // `caption` titles the dialog; `prompt` asks for the report's title.
    virtual std::optional<ReportLayoutEdit> editReportLayout(const QString &caption, const QString &prompt,
                                                             const ReportLayoutEdit &initial) = 0;
    // Shows the help page of `topic` beside the work, without waiting.
    virtual void showHelp(const HelpTopic &topic) = 0;
};

// Records what was shown and answers from a script; an unscripted question counts as a cancel.
class ScriptedInteraction : public UserInteraction
{
public:
    void showError(const QString &text) override;
    void showInformation(const QString &text) override;
    void showNotice(const QString &text) override;
    std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) override;
    // Answers with the first row that has a cell equal to the scripted text.
    std::optional<int> chooseRow(const SingleChoiceRequest &request) override;
    // Marks exactly the rows whose keys are scripted.
    std::optional<QList<bool>> chooseMarks(const MultiChoiceRequest &request) override;
    std::optional<QString> chooseSaveFile(const QString &title, const QString &suggestedPath,
                                          const QString &filter) override;
    std::optional<QString> chooseOpenFile(const QString &title, const QString &folder, const QString &filter) override;
    void showSaved(const QString &path) override;
    // Prints into the scripted target's PDF file.
    bool choosePrinter(QPrinter &printer, const QString &documentName) override;
    // Records the title and the page count, paints the first page as the window would, and
    // prints from the preview when `printFromPreview` says so.
    void showPreview(const QString &title, PreviewPages &pages) override;
    // Asks the title as askText does (recorded in `questions`, answered from `textAnswers`);
    // the columns come from `columnAnswers`, unchanged when none is scripted.
    std::optional<ReportLayoutEdit> editReportLayout(const QString &caption, const QString &prompt,
                                                     const ReportLayoutEdit &initial) override;
    void showHelp(const HelpTopic &topic) override;

    // What was shown, in order.
    QStringList errors;
    QStringList informations;
    QStringList notices;
    QStringList questions;
    QList<SingleChoiceRequest> rowRequests;
    QList<MultiChoiceRequest> markRequests;
    QStringList saveRequests;  // "title|suggested path|filter"
    QStringList openRequests;  // "title|folder|filter"
    QStringList savedFiles;    // what showSaved named
    QStringList printRequests; // document names
    QStringList previews;      // titles
    QList<int> previewPageCounts;
    QStringList helpRequests;  // "file|context"
    // Every event in one list ("error:...", "notice:...", "rows:title", "marks:title", "save:title", "open:title", "saved:path",
    // "print:...", "preview:title", "text:title", "help:file|context"), for order checks across kinds.
    QStringList log;

    // Runs while an error is on screen, as a modal message box would; tests move the focus or the
    // window activation here the way the window system does around a real box.
    std::function<void(const QString &)> whileErrorShown;

    // Answers, taken from the front. A missing answer or std::nullopt cancels.
    QList<std::optional<QString>> textAnswers;
    QList<std::optional<QString>> rowAnswers;
    QList<std::optional<QStringList>> markAnswers;
    QList<std::optional<QString>> saveAnswers;
    QList<std::optional<QString>> openAnswers;
    QList<std::optional<PrintTarget>> printAnswers;
    // Presses "Imprimir…" in each preview shown (the printer answered from `printAnswers`).
    bool printFromPreview = false;
    QList<QList<ReportLayoutEdit::Column>> columnAnswers;
};

} // namespace host
