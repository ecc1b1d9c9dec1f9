#include "host/services/userinteraction.h"

#include <QPrinter>

namespace host {

template <typename T>
static std::optional<T> takeAnswer(QList<std::optional<T>> &answers)
{
    if (answers.isEmpty())
        return std::nullopt;
    return answers.takeFirst();
}

void ScriptedInteraction::showError(const QString &text)
{
    errors.append(text);
    log.append(QStringLiteral("error:") + text);
    if (whileErrorShown)
        whileErrorShown(text);
}

void ScriptedInteraction::showInformation(const QString &text)
{
    informations.append(text);
    log.append(QStringLiteral("information:") + text);
}

void ScriptedInteraction::showNotice(const QString &text)
{
    notices.append(text);
    log.append(QStringLiteral("notice:") + text);
}

void ScriptedInteraction::showSaved(const QString &path)
{
    savedFiles.append(path);
    log.append(QStringLiteral("saved:") + path);
}

std::optional<QString> ScriptedInteraction::askText(const QString &title, const QString &prompt, const QString &)
{
    questions.append(title + QLatin1Char('|') + prompt);
    log.append(QStringLiteral("text:") + title);
    return takeAnswer(textAnswers);
}

std::optional<int> ScriptedInteraction::chooseRow(const SingleChoiceRequest &request)
{
    rowRequests.append(request);
    log.append(QStringLiteral("rows:") + request.table.title);
    const std::optional<QString> key = takeAnswer(rowAnswers);
    if (!key)
        return std::nullopt;
    for (int row = 0; row < request.table.rows.size(); ++row) {
        if (request.table.rows[row].contains(*key))
            return row;
    }
    return std::nullopt;
}

std::optional<QList<bool>> ScriptedInteraction::chooseMarks(const MultiChoiceRequest &request)
{
    markRequests.append(request);
    log.append(QStringLiteral("marks:") + request.table.title);
    const std::optional<QStringList> keys = takeAnswer(markAnswers);
    if (!keys)
        return std::nullopt;
    QList<bool> marks;
    for (const QString &key : request.keys)
        marks.append(keys->contains(key));
    return marks;
}

std::optional<QString> ScriptedInteraction::chooseSaveFile(const QString &title, const QString &suggestedPath,
                                                           const QString &filter)
{
    saveRequests.append(title + QLatin1Char('|') + suggestedPath + QLatin1Char('|') + filter);
    log.append(QStringLiteral("save:") + title);
    return takeAnswer(saveAnswers);
}

std::optional<QString> ScriptedInteraction::chooseOpenFile(const QString &title, const QString &folder, const QString &filter)
{
    openRequests.append(title + QLatin1Char('|') + folder + QLatin1Char('|') + filter);
    log.append(QStringLiteral("open:") + title);
    return takeAnswer(openAnswers);
}

bool ScriptedInteraction::choosePrinter(QPrinter &printer, const QString &documentName)
{
    printRequests.append(documentName);
    log.append(QStringLiteral("print:") + documentName);
    const std::optional<PrintTarget> target = takeAnswer(printAnswers);
    if (!target)
        return false;
    if (!target->pdfFile.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target->pdfFile);
    } else {
        printer.setPrinterName(target->printerName);
    }
    return true;
}

void ScriptedInteraction::showPreview(const QString &title, PreviewPages &pages)
{
    previews.append(title);
    previewPageCounts.append(pages.pageCount());
    log.append(QStringLiteral("preview:") + title);
    if (pages.pageCount() > 0)
        pages.pageImage(0, (pages.pageSize() * 96 / 72).toSize());
    if (printFromPreview)
        pages.print(nullptr);
}

std::optional<ReportLayoutEdit> ScriptedInteraction::editReportLayout(const QString &caption, const QString &prompt,
                                                                       const ReportLayoutEdit &initial)
{
    const std::optional<QString> title = askText(caption, prompt, initial.title);
    if (!title)
        return std::nullopt;
    ReportLayoutEdit edited{*title, initial.columns};
    if (!columnAnswers.isEmpty())
        edited.columns = columnAnswers.takeFirst();
    return edited;
}

void ScriptedInteraction::showHelp(const HelpTopic &topic)
{
    const QString request = topic.file + QLatin1Char('|') + QString::number(topic.context);
    helpRequests.append(request);
    log.append(QStringLiteral("help:") + request);
}

} // namespace host
