#include "host/widgets/previewpageview.h"

#include "host/services/previewpages.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace host {

static constexpr int kGap = 12; // around and between the pages
static constexpr qreal kZoomStep = 1.25;

PreviewPageView::PreviewPageView(const PreviewPages &pages, QWidget *parent) : QAbstractScrollArea(parent), m_pages(pages)
{
    // Always there, so that fitting the width does not make the bar come and go.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
}

QSize PreviewPageView::pageSizeOnScreen() const
{
    const QSizeF points = m_pages.pageSize();
    return QSize(qMax(1, qRound(points.width() * logicalDpiX() / 72.0 * m_zoom)),
                 qMax(1, qRound(points.height() * logicalDpiY() / 72.0 * m_zoom)));
}

int PreviewPageView::pageTop(int index) const
{
    return kGap + index * (pageSizeOnScreen().height() + kGap);
}

int PreviewPageView::pageLeft() const
{
    const int width = pageSizeOnScreen().width();
    const int room = viewport()->width();
    return width + 2 * kGap <= room ? (room - width) / 2 : kGap - horizontalScrollBar()->value();
}

void PreviewPageView::updateScrollBars()
{
    const QSize page = pageSizeOnScreen();
    const QSize room = viewport()->size();
    verticalScrollBar()->setRange(0, qMax(0, pageTop(m_pages.pageCount()) - room.height()));
    verticalScrollBar()->setPageStep(room.height());
    horizontalScrollBar()->setRange(0, qMax(0, page.width() + 2 * kGap - room.width()));
    horizontalScrollBar()->setPageStep(room.width());
}

void PreviewPageView::showPage(int index)
{
    index = qBound(0, index, qMax(0, m_pages.pageCount() - 1));
    m_placing = true;
    verticalScrollBar()->setValue(pageTop(index) - kGap);
    m_placing = false;
    if (index != m_current) {
        m_current = index;
        Q_EMIT currentPageChanged(index);
    }
}

void PreviewPageView::followScrolling()
{
    const QScrollBar *bar = verticalScrollBar();
    const int pitch = pageSizeOnScreen().height() + kGap;
    // At the end, the last page is the one the user went to, though its top may not reach the
    // top of the view.
    const int page = bar->maximum() > 0 && bar->value() == bar->maximum() ? m_pages.pageCount() - 1
                                                                           : (bar->value() + kGap / 2) / pitch;
    const int bounded = qBound(0, page, qMax(0, m_pages.pageCount() - 1));
    if (bounded != m_current) {
        m_current = bounded;
        Q_EMIT currentPageChanged(bounded);
    }
}

void PreviewPageView::applyZoom(qreal zoom)
{
    zoom = qBound(kMinZoom, zoom, kMaxZoom);
    if (qFuzzyCompare(zoom, m_zoom)) {
        updateScrollBars();
        return;
    }
    // The same place of the same page stays at the top.
    const qreal position = qreal(verticalScrollBar()->value()) / (pageSizeOnScreen().height() + kGap);
    m_zoom = zoom;
    m_images.clear();
    m_lastUsed.clear();
    m_placing = true;
    updateScrollBars();
    verticalScrollBar()->setValue(qRound(position * (pageSizeOnScreen().height() + kGap)));
    m_placing = false;
    viewport()->update();
    Q_EMIT zoomChanged(m_zoom);
}

void PreviewPageView::setZoom(qreal zoom)
{
    m_fit = Fit::None;
    applyZoom(zoom);
}

void PreviewPageView::zoomIn()
{
    setZoom(m_zoom * kZoomStep);
}

void PreviewPageView::zoomOut()
{
    setZoom(m_zoom / kZoomStep);
}

void PreviewPageView::setFit(Fit fit)
{
    m_fit = fit;
    if (fit == Fit::None)
        return;
    const QSizeF points = m_pages.pageSize();
    const qreal width = (viewport()->width() - 2 * kGap) / (points.width() * logicalDpiX() / 72.0);
    const qreal height = (viewport()->height() - 2 * kGap) / (points.height() * logicalDpiY() / 72.0);
    // Rounded down, so a fitted page never brings the horizontal bar.
    applyZoom(std::floor((fit == Fit::Width ? width : qMin(width, height)) * 1000) / 1000);
}

void PreviewPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fit != Fit::None)
        setFit(m_fit);
    else
        updateScrollBars();
}

void PreviewPageView::scrollContentsBy(int, int)
{
    viewport()->update();
    if (!m_placing)
        followScrolling();
}

void PreviewPageView::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return QAbstractScrollArea::wheelEvent(event);
    if (event->angleDelta().y() > 0)
        zoomIn();
    else if (event->angleDelta().y() < 0)
        zoomOut();
    event->accept();
}

const QImage &PreviewPageView::imageOf(int index)
{
    m_lastUsed.removeOne(index);
    m_lastUsed.append(index);
    const qreal ratio = devicePixelRatioF();
    auto kept = m_images.find(index);
    // Painted again for a screen of another pixel ratio, where the window has moved.
    if (kept == m_images.end() || kept->devicePixelRatio() != ratio) {
        QImage image = m_pages.pageImage(index, pageSizeOnScreen() * ratio);
        image.setDevicePixelRatio(ratio);
        kept = m_images.insert(index, image);
        Q_EMIT pageRendered(index);
    }
    return *kept;
}

void PreviewPageView::keepWithinBudget(int firstShown, int lastShown)
{
    qsizetype bytes = 0;
    for (const QImage &image : std::as_const(m_images))
        bytes += image.sizeInBytes();
    for (int i = 0; i < m_lastUsed.size() && bytes > kImageBudget;) {
        const int page = m_lastUsed[i];
        if (page >= firstShown && page <= lastShown) {
            ++i;
            continue;
        }
        bytes -= m_images.take(page).sizeInBytes();
        m_lastUsed.removeAt(i);
    }
}

void PreviewPageView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Dark));
    const int count = m_pages.pageCount();
    if (count == 0)
        return;
    const QSize page = pageSizeOnScreen();
    const int pitch = page.height() + kGap;
    const int top = verticalScrollBar()->value();
    const int first = qBound(0, (top - kGap) / pitch, count - 1);
    const int last = qBound(0, (top + viewport()->height()) / pitch, count - 1);
    const int left = pageLeft();
    for (int index = first; index <= last; ++index) {
        const QRect area(QPoint(left, pageTop(index) - top), page);
        if (!area.intersects(event->rect()))
            continue;
        painter.fillRect(area.translated(3, 3), palette().color(QPalette::Shadow));
        painter.drawImage(area.topLeft(), imageOf(index));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(area.adjusted(0, 0, -1, -1));
    }
    keepWithinBudget(first, last);
}

} // namespace host
