#include "report/reportprintout.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "report/reportchart.h"
#include "report/reportdocument.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

namespace host {

using BandKind = ReportDocument::BandKind;

static const QColor kShade(228, 233, 239);
// Over-plan lines: a warm fill that prints as a light grey, dark red text, bold and a marker, so
// neither colour nor its absence carries the meaning alone.
static const QColor kOverPlanFill(255, 204, 170);
static const QColor kOverPlanText(150, 20, 0);
static const QString kOverPlanMarker = QStringLiteral("\u25B2 ");

QPageLayout::Orientation ReportPrintout::orientation() const
{
    return m_document.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait;
}

void ReportPrintout::measure(QPaintDevice &metrics)
{
    m_device = &metrics;
    m_texts = std::make_unique<TextCache>(m_device);
    m_anyOverPlan = m_document.anyOverPlan();
    m_area = QRectF(QPointF(0, 0), m_layout.paintRectPixels(m_resolution).size());
    m_body = QFont(QStringLiteral("DejaVu Sans"), m_document.landscape() ? 8 : 9);
    // Any letter spacing turns the shaper's ligatures off, so "fi" stays two letters in the PDF's
    // text layer and a search for "filial" finds it; a 64th of a pixel changes nothing visible.
    m_body.setLetterSpacing(QFont::AbsoluteSpacing, 1.0 / 64);
    m_bold = m_body;
    m_bold.setBold(true);
    m_small = m_body;
    m_small.setPointSizeF(m_body.pointSizeF() - 1);
    m_title = m_bold;
    m_title.setPointSize(13);
    const QFontMetricsF body(m_body, m_device);
    m_row = body.lineSpacing() * 1.4;
    m_padding = body.averageCharWidth() / 2;
    m_top = QFontMetricsF(m_title, m_device).lineSpacing() + QFontMetricsF(m_small, m_device).lineSpacing() + m_row / 2;
    m_bottom = m_row * 1.5;

    // Columns keep the layout's proportions across the width of the page.
    int characters = 0;
    for (const ReportLayout::Column &column : m_document.columns())
        characters += qMax(1, column.width) + 1;
    m_columnX = {0};
    for (const ReportLayout::Column &column : m_document.columns())
        m_columnX.append(m_columnX.last() + m_area.width() * (qMax(1, column.width) + 1) / qMax(1, characters));
}

const ReportDocument::HeaderLine &ReportPrintout::lineOf(const Item &item) const
{
    return item.kind == Item::Notice ? m_document.noticeLines()[item.index] : m_document.headerLines()[item.index];
}

// The filter's text starts right after its label and wraps under itself.
qreal ReportPrintout::labelWidth(const Item &item) const
{
    return QFontMetricsF(m_bold, m_device).horizontalAdvance(lineOf(item).label + QStringLiteral(": "));
}

qreal ReportPrintout::itemHeight(Item::Kind kind, int index) const
{
    if (kind != Item::Filter && kind != Item::Notice)
        return m_row;
    const Item item{kind, index, 0};
    const QFontMetricsF metrics(m_body, m_device);
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, m_area.width() - labelWidth(item), 1e6), Qt::TextWordWrap,
                                               lineOf(item).text);
    return qMax(m_row, bounds.height() + m_row - metrics.lineSpacing());
}

int ReportPrintout::paginate(const QPageLayout &layout, int resolution, QPaintDevice &metrics)
{
    m_layout = layout;
    m_layout.setOrientation(orientation());
    m_resolution = resolution;
    m_pages.clear();
    measure(metrics);
    m_pages = layOutPages();
    return pageCount();
}

QList<ReportPrintout::Page> ReportPrintout::layOutPages() const
{
    const qreal usable = m_area.height() - m_top - m_bottom;
    const bool table = !m_document.columns().isEmpty();
    QList<Page> pages{Page()};
    qreal y = 0;
    auto place = [&](const Item &item, qreal keepWith, const QList<int> &continuing = {}) {
        if (y > 0 && y + item.height + keepWith > usable) {
            pages.append(Page());
            y = 0;
            if (table && item.kind != Item::ColumnHeader) {
                pages.last().append({Item::ColumnHeader, 0, m_row});
                y = m_row;
            }
            for (int heading : continuing) {
                pages.last().append({Item::Continuation, heading, m_row});
                y += m_row;
            }
        }
        pages.last().append(item);
        y += item.height;
    };
    for (int i = 0; i < m_document.headerLines().size(); ++i)
        place({Item::Filter, i, itemHeight(Item::Filter, i)}, 0);
    if (!m_document.noticeLines().isEmpty()) {
        place({Item::NoticeTitle, 0, m_row}, m_row);
        for (int i = 0; i < m_document.noticeLines().size(); ++i)
            place({Item::Notice, i, itemHeight(Item::Notice, i)}, 0);
    }
    if (!m_document.headerLines().isEmpty() || !m_document.noticeLines().isEmpty())
        y += m_row / 2;
    // A third of a page: twelve months' bars stay readable and the ranked tables fit on two pages.
    if (!m_document.chart().isEmpty())
        place({Item::Chart, 0, qMax(usable / 3, m_row * 14)}, 0);
    if (table)
        place({Item::ColumnHeader, 0, m_row}, m_row);
    const QList<ReportDocument::Band> &bands = m_document.bands();
    QList<int> open; // the heading bands of the groups open so far, outermost first
    for (int i = 0; i < bands.size(); ++i) {
        // Laying out 2 048 bands takes a millisecond or so: a cancel lands at once.
        if (i % 2048 == 0 && workUnderWay())
            keepResponsive();
        // A group heading never ends a page, nor does a grand total open one alone.
        const bool heading = bands[i].kind == BandKind::GroupHeader;
        if (heading)
            open.resize(qMin(int(open.size()), bands[i].level));
        place({Item::Band, i, m_row}, heading ? m_row : 0, open);
        if (heading)
            open.append(i);
        else if (bands[i].kind == BandKind::GroupFooter)
            open.resize(qMin(int(open.size()), bands[i].level));
    }
    return pages;
}

void ReportPrintout::paintFrame(QPainter &painter, int page, int pages) const
{
    painter.setPen(Qt::black);
    painter.setFont(m_title);
    const qreal titleHeight = QFontMetricsF(m_title, m_device).lineSpacing();
    // The same on every page but the page number: kept laid out.
    m_texts->draw(painter, QRectF(0, 0, m_area.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter, m_document.title());
    painter.setFont(m_small);
    const qreal smallHeight = QFontMetricsF(m_small, m_device).lineSpacing();
    m_texts->draw(painter, QRectF(0, titleHeight, m_area.width(), smallHeight), Qt::AlignLeft | Qt::AlignVCenter, m_document.heading());
    painter.drawLine(QPointF(0, m_top - m_row / 4), QPointF(m_area.width(), m_top - m_row / 4));
    const qreal footY = m_area.height() - m_row;
    painter.drawLine(QPointF(0, footY), QPointF(m_area.width(), footY));
    m_texts->draw(painter, QRectF(0, footY, m_area.width(), m_row), Qt::AlignLeft | Qt::AlignVCenter,
                  m_document.title() + QStringLiteral(" (") + m_document.reportCode() + QLatin1Char(')'));
    painter.drawText(QRectF(0, footY, m_area.width(), m_row), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Página %1 de %2").arg(page).arg(pages));
    if (m_anyOverPlan) {
        painter.setPen(kOverPlanText);
        m_texts->draw(painter, QRectF(0, footY, m_area.width(), m_row), Qt::AlignHCenter | Qt::AlignVCenter,
                      kOverPlanMarker + QStringLiteral("em negrito: realizado mais de %1 acima do planejado").arg(m_document.overPlan().percentText()));
        painter.setPen(Qt::black);
    }
}

// One table row; `label`, when given, spans the leading columns that carry no total.
void ReportPrintout::paintRow(QPainter &painter, qreal y, qreal height, const QList<QString> &cells, const QString &label,
                              bool overPlan) const
{
    const QList<ReportLayout::Column> &columns = m_document.columns();
    int first = 0;
    if (!label.isNull()) {
        while (first < columns.size() && !columns[first].total)
            ++first;
        painter.drawText(QRectF(m_padding, y, qMax(m_columnX[first], m_area.width() / 3) - 2 * m_padding, height),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
    }
    // The over-plan colour is the cells' alone, not the label's.
    if (overPlan) {
        painter.save();
        painter.setPen(kOverPlanText);
    }
    for (int i = first; i < columns.size(); ++i) {
        const QRectF box(m_columnX[i] + m_padding, y, m_columnX[i + 1] - m_columnX[i] - 2 * m_padding, height);
        const bool marked = overPlan && m_document.marksOverPlan(i) && !cells.value(i).isEmpty();
        const QString cell = marked ? kOverPlanMarker + cells.value(i) : cells.value(i);
        if (columns[i].isTextual())
            m_texts->draw(painter, box, Qt::AlignLeft | Qt::AlignVCenter, m_texts->elided(painter.font(), cell, box.width()));
        else
            m_texts->draw(painter, box, Qt::AlignRight | Qt::AlignVCenter, cell);
    }
    if (overPlan)
        painter.restore();
}

void ReportPrintout::paintHeading(QPainter &painter, int level, const QString &text, qreal y, qreal height) const
{
    const qreal indent = indentOf(level);
    painter.setFont(m_bold);
    painter.drawText(QRectF(indent + m_padding, y, m_area.width() - indent, height), Qt::AlignLeft | Qt::AlignBottom, text);
}

void ReportPrintout::paintItem(QPainter &painter, const Item &item, qreal y) const
{
    const qreal width = m_area.width();
    if (item.kind == Item::NoticeTitle) {
        painter.setFont(m_bold);
        painter.drawText(QRectF(0, y, width, item.height), Qt::AlignLeft | Qt::AlignBottom, m_document.noticeTitle());
        return;
    }
    if (item.kind == Item::Filter || item.kind == Item::Notice) {
        const ReportDocument::HeaderLine &line = lineOf(item);
        const qreal label = labelWidth(item);
        painter.setFont(m_bold);
        painter.drawText(QRectF(0, y, label, m_row), Qt::AlignLeft | Qt::AlignVCenter, line.label + QStringLiteral(":"));
        painter.setFont(m_body);
        const qreal lead = (m_row - QFontMetricsF(m_body, m_device).lineSpacing()) / 2;
        painter.drawText(QRectF(label, y + lead, width - label, item.height), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, line.text);
        return;
    }
    if (item.kind == Item::Chart) {
        ReportChart(m_document.chart(), m_body, m_bold, m_device).paint(painter, QRectF(0, y, width, item.height - m_row));
        return;
    }
    if (item.kind == Item::ColumnHeader) {
        painter.fillRect(QRectF(0, y, width, item.height), kShade);
        painter.setFont(m_bold);
        QList<QString> labels;
        for (const ReportLayout::Column &column : m_document.columns())
            labels.append(column.label);
        paintRow(painter, y, item.height, labels, QString());
        return;
    }
    const ReportDocument::Band &band = m_document.bands()[item.index];
    if (item.kind == Item::Continuation) {
        paintHeading(painter, band.level, band.continued, y, item.height);
        return;
    }
    QList<QString> cells;
    for (int i = 0; i < band.values.size() && i < m_document.columns().size(); ++i)
        cells.append(m_document.cell(i, band.values[i]));
    const qreal indent = indentOf(band.level);
    switch (band.kind) {
    case BandKind::GroupHeader:
        paintHeading(painter, band.level, band.text, y, item.height);
        break;
    case BandKind::Detail:
        if (band.overPlan)
            painter.fillRect(QRectF(0, y, width, item.height), kOverPlanFill);
        painter.setFont(band.overPlan ? m_bold : m_body);
        paintRow(painter, y, item.height, cells, QString(), band.overPlan);
        break;
    case BandKind::GroupFooter:
    case BandKind::GrandTotal: {
        painter.setFont(m_bold);
        const bool grand = band.kind == BandKind::GrandTotal;
        if (grand || band.overPlan)
            painter.fillRect(QRectF(0, y, width, item.height), band.overPlan ? kOverPlanFill : kShade);
        painter.drawLine(QPointF(indent, y), QPointF(width, y));
        paintRow(painter, y, item.height, cells, (grand ? QString() : QString(2 * band.level, QLatin1Char(' '))) + band.text, band.overPlan);
        break;
    }
    case BandKind::Empty: {
        QFont italic = m_body;
        italic.setItalic(true);
        painter.setFont(italic);
        painter.drawText(QRectF(0, y, width, item.height * 2), Qt::AlignCenter, band.text);
        break;
    }
    }
}

int ReportPrintout::print(QPrinter &printer)
{
    const QString target = printer.outputFileName().isEmpty() ? printer.printerName()
                                                               : QDir::toNativeSeparators(printer.outputFileName());
    return paint({printer, printer.resolution(), target, [&printer] { return printer.printerState() == QPrinter::Error; },
                  [&printer] { printer.abort(); }});
}

int ReportPrintout::print(QPdfWriter &writer, const QString &fileName)
{
    return paint({writer, writer.resolution(), QDir::toNativeSeparators(fileName), [] { return false; }, [] {}});
}

void ReportPrintout::paintPage(QPainter &painter, int index) const
{
    paintFrame(painter, index + 1, pageCount());
    qreal y = m_top;
    for (const Item &item : m_pages[index]) {
        paintItem(painter, item, y);
        y += item.height;
    }
}

QImage ReportPrintout::pageImage(int index, const QSize &size) const
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    // The painter resolves fonts at the image's resolution: the pagination's, as the page is
    // scaled down from it as a whole.
    const int dotsPerMetre = qRound(m_resolution / 0.0254);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    QPainter painter(&image);
    const QRect page = m_layout.fullRectPixels(m_resolution);
    painter.scale(qreal(size.width()) / page.width(), qreal(size.height()) / page.height());
    painter.translate(m_layout.paintRectPixels(m_resolution).topLeft());
    paintPage(painter, index);
    return image;
}

int ReportPrintout::paint(const Device &device)
{
    device.pages.setPageOrientation(orientation());
    QPainter painter;
    if (!painter.begin(&device.pages))
        throw HostError(QStringLiteral("Não foi possível iniciar a impressão em \"%1\": impressora indisponível ou arquivo sem permissão de escrita.").arg(device.target));
    try {
        paginate(device.pages.pageLayout(), device.resolution, device.pages);
        for (int page = 0; page < pageCount(); ++page) {
            if (workUnderWay()) {
                setWorkStage(QStringLiteral("Página %1 de %2…").arg(page + 1).arg(pageCount()));
                keepResponsive();
            }
            if (page > 0 && !device.pages.newPage())
                throw HostError(QStringLiteral("A impressão foi interrompida na página %1.").arg(page + 1));
            paintPage(painter, page);
        }
    } catch (const CancelledError &) {
        device.abort();
        throw;
    }
    if (!painter.end() || device.failed())
        throw HostError(QStringLiteral("A impressão de \"%1\" falhou ao ser concluída.").arg(m_document.title()));
    return pageCount();
}

} // namespace host
