#include "host/widgets/qtuserinteraction.h"

#include "host/widgets/helpwindow.h"
#include "host/widgets/lookupdialog.h"
#include "host/widgets/multiselectdialog.h"
#include "host/widgets/reportcolumnsdialog.h"
#include "host/widgets/reportpreviewdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

namespace host {

QWidget *QtUserInteraction::dialogParent()
{
    return QApplication::activeWindow();
}

static void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void QtUserInteraction::showError(const QString &text)
{
    showMessage(QMessageBox::Critical, QStringLiteral("Erro"), text);
}

void QtUserInteraction::showInformation(const QString &text)
{
    showMessage(QMessageBox::Information, QStringLiteral("Informação"), text);
}

// A box that does not hold the work up: the report goes on being printed or saved while it is
// open, and the user closes it whenever.
void QtUserInteraction::showNotice(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Atenção"), text, QMessageBox::Ok, QApplication::activeWindow());
    box->button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

std::optional<QString> QtUserInteraction::askText(const QString &title, const QString &prompt, const QString &initial)
{
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initial);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<int> QtUserInteraction::chooseRow(const SingleChoiceRequest &request)
{
    LookupDialog dialog(request, dialogParent());
    if (dialog.exec() != QDialog::Accepted || dialog.chosenRow() < 0)
        return std::nullopt;
    return dialog.chosenRow();
}

std::optional<QList<bool>> QtUserInteraction::chooseMarks(const MultiChoiceRequest &request)
{
    MultiSelectDialog dialog(request, dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.marks();
}

std::optional<QString> QtUserInteraction::chooseSaveFile(const QString &title, const QString &suggestedPath,
                                                         const QString &filter)
{
    QFileDialog dialog(dialogParent(), title, suggestedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The default suffix follows the chosen filter's first pattern, as in "Texto (*.txt)".
    auto suffixOf = [](const QString &nameFilter) {
        const qsizetype star = nameFilter.indexOf(QLatin1String("*."));
        return star < 0 ? QString() : nameFilter.mid(star + 2).section(QRegularExpression(QStringLiteral("[ );]")), 0, 0);
    };
    dialog.setDefaultSuffix(suffixOf(filter.section(QLatin1String(";;"), 0, 0)));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, suffixOf](const QString &chosen) { dialog.setDefaultSuffix(suffixOf(chosen)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtUserInteraction::chooseOpenFile(const QString &title, const QString &folder, const QString &filter)
{
    const QString chosen = QFileDialog::getOpenFileName(dialogParent(), title, folder, filter);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

// Non-modal like a notice: the clean-up after the save goes on while it is open. The desktop's
// own handlers open the file and the folder.
void QtUserInteraction::showSaved(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Relatório salvo"),
                                QStringLiteral("O relatório foi salvo em:\n%1").arg(shown), QMessageBox::NoButton,
                                QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QPushButton *openFile = box->addButton(QStringLiteral("Abrir"), QMessageBox::ActionRole);
    QPushButton *openFolder = box->addButton(QStringLiteral("Abrir pasta"), QMessageBox::ActionRole);
    box->setDefaultButton(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    const auto open = [](const QString &target, const QString &what) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(target)))
            showMessage(QMessageBox::Warning, QStringLiteral("Atenção"),
                        QStringLiteral("Não foi possível abrir %1 \"%2\": a área de trabalho não tem um programa para isso.")
                            .arg(what, QDir::toNativeSeparators(target)));
    };
    QObject::connect(box, &QMessageBox::buttonClicked, box, [=](QAbstractButton *button) {
        if (button == openFile)
            open(path, QStringLiteral("o arquivo"));
        else if (button == openFolder)
            open(QFileInfo(path).absolutePath(), QStringLiteral("a pasta"));
    });
    box->show();
}

bool QtUserInteraction::choosePrinter(QPrinter &printer, const QString &documentName)
{
    printer.setDocName(documentName);
    QPrintDialog dialog(&printer, dialogParent());
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    return dialog.exec() == QDialog::Accepted;
}

void QtUserInteraction::showPreview(const QString &title, PreviewPages &pages)
{
    ReportPreviewDialog dialog(title, pages, dialogParent());
    dialog.exec();
}

std::optional<ReportLayoutEdit> QtUserInteraction::editReportLayout(const QString &caption, const QString &prompt,
                                                                     const ReportLayoutEdit &initial)
{
    ReportColumnsDialog dialog(caption, prompt, initial, dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.edited();
}

void QtUserInteraction::showHelp(const HelpTopic &topic)
{
    HelpWindow::showPage(HelpPagePath(topic), dialogParent());
}

} // namespace host
