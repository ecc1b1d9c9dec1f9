#include "report/reportdocument.h"

#include "report/partialfile.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "report/reportformat.h"
#include "report/reportprintout.h"
#include "report/reportrun.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

namespace host {

ReportDocument::ReportDocument(const QString &reportCode, const QString &title, const TParams &params)
    : m_reportCode(reportCode), m_title(title), m_generatedAt(QDateTime::currentDateTime())
{
    for (const TParam &param : params.items())
        m_header.append({param.Name, ReportFormat::param(param)});
}

QString ReportDocument::heading() const
{
    return QStringLiteral("Relatório %1 - emitido em %2")
        .arg(m_reportCode, m_generatedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

QString ReportDocument::cell(int column, const QVariant &value, bool grouping) const
{
    if (!value.isValid() || value.isNull())
        return QString();
    const ReportLayout::Column &format = m_columns[column];
    switch (format.format) {
    case ReportLayout::Format::Number:
        return ReportFormat::number(value.toDouble(), format.decimals, grouping);
    case ReportLayout::Format::Integer:
        return ReportFormat::number(value.toDouble(), 0, grouping);
    case ReportLayout::Format::Date:
        return ReportFormat::date(value);
    case ReportLayout::Format::Code:
        return m_codePicture.format(value.toString());
    case ReportLayout::Format::Text:
        break;
    }
    return value.toString();
}

int ReportDocument::print(QPrinter &printer) const
{
    if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
        return ReportPrintout(*this).print(printer);
    // Only QPdfWriter takes XMP metadata. It drives the same PDF engine as the printer, set up
    // with the printer's page layout and resolution, so the pages come out the same.
    const QString fileName = printer.outputFileName();
    PartialFile partial(fileName);
    QPdfWriter writer(partial.path());
    writer.setPdfVersion(printer.pdfVersion());
    writer.setResolution(printer.resolution());
    writer.setPageLayout(printer.pageLayout());
    writer.setTitle(printer.docName());
    writer.setCreator(printer.creator());
    writer.setDocumentXmpMetadata(ReportRun::xmpPacket(*this));
    const int pages = ReportPrintout(*this).print(writer, fileName);
    partial.commit();
    return pages;
}

// Breaks `text` into lines of at most `width` characters at spaces; continuation lines start
// with `indent` spaces.
static QStringList wrapped(const QString &text, int width, int indent)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines.append(line);
            line = QString(indent, QLatin1Char(' ')) + word;
        } else {
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
    }
    lines.append(line);
    return lines;
}

QString ReportDocument::textRow(const QList<QVariant> &values, const QString &label) const
{
    // A label takes the place of the leading columns that carry no total.
    int labelColumns = 0;
    if (!label.isNull()) {
        while (labelColumns < m_columns.size() && !m_columns[labelColumns].total)
            ++labelColumns;
    }
    QStringList parts;
    int labelWidth = -1;
    for (int i = 0; i < m_columns.size(); ++i) {
        const int width = m_columns[i].width;
        if (i < labelColumns) {
            labelWidth += width + 1;
            if (i == labelColumns - 1)
                parts.append(label.left(labelWidth).leftJustified(labelWidth));
            continue;
        }
        const QString text = cell(i, values.value(i));
        parts.append(m_columns[i].isTextual() ? text.left(width).leftJustified(width)
                                                                      : text.rightJustified(width));
    }
    QString row = parts.join(QLatin1Char(' '));
    if (labelColumns == 0 && !label.isEmpty())
        row = label + QLatin1Char(' ') + row;
    while (row.endsWith(QLatin1Char(' ')))
        row.chop(1);
    return row;
}

QString ReportDocument::toText() const
{
    int tableWidth = -1;
    for (const ReportLayout::Column &column : m_columns)
        tableWidth += column.width + 1;
    const int width = qMax(qMax(int(m_title.size()), int(heading().size())), qMax(tableWidth, 60));
    QStringList lines{m_title, heading(), QString(width, QLatin1Char('='))};
    for (const HeaderLine &line : m_header)
        lines += wrapped(line.label + QStringLiteral(": ") + line.text, width, int(line.label.size()) + 2);
    for (const QString &notice : noticeTexts())
        lines += wrapped(notice, width, 2);
    // The chart's figures as a small table of their own.
    if (!m_chart.isEmpty()) {
        lines << QString() << m_chart.title;
        const auto chartRow = [](const QString &label, const QStringList &figures) {
            QString row = label.leftJustified(10);
            for (const QString &figure : figures)
                row += QLatin1Char(' ') + figure.rightJustified(18);
            return row;
        };
        lines << chartRow(QStringLiteral("Mês"), {QStringLiteral("Planejado (R$)"), QStringLiteral("Realizado (R$)"), QStringLiteral("Diferença (R$)")});
        for (int i = 0; i < m_chart.labels.size(); ++i)
            lines << chartRow(m_chart.labels[i], {ReportFormat::number(m_chart.planned[i], 2), ReportFormat::number(m_chart.actual[i], 2),
                                                  ReportFormat::number(m_chart.actual[i] - m_chart.planned[i], 2)});
        lines << QString();
    }
    if (!m_columns.isEmpty()) {
        QStringList labels;
        for (const ReportLayout::Column &column : m_columns) {
            labels.append(column.isTextual() ? column.label.left(column.width).leftJustified(column.width)
                                                                      : column.label.right(column.width).rightJustified(column.width));
        }
        QString row = labels.join(QLatin1Char(' '));
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        lines << QString(width, QLatin1Char('-')) << row << QString(width, QLatin1Char('-'));
    }
    for (const Band &band : m_bands) {
        const QString indent(2 * band.level, QLatin1Char(' '));
        switch (band.kind) {
        case BandKind::GroupHeader:
            lines.append(indent + band.text);
            break;
        case BandKind::Detail:
            lines.append(textRow(band.values, QString()));
            break;
        case BandKind::GroupFooter:
            lines << textRow(band.values, indent + band.text) << QString();
            break;
        case BandKind::GrandTotal:
            lines << QString(width, QLatin1Char('=')) << textRow(band.values, band.text);
            break;
        case BandKind::Empty:
            lines.append(band.text);
            break;
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool ReportDocument::isEmptyReport() const
{
    return !m_bands.isEmpty() && std::all_of(m_bands.begin(), m_bands.end(), [](const Band &band) { return band.kind == BandKind::Empty; });
}

bool ReportDocument::anyOverPlan() const
{
    return std::any_of(m_bands.begin(), m_bands.end(), [](const Band &band) { return band.overPlan; });
}

bool ReportDocument::marksOverPlan(int column) const
{
    return column >= 0 && column < m_columns.size() && m_overPlan.marked.contains(m_columns[column].field, Qt::CaseInsensitive);
}

void ReportDocument::explainEmpty(const QString &reason)
{
    m_bands.insert(m_bands.size() - 1, {BandKind::Empty, 0, reason, {}, {}, {}});
}

static QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString ReportDocument::toCsv() const
{
    QStringList rows;
    // Notices come before the data, one line each and a blank line after them, as a
    // spreadsheet shows them above the table.
    for (const QString &notice : noticeTexts())
        rows.append(csvField(notice));
    // An empty report says why, as its text and PDF do, where a spreadsheet shows it.
    if (isEmptyReport()) {
        for (const Band &band : m_bands)
            rows.append(csvField(band.text));
    }
    if (!rows.isEmpty())
        rows.append(QString());
    QStringList header = m_groupLabels;
    for (const ReportLayout::Column &column : m_columns)
        header.append(column.label);
    std::transform(header.begin(), header.end(), header.begin(), csvField);
    rows.append(header.join(QLatin1Char(';')));
    for (const Band &band : m_bands) {
        if (band.kind != BandKind::Detail)
            continue;
        QStringList fields = band.groups;
        for (int i = 0; i < m_columns.size(); ++i)
            fields.append(cell(i, band.values.value(i), false));
        std::transform(fields.begin(), fields.end(), fields.begin(), csvField);
        rows.append(fields.join(QLatin1Char(';')));
    }
    return rows.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// Through a partial file like the PDF and the workbook: a link planted under the chosen name is
// replaced, never followed.
static void writeFile(const QString &path, const QByteArray &bytes)
{
    PartialFile partial(path);
    QFile file(partial.path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw HostError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
    file.close();
    partial.commit();
}

void ReportDocument::writeText(const QString &path) const
{
    writeFile(path, toText().toUtf8());
}

void ReportDocument::writeCsv(const QString &path) const
{
    writeFile(path, QByteArray("\xEF\xBB\xBF") + (ReportRun::csvLine(*this) + QStringLiteral("\r\n") + toCsv()).toUtf8());
}

} // namespace host
