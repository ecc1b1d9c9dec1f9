#pragma once

#include "host/services/userinteraction.h"

#include <QString>
#include <cstdio>

namespace host {

// The user interaction of a run without a window (the client's batch mode): messages go to
// standard error, the save and printer questions are answered with the output file (the
// printer prints a PDF into it), and anything else that needs a person is refused, with a
// message, as a cancel.
class BatchInteraction : public UserInteraction
{
public:
    explicit BatchInteraction(const QString &outputFile, std::FILE *messages = stderr);

    void showError(const QString &text) override;
    void showInformation(const QString &text) override;
    void showNotice(const QString &text) override;
    std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) override;
    std::optional<int> chooseRow(const SingleChoiceRequest &request) override;
    std::optional<QList<bool>> chooseMarks(const MultiChoiceRequest &request) override;
    std::optional<QString> chooseSaveFile(const QString &title, const QString &suggestedPath,
                                          const QString &filter) override;
    std::optional<QString> chooseOpenFile(const QString &title, const QString &folder, const QString &filter) override;
    // Says nothing: the batch's caller named the file.
    void showSaved(const QString &) override {}
    bool choosePrinter(QPrinter &printer, const QString &documentName) override;
    void showPreview(const QString &title, PreviewPages &pages) override;
    std::optional<ReportLayoutEdit> editReportLayout(const QString &caption, const QString &prompt,
                                                     const ReportLayoutEdit &initial) override;
    // Nobody reads a help window here: names the page to open elsewhere.
    void showHelp(const HelpTopic &topic) override;

    int errorCount() const { return m_errors; }

private:
    void write(const QString &prefix, const QString &text);
    void refuse(const QString &what);

    QString m_output;
    std::FILE *m_messages;
    int m_errors = 0;
};

} // namespace host
