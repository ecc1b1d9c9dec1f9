#include "host/services/batchinteraction.h"

#include <QDir>
#include <QPrinter>

namespace host {

BatchInteraction::BatchInteraction(const QString &outputFile, std::FILE *messages)
    : m_output(outputFile), m_messages(messages)
{
}

void BatchInteraction::write(const QString &prefix, const QString &text)
{
    std::fprintf(m_messages, "%s%s\n", prefix.toUtf8().constData(), text.toUtf8().constData());
    std::fflush(m_messages);
}

void BatchInteraction::refuse(const QString &what)
{
    ++m_errors;
    write(QStringLiteral("Erro: "), QStringLiteral("o modo lote não pode %1: não há quem responda. Informe o valor nos filtros.").arg(what));
}

void BatchInteraction::showError(const QString &text)
{
    ++m_errors;
    write(QStringLiteral("Erro: "), text);
}

void BatchInteraction::showInformation(const QString &text)
{
    write(QString(), text);
}

// On standard error like the other messages; a notice is no error, so the exit code stays.
void BatchInteraction::showNotice(const QString &text)
{
    write(QString(), text);
}

std::optional<QString> BatchInteraction::askText(const QString &title, const QString &prompt, const QString &)
{
    refuse(QStringLiteral("perguntar \"%1\" (%2)").arg(prompt, title));
    return std::nullopt;
}

std::optional<int> BatchInteraction::chooseRow(const SingleChoiceRequest &request)
{
    refuse(QStringLiteral("escolher em \"%1\"").arg(request.table.title));
    return std::nullopt;
}

std::optional<QList<bool>> BatchInteraction::chooseMarks(const MultiChoiceRequest &request)
{
    refuse(QStringLiteral("marcar itens em \"%1\"").arg(request.table.title));
    return std::nullopt;
}

std::optional<QString> BatchInteraction::chooseSaveFile(const QString &, const QString &, const QString &)
{
    return m_output;
}

std::optional<QString> BatchInteraction::chooseOpenFile(const QString &title, const QString &, const QString &)
{
    refuse(QStringLiteral("escolher um arquivo em \"%1\"").arg(title));
    return std::nullopt;
}

bool BatchInteraction::choosePrinter(QPrinter &printer, const QString &documentName)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_output);
    printer.setDocName(documentName);
    return true;
}

void BatchInteraction::showPreview(const QString &title, PreviewPages &)
{
    refuse(QStringLiteral("mostrar a visualização de \"%1\"").arg(title));
}

std::optional<ReportLayoutEdit> BatchInteraction::editReportLayout(const QString &caption, const QString &, const ReportLayoutEdit &)
{
    refuse(QStringLiteral("editar o relatório (%1)").arg(caption));
    return std::nullopt;
}

void BatchInteraction::showHelp(const HelpTopic &topic)
{
    write(QString(), QStringLiteral("Ajuda: %1").arg(QDir::toNativeSeparators(HelpPagePath(topic))));
}

} // namespace host
