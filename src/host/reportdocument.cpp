#include "host/reportdocument.h"

#include "host/errors.h"

#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>

namespace host {

ReportDocument::ReportDocument(const QString &reportCode, const QString &title, const TParams &params)
    : m_reportCode(reportCode), m_title(title), m_generatedAt(QDateTime::currentDateTime())
{
    for (const TParam &param : params.items())
        m_lines.append(param.Name + QStringLiteral(": ") + formatValue(param));
}

QString ReportDocument::formatValue(const TParam &param)
{
    if (param.IsNull())
        return QStringLiteral("(sem valor)");
    if (param.DataType == ParamType::DateTime) {
        const QDateTime when = param.AsDateTime();
        return when.time() == QTime(0, 0) ? when.toString(QStringLiteral("dd/MM/yyyy"))
                                          : when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    return param.AsString();
}

QString ReportDocument::heading() const
{
    return QStringLiteral("Relatório %1 - emitido em %2")
        .arg(m_reportCode, m_generatedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

int ReportDocument::print(QPrinter &printer) const
{
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString target = printer.outputFileName().isEmpty() ? printer.printerName()
                                                                   : QDir::toNativeSeparators(printer.outputFileName());
        throw HostError(QStringLiteral("Não foi possível iniciar a impressão em \"%1\": impressora indisponível ou arquivo sem permissão de escrita.").arg(target));
    }
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont body(QStringLiteral("DejaVu Sans"), 10);
    QFont titleFont(body);
    titleFont.setPointSize(14);
    titleFont.setBold(true);
    const int lineHeight = QFontMetrics(body, &printer).lineSpacing();
    const int headerHeight = QFontMetrics(titleFont, &printer).lineSpacing() + 3 * lineHeight;
    const int footerHeight = 2 * lineHeight;
    const int linesPerPage = qMax(1, (area.height() - headerHeight - footerHeight) / lineHeight);
    const int pages = qMax(1, int((m_lines.size() + linesPerPage - 1) / linesPerPage));

    for (int pageNumber = 1; pageNumber <= pages; ++pageNumber) {
        if (pageNumber > 1 && !printer.newPage())
            throw HostError(QStringLiteral("A impressão foi interrompida na página %1.").arg(pageNumber));
        painter.setFont(titleFont);
        const int titleHeight = QFontMetrics(titleFont, &printer).lineSpacing();
        painter.drawText(QRect(0, 0, area.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter, m_title);
        painter.setFont(body);
        painter.drawText(QRect(0, titleHeight, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, heading());
        const int ruleY = titleHeight + lineHeight + lineHeight / 2;
        painter.drawLine(0, ruleY, area.width(), ruleY);
        int y = headerHeight;
        const qsizetype first = qsizetype(pageNumber - 1) * linesPerPage;
        for (qsizetype i = first; i < m_lines.size() && i < first + linesPerPage; ++i) {
            painter.drawText(QRect(0, y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, m_lines[i]);
            y += lineHeight;
        }
        painter.drawText(QRect(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("Página %1 de %2").arg(pageNumber).arg(pages));
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw HostError(QStringLiteral("A impressão de \"%1\" falhou ao ser concluída.").arg(m_title));
    return pages;
}

QString ReportDocument::toText() const
{
    QString text = m_title + QLatin1Char('\n') + heading() + QLatin1Char('\n')
                   + QString(qMax(m_title.size(), heading().size()), QLatin1Char('=')) + QLatin1Char('\n');
    for (const QString &line : m_lines)
        text += line + QLatin1Char('\n');
    return text;
}

void ReportDocument::writeText(const QString &path) const
{
    QSaveFile file(path);
    const QByteArray bytes = toText().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(bytes) != bytes.size() || !file.commit())
        throw HostError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace host
