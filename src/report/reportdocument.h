#pragma once

#include "host/data/codepicture.h"
#include "host/data/params.h"
#include "report/reportlayout.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class QPrinter;

namespace host {

// What a report run produces, independent of where it goes: print, PDF, preview, text, CSV and XLSX
// are thin outputs of it. The engine (ReportEngine) feeds it from the layout's queries.
class ReportDocument
{
public:
    enum class BandKind { GroupHeader, Detail, GroupFooter, GrandTotal, Empty };
    // One line of the body. Headers, footers, totals and the empty line carry `text`; details
    // and totals carry one value per column (invalid: blank). Details also carry the captions
    // of the groups they belong to, for CSV.
    struct Band {
        BandKind kind = BandKind::Detail;
        int level = 0;
        QString text;
        QList<QVariant> values;
        QStringList groups;
        QString continued = {}; // group headers: the heading repeated atop the pages the group runs onto
        bool overPlan = false; // details and totals: actual over plan beyond the layout's margin
    };
    struct HeaderLine {
        QString label;
        QString text;
    };
    // Planned and actual per point (month), drawn above the body; no points, no chart.
    struct Chart {
        QString title;
        QStringList labels;
        QList<double> planned;
        QList<double> actual;
        bool isEmpty() const { return labels.isEmpty(); }
    };

    // Without header lines of its own, the report lists its parameters ("P_NAME: value").
    ReportDocument(const QString &reportCode, const QString &title, const TParams &params);

    QString reportCode() const { return m_reportCode; }
    QString title() const { return m_title; }
    QDateTime generatedAt() const { return m_generatedAt; }
    void setGeneratedAt(const QDateTime &when) { m_generatedAt = when; }
    QString heading() const;
    // What the run that made the document tells about itself (a screen's filters, say): every
    // output file carries it with the report code and title (report/reportrun.h).
    const QJsonObject &run() const { return m_run; }
    void setRun(const QJsonObject &run) { m_run = run; }

    const QList<HeaderLine> &headerLines() const { return m_header; }
    void setHeaderLines(const QList<HeaderLine> &lines) { m_header = lines; }
    // Warnings under the filter lines (records missing in the period, say); none when no line.
    const QString &noticeTitle() const { return m_noticeTitle; }
    const QList<HeaderLine> &noticeLines() const { return m_notices; }
    void setNotices(const QString &title, const QList<HeaderLine> &lines) { m_noticeTitle = title; m_notices = lines; }
    // The title, then "label: text" per line, as every output writes them; empty without lines.
    QStringList noticeTexts() const;
    // The shown columns, in order.
    const QList<ReportLayout::Column> &columns() const { return m_columns; }
    void setColumns(const QList<ReportLayout::Column> &columns) { m_columns = columns; }
    const QStringList &groupLabels() const { return m_groupLabels; }
    void setGroupLabels(const QStringList &labels) { m_groupLabels = labels; }
    const QList<Band> &bands() const { return m_bands; }
    void addBand(const Band &band) { m_bands.append(band); }
    // Whether the run found no line to show (its body is the layout's "empty" text).
    bool isEmptyReport() const;
    // Puts `reason` on a line of its own before the empty report's text.
    void explainEmpty(const QString &reason);
    // The picture that "code" columns are shown through; none shows them as stored.
    void setCodePicture(const TPictObj &picture) { m_codePicture = picture; }
    // Which lines stand out as over plan, and the columns that carry the marker.
    const ReportLayout::OverPlan &overPlan() const { return m_overPlan; }
    void setOverPlan(const ReportLayout::OverPlan &overPlan) { m_overPlan = overPlan; }
    bool anyOverPlan() const;
    // Whether the shown column `column` carries the over-plan marker.
    bool marksOverPlan(int column) const;
    const Chart &chart() const { return m_chart; }
    void setChart(const Chart &chart) { m_chart = chart; }
    bool landscape() const { return m_landscape; }
    void setLandscape(bool landscape) { m_landscape = landscape; }

    // A value as the report shows it (grouping true) or as a spreadsheet reads it.
    QString cell(int column, const QVariant &value, bool grouping = true) const;

    // Paints every page on the printer, "Página N de M" at the foot of each; raises HostError
    // when the printer cannot be used. Answers the number of pages. A printer that writes a PDF
    // file writes the run into the file's XMP metadata as well.
    int print(QPrinter &printer) const;
    // Fixed-width plain text, one line per band.
    QString toText() const;
    // One row per detail line, the groups' captions first; ";" between fields, decimal comma,
    // as spreadsheets set to Portuguese read it.
    QString toCsv() const;
    // Write atomically (UTF-8, the CSV with a byte-order mark so spreadsheets see UTF-8, then a
    // comment line "# {run}" before toCsv()'s rows); raise HostError with the reason on failure.
    void writeText(const QString &path) const;
    void writeCsv(const QString &path) const;
    // A workbook: numbers and dates as values with Brazilian display formats, groups as outline
    // levels, subtotals as SUBTOTAL formulas; the filters, and the run, also on a sheet of their own.
    void writeXlsx(const QString &path) const;

private:
    QString textRow(const QList<QVariant> &values, const QString &label) const;
    QString m_reportCode;
    QString m_title;
    QList<HeaderLine> m_header;
    QString m_noticeTitle;
    QList<HeaderLine> m_notices;
    QList<ReportLayout::Column> m_columns;
    QStringList m_groupLabels;
    QList<Band> m_bands;
    bool m_landscape = false;
    ReportLayout::OverPlan m_overPlan;
    Chart m_chart;
    TPictObj m_codePicture;
    QDateTime m_generatedAt;
    QJsonObject m_run;
};

} // namespace host
