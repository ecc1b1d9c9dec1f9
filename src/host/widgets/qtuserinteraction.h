#pragma once

#include "host/services/userinteraction.h"

class QWidget;

namespace host {

// The user interaction of the desktop client: message boxes and dialogs over the active window.
class QtUserInteraction : public UserInteraction
{
public:
    void showError(const QString &text) override;
    void showInformation(const QString &text) override;
    void showNotice(const QString &text) override;
    std::optional<QString> askText(const QString &title, const QString &prompt, const QString &initial) override;
    std::optional<int> chooseRow(const SingleChoiceRequest &request) override;
    std::optional<QList<bool>> chooseMarks(const MultiChoiceRequest &request) override;
    std::optional<QString> chooseOpenFile(const QString &title, const QString &folder, const QString &filter) override;
    void showSaved(const QString &path) override;
    std::optional<QString> chooseSaveFile(const QString &title, const QString &suggestedPath,
                                          const QString &filter) override;
    bool choosePrinter(QPrinter &printer, const QString &documentName) override;
    void showPreview(const QString &title, PreviewPages &pages) override;
    std::optional<ReportLayoutEdit> editReportLayout(const QString &caption, const QString &prompt,
                                                     const ReportLayoutEdit &initial) override;
    void showHelp(const HelpTopic &topic) override;

private:
    static QWidget *dialogParent();
};

} // namespace host
