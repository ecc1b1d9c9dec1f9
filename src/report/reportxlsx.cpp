// The XLSX output of a report document, through libxlsxwriter: kept apart so only this file
// sees the library.
#include "report/partialfile.h"
#include "report/reportdocument.h"

#include "host/data/errors.h"
#include "report/reportformat.h"
#include "report/reportrun.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <cmath>

#include <xlsxwriter.h>

namespace host {

namespace {

constexpr int kMaxOutlineLevel = 7; // the deepest outline a worksheet keeps

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

QString columnName(int column)
{
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QLatin1Char('A' + (n - 1) % 26));
    return name;
}

QString numberPattern(int decimals)
{
    return decimals > 0 ? QStringLiteral("#,##0.") + QString(decimals, QLatin1Char('0')) : QStringLiteral("#,##0");
}

// Writes one document onto a workbook: the body on "Relatório", the filters on "Filtros".
class XlsxWriter
{
public:
    XlsxWriter(const ReportDocument &document, lxw_workbook *workbook)
        : m_document(document), m_workbook(workbook)
    {
        m_bold = workbook_add_format(workbook);
        format_set_bold(m_bold);
        m_date = workbook_add_format(workbook);
        format_set_num_format(m_date, "dd/mm/yyyy");
    }

    void write()
    {
        m_sheet = workbook_add_worksheet(m_workbook, utf8(QStringLiteral("Relatório")).constData());
        writeBody();
        writeFilters();
        // After "Filtros", which readers of the run find as the second sheet; shown first.
        if (!m_document.chart().isEmpty())
            writeChartSheet();
    }

private:
    // "#,##0.00": Excel shows the thousands and decimal separators of the reader's locale.
    lxw_format *numberFormat(int decimals)
    {
        lxw_format *&format = m_numbers[decimals];
        if (!format) {
            format = workbook_add_format(m_workbook);
            format_set_num_format(format, utf8(numberPattern(decimals)).constData());
        }
        return format;
    }

    void writeText(int row, int column, const QString &text, lxw_format *format = nullptr)
    {
        if (!text.isEmpty())
            worksheet_write_string(m_sheet, row, column, utf8(text).constData(), format);
    }

    void writeValue(int row, int column, const QVariant &value)
    {
        if (!value.isValid() || value.isNull())
            return;
        const ReportLayout::Column &format = m_document.columns()[column];
        switch (format.format) {
        case ReportLayout::Format::Number:
        case ReportLayout::Format::Integer:
            worksheet_write_number(m_sheet, row, column, value.toDouble(),
                                   numberFormat(format.format == ReportLayout::Format::Integer ? 0 : format.decimals));
            return;
        case ReportLayout::Format::Date: {
            const QDate day = ReportFormat::day(value);
            if (day.isValid()) {
                lxw_datetime when{day.year(), day.month(), day.day(), 0, 0, 0};
                worksheet_write_datetime(m_sheet, row, column, &when, m_date);
                return;
            }
            break;
        }
        case ReportLayout::Format::Code:
        case ReportLayout::Format::Text:
            break;
        }
        writeText(row, column, m_document.cell(column, value));
    }

    // A total over the detail rows from `firstDetail` on, as SUBTOTAL(9, ...) so nested subtotals
    // are not counted twice. A total the details do not add up to (a ratio, a value counted once
    // per group, units that differ) stays the document's value.
    void writeTotal(int row, int column, const QVariant &value, int firstDetail)
    {
        const ReportLayout::Column &format = m_document.columns()[column];
        const bool numeric = format.format == ReportLayout::Format::Number || format.format == ReportLayout::Format::Integer;
        if (!numeric || !value.isValid() || value.isNull() || firstDetail >= m_details.size()) {
            writeValue(row, column, value);
            return;
        }
        double sum = 0;
        for (int i = firstDetail; i < m_details.size(); ++i)
            sum += m_details[i].second->values.value(column).toDouble();
        const double total = value.toDouble();
        if (qAbs(sum - total) > 0.5 * std::pow(10.0, -qMax(format.decimals, 2))) {
            writeValue(row, column, value);
            return;
        }
        const QString cells = columnName(column) + QString::number(m_details[firstDetail].first + 1) + QLatin1Char(':')
            + columnName(column) + QString::number(row);
        const QString formula = QStringLiteral("=SUBTOTAL(9,%1)").arg(cells);
        worksheet_write_formula_num(m_sheet, row, column, utf8(formula).constData(),
                                    numberFormat(format.format == ReportLayout::Format::Integer ? 0 : format.decimals), total);
    }

    void setLevel(int row, int level)
    {
        if (level <= 0)
            return;
        lxw_row_col_options options{};
        options.level = quint8(qMin(level, kMaxOutlineLevel));
        worksheet_set_row_opt(m_sheet, row, LXW_DEF_ROW_HEIGHT, nullptr, &options);
    }

    void writeBody()
    {
        const QList<ReportLayout::Column> &columns = m_document.columns();
        int row = 0;
        writeText(row++, 0, m_document.title(), m_bold);
        writeText(row++, 0, m_document.heading());
        for (const ReportDocument::HeaderLine &line : m_document.headerLines())
            writeText(row++, 0, line.label + QStringLiteral(": ") + line.text);
        for (const QString &notice : m_document.noticeTexts())
            writeText(row++, 0, notice, m_bold);
        ++row;
        for (int i = 0; i < columns.size(); ++i) {
            writeText(row, i, columns[i].label, m_bold);
            worksheet_set_column(m_sheet, i, i, qMax(columns[i].width, 10) + 2, nullptr);
        }
        worksheet_freeze_panes(m_sheet, row + 1, 0);
        ++row;
        const int firstBodyRow = row;

        QList<int> groupStarts; // index into m_details where each open group's details begin
        for (const ReportDocument::Band &band : m_document.bands()) {
            switch (band.kind) {
            case ReportDocument::BandKind::GroupHeader:
                groupStarts.resize(band.level);
                groupStarts.append(int(m_details.size()));
                writeText(row, 0, band.text, m_bold);
                setLevel(row, band.level);
                break;
            case ReportDocument::BandKind::Detail:
                m_details.append({row, &band});
                for (int i = 0; i < columns.size(); ++i)
                    writeValue(row, i, band.values.value(i));
                setLevel(row, band.level);
                break;
            case ReportDocument::BandKind::GroupFooter:
            case ReportDocument::BandKind::GrandTotal: {
                const bool grand = band.kind == ReportDocument::BandKind::GrandTotal;
                const int firstDetail = grand ? 0 : groupStarts.value(band.level, int(m_details.size()));
                if (!band.values.value(0).isValid())
                    writeText(row, 0, band.text, m_bold);
                for (int i = 0; i < columns.size(); ++i)
                    writeTotal(row, i, band.values.value(i), firstDetail);
                if (!grand)
                    setLevel(row, band.level);
                break;
            }
            case ReportDocument::BandKind::Empty:
                writeText(row, 0, band.text);
                break;
            }
            ++row;
        }
        markOverPlan(firstBodyRow, row - 1);
    }

    // A formula rule on each difference column, so a figure the user edits is judged again: bold,
    // a marker in the number format and a fill that prints as grey, besides the colour.
    void markOverPlan(int firstRow, int lastRow)
    {
        const ReportLayout::OverPlan &rule = m_document.overPlan();
        const QList<ReportLayout::Column> &columns = m_document.columns();
        const auto indexOf = [&](const QString &field) {
            for (int i = 0; i < columns.size(); ++i) {
                if (columns[i].field.compare(field, Qt::CaseInsensitive) == 0)
                    return i;
            }
            return -1;
        };
        const int planned = indexOf(rule.planned);
        const int actual = indexOf(rule.actual);
        if (!rule.isSet() || planned < 0 || actual < 0 || lastRow < firstRow)
            return;
        const QString p = QStringLiteral("$%1%2").arg(columnName(planned)).arg(firstRow + 1);
        const QString a = QStringLiteral("$%1%2").arg(columnName(actual)).arg(firstRow + 1);
        const QByteArray formula = utf8(QStringLiteral("=OR(AND(%1>0,%2-%1>%1*%3),AND(%1<=0,%2>0))")
                                            .arg(p, a, QString::number(rule.percent / 100, 'g', 10)));
        for (int i = 0; i < columns.size(); ++i) {
            if (!m_document.marksOverPlan(i))
                continue;
            lxw_conditional_format condition{};
            condition.type = LXW_CONDITIONAL_TYPE_FORMULA;
            condition.value_string = const_cast<char *>(formula.constData());
            condition.format = overPlanFormat(columns[i].format == ReportLayout::Format::Integer ? 0 : columns[i].decimals);
            worksheet_conditional_format_range(m_sheet, firstRow, lxw_col_t(i), lastRow, lxw_col_t(i), &condition);
        }
    }

    lxw_format *overPlanFormat(int decimals)
    {
        lxw_format *&format = m_overPlan[decimals];
        if (!format) {
            format = workbook_add_format(m_workbook);
            format_set_bold(format);
            format_set_font_color(format, 0x961400);
            format_set_pattern(format, LXW_PATTERN_SOLID);
            format_set_bg_color(format, 0xFFCCAA);
            const QString number = numberPattern(decimals);
            format_set_num_format(format, utf8(QStringLiteral("\"\u25B2 \"%1;\"\u25B2 \"-%1").arg(number)).constData());
        }
        return format;
    }

    // The chart's figures with the difference as a formula, and native charts over those cells,
    // so a figure the user corrects moves the bars and the line.
    void writeChartSheet()
    {
        const ReportDocument::Chart &chart = m_document.chart();
        lxw_worksheet *sheet = workbook_add_worksheet(m_workbook, "Resumo");
        worksheet_write_string(sheet, 0, 0, utf8(chart.title).constData(), m_bold);
        worksheet_write_string(sheet, 1, 0, utf8(m_document.heading()).constData(), nullptr);
        const int header = 3;
        const QStringList labels = {QStringLiteral("Mês"), QStringLiteral("Custo planejado (R$)"), QStringLiteral("Custo realizado (R$)"),
                                    QStringLiteral("Diferença (R$)")};
        for (int column = 0; column < labels.size(); ++column) {
            worksheet_write_string(sheet, header, lxw_col_t(column), utf8(labels[column]).constData(), m_bold);
            worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), column == 0 ? 10 : 22, nullptr);
        }
        const int first = header + 1;
        const int last = first + int(chart.labels.size()) - 1;
        for (int i = 0; i < chart.labels.size(); ++i) {
            const int row = first + i;
            worksheet_write_string(sheet, row, 0, utf8(chart.labels[i]).constData(), nullptr);
            worksheet_write_number(sheet, row, 1, chart.planned[i], numberFormat(2));
            worksheet_write_number(sheet, row, 2, chart.actual[i], numberFormat(2));
            worksheet_write_formula_num(sheet, row, 3, utf8(QStringLiteral("=C%1-B%1").arg(row + 1)).constData(), numberFormat(2),
                                        chart.actual[i] - chart.planned[i]);
        }
        const auto range = [&](int column) {
            return utf8(QStringLiteral("=Resumo!$%1$%2:$%1$%3").arg(columnName(column)).arg(first + 1).arg(last + 1));
        };
        const auto title = [&](int column) { return utf8(QStringLiteral("=Resumo!$%1$%2").arg(columnName(column)).arg(header + 1)); };

        lxw_chart *bars = workbook_add_chart(m_workbook, LXW_CHART_COLUMN);
        chart_title_set_name(bars, utf8(chart.title).constData());
        for (int column : {1, 2}) {
            lxw_chart_series *series = chart_add_series(bars, range(0).constData(), range(column).constData());
            chart_series_set_name(series, title(column).constData());
            lxw_chart_line outline{};
            outline.color = LXW_COLOR_BLACK;
            outline.width = 0.75;
            chart_series_set_line(series, &outline);
            lxw_chart_fill fill{};
            fill.color = column == 1 ? 0xBECDE1 : 0x284678;
            chart_series_set_fill(series, &fill);
        }
        chart_axis_set_num_format(bars->y_axis, "#,##0");
        chart_legend_set_position(bars, LXW_CHART_LEGEND_BOTTOM);
        lxw_chart_options place{};
        place.x_scale = 1.6;
        place.y_scale = 1.4;
        worksheet_insert_chart_opt(sheet, lxw_row_t(header), 5, bars, &place);

        lxw_chart *line = workbook_add_chart(m_workbook, LXW_CHART_LINE);
        chart_title_set_name(line, "Diferença (realizado - planejado) por mês (R$)");
        lxw_chart_series *difference = chart_add_series(line, range(0).constData(), range(3).constData());
        chart_series_set_name(difference, title(3).constData());
        chart_series_set_marker_type(difference, LXW_CHART_MARKER_CIRCLE);
        lxw_chart_line stroke{};
        stroke.color = 0xAA2800;
        stroke.width = 2.25;
        chart_series_set_line(difference, &stroke);
        chart_axis_set_num_format(line->y_axis, "#,##0");
        chart_legend_set_position(line, LXW_CHART_LEGEND_BOTTOM);
        worksheet_insert_chart_opt(sheet, lxw_row_t(header + 22), 5, line, &place);
        worksheet_activate(sheet);
    }

    void writeFilters()
    {
        lxw_worksheet *sheet = workbook_add_worksheet(m_workbook, "Filtros");
        worksheet_write_string(sheet, 0, 0, "Filtro", m_bold);
        worksheet_write_string(sheet, 0, 1, "Valor", m_bold);
        worksheet_set_column(sheet, 0, 0, 30, nullptr);
        worksheet_set_column(sheet, 1, 1, 80, nullptr);
        int row = 1;
        for (const ReportDocument::HeaderLine &line : m_document.headerLines()) {
            worksheet_write_string(sheet, row, 0, utf8(line.label).constData(), nullptr);
            worksheet_write_string(sheet, row, 1, utf8(line.text).constData(), nullptr);
            ++row;
        }
        // The run, for "Abrir filtros de um relatório" and any other reader; a long one goes on
        // in the cells to the right.
        const QString run = ReportRun::recordText(m_document);
        ++row;
        worksheet_write_string(sheet, row, 0, utf8(ReportRun::xlsxLabel()).constData(), m_bold);
        for (qsizetype at = 0, column = 1; at < run.size(); ++column) {
            qsizetype length = ReportRun::kXlsxPieceLength;
            if (at + length < run.size() && run[at + length - 1].isHighSurrogate())
                --length; // a character is never split between cells
            worksheet_write_string(sheet, row, lxw_col_t(column), utf8(run.mid(at, length)).constData(), nullptr);
            at += length;
        }
    }

    const ReportDocument &m_document;
    lxw_workbook *m_workbook;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_format *m_date = nullptr;
    QHash<int, lxw_format *> m_numbers;
    QHash<int, lxw_format *> m_overPlan; // by decimals
    QList<QPair<int, const ReportDocument::Band *>> m_details; // (row, band) of each detail line
};

} // namespace

void ReportDocument::writeXlsx(const QString &path) const
{
    // libxlsxwriter writes the whole file on close, under a partial name until complete.
    PartialFile partial(path);
    lxw_workbook *workbook = workbook_new(QFile::encodeName(partial.path()).constData());
    if (!workbook)
        throw HostError(QStringLiteral("Não foi possível criar a planilha \"%1\".").arg(QDir::toNativeSeparators(path)));
    XlsxWriter(*this, workbook).write();
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR)
        throw HostError(QStringLiteral("Não foi possível gravar a planilha \"%1\" (%2).")
                            .arg(QDir::toNativeSeparators(path), QString::fromUtf8(lxw_strerror(error))));
    partial.commit();
}

} // namespace host
