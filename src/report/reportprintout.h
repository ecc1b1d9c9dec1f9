#pragma once

#include "report/reportdocument.h"
#include "report/textcache.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;
class QPdfWriter;
class QPrinter;

namespace host {

// Lays a report document out on printer pages: title and issue line on every page, the filter
// lines on the first, the column headings on each, the headings of the groups that run on from
// the page before, bands that never split, and "Página N de M" at every foot. Two passes: the
// pages are laid out first (cheap: nothing is painted), so the page count is known before the
// first page is painted, and a preview paints only the pages it shows.
class ReportPrintout
{
public:
    explicit ReportPrintout(const ReportDocument &document) : m_document(document) {}

    // Raises HostError when the printer cannot be used; answers the number of pages.
    int print(QPrinter &printer);
    // The same onto a PDF file's writer; `fileName` names the file in messages.
    int print(QPdfWriter &writer, const QString &fileName);

    // Lays the document out on pages like `layout`, turned as the document asks, its text measured
    // on `metrics` at `resolution` dots per inch (the device the pages go to, or one like it).
    // While a work is under way the window keeps painting, and a cancel raises CancelledError.
    // Answers the number of pages.
    int paginate(const QPageLayout &layout, int resolution, QPaintDevice &metrics);
    int pageCount() const { return int(m_pages.size()); }
    // The last pagination's page, turned as the document asks.
    const QPageLayout &pageLayout() const { return m_layout; }
    // Paints page `index` (from 0) of the last pagination, its frame included, in that
    // pagination's device pixels, the corner of the page's printable area at the origin.
    void paintPage(QPainter &painter, int index) const;
    // Page `index`, margins included, scaled into a white image of `size` pixels: the page on screen.
    QImage pageImage(int index, const QSize &size) const;

private:
    struct Item {
        // Continuation: the heading of a group that runs on from the page before (index: its band).
        // Notice: a line of the notices under the filters (NoticeTitle: their title).
        // Chart: the document's chart, between the filters and the table.
        enum Kind { Filter, ColumnHeader, Band, Continuation, NoticeTitle, Notice, Chart } kind;
        int index = 0;
        qreal height = 0;
    };
    using Page = QList<Item>;

    // `target` names the printer or file in messages; `failed` tells whether the device gave up
    // on the job, `abort` drops it when the user cancels.
    struct Device {
        QPagedPaintDevice &pages;
        int resolution;
        QString target;
        std::function<bool()> failed;
        std::function<void()> abort;
    };
    int paint(const Device &device);
    QPageLayout::Orientation orientation() const;
    void measure(QPaintDevice &metrics);
    QList<Page> layOutPages() const;
    // The labelled line of a Filter or Notice item.
    const ReportDocument::HeaderLine &lineOf(const Item &item) const;
    qreal labelWidth(const Item &item) const;
    qreal itemHeight(Item::Kind kind, int index) const;
    void paintFrame(QPainter &painter, int page, int pages) const;
    void paintItem(QPainter &painter, const Item &item, qreal y) const;
    qreal indentOf(int level) const { return 4 * m_padding * level; }
    void paintHeading(QPainter &painter, int level, const QString &text, qreal y, qreal height) const;
    void paintRow(QPainter &painter, qreal y, qreal height, const QList<QString> &cells, const QString &label,
                  bool overPlan = false) const;

    const ReportDocument &m_document;
    QPageLayout m_layout;
    int m_resolution = 0;
    QList<Page> m_pages;
    QPaintDevice *m_device = nullptr;
    QRectF m_area;
    QFont m_body, m_bold, m_title, m_small;
    qreal m_row = 0, m_top = 0, m_bottom = 0, m_padding = 0;
    QList<qreal> m_columnX; // left edge of each column, then the right edge of the last
    bool m_anyOverPlan = false;
    mutable std::unique_ptr<TextCache> m_texts; // the device's; painting fills it
};

} // namespace host
