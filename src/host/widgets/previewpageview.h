#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QList>

namespace host {

class PreviewPages;

// The pages of a preview one under the other, as on a desk. Only the pages in sight are painted,
// each when it first comes into sight; the last ones painted are kept up to a memory budget, so
// a report of hundreds of pages costs a few pages' images, not all of them.
class PreviewPageView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // How the zoom follows the window's size: not at all, the page's width, or the whole page.
    enum class Fit { None, Width, Page };

    explicit PreviewPageView(const PreviewPages &pages, QWidget *parent = nullptr);

    // The page at the top of the view (from 0).
    int currentPage() const { return m_current; }
    // Brings page `index` to the top of the view (bounded to the pages there are).
    void showPage(int index);
    // 1 shows a page at its printed size on this screen.
    qreal zoom() const { return m_zoom; }
    // A zoom of the user's (bounded to kMinZoom..kMaxZoom); the fit is then None.
    void setZoom(qreal zoom);
    void zoomIn();
    void zoomOut();
    Fit fit() const { return m_fit; }
    void setFit(Fit fit);
    // How many page images are kept now.
    int keptPages() const { return int(m_images.size()); }

    static constexpr qreal kMinZoom = 0.25;
    static constexpr qreal kMaxZoom = 4.0;
    // Beyond the pages in sight, kept images take at most this much memory.
    static constexpr qsizetype kImageBudget = 64 * 1024 * 1024;

Q_SIGNALS:
    void currentPageChanged(int index);
    void zoomChanged(qreal zoom);
    // A page was painted into its image (it comes into sight).
    void pageRendered(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    QSize pageSizeOnScreen() const;
    int pageTop(int index) const; // in the content's coordinates
    int pageLeft() const;          // in the viewport's coordinates
    void updateScrollBars();
    void applyZoom(qreal zoom);
    const QImage &imageOf(int index);
    void keepWithinBudget(int firstShown, int lastShown);
    void followScrolling();

    const PreviewPages &m_pages;
    qreal m_zoom = 1;
    Fit m_fit = Fit::Width;
    int m_current = 0;
    bool m_placing = false; // showPage or a zoom moves the view: the current page is already known
    QHash<int, QImage> m_images;
    QList<int> m_lastUsed; // the kept pages, the least recently shown first
};

} // namespace host
