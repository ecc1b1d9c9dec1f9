#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QRawFont>
#include <QRectF>
#include <QString>
#include <QTextLayout>

#include <memory>

class QPaintDevice;
class QPainter;

namespace host {

// The shaped lines of texts a long report repeats on every page (codes, product names, units),
// laid out once per font and device, and drawn or elided as QPainter and QFontMetricsF would.
// Figures (numbers, dates), seldom the same twice, are set glyph by glyph from each character's
// shape instead, in fonts that do not kern them.
class TextCache
{
public:
    explicit TextCache(QPaintDevice *device) : m_device(device) {}

    // What painter.drawText(box, flags, text) draws, for one line without wrapping: flags of
    // horizontal and vertical alignment only.
    void draw(QPainter &painter, const QRectF &box, int flags, const QString &text);
    // QFontMetricsF(font, device).elidedText(text, Qt::ElideRight, width).
    QString elided(const QFont &font, const QString &text, qreal width);
    // The lines kept, of every font.
    qsizetype size() const;

private:
    struct Line {
        std::shared_ptr<QTextLayout> layout;
        qreal width = 0; // the line's natural width
        qreal height = 0;
        Qt::LayoutDirection direction = Qt::LayoutDirectionAuto; // the painter's when laid out
    };
    // Each figure character's glyph and advance in one font, and the line's metrics; usable
    // when no pair of them is kerned and all come from the font itself.
    struct Figures {
        bool examined = false;
        bool usable = false;
        QRawFont font;
        QList<quint32> glyphs;
        QList<qreal> advances;
        qreal baseline = 0;
        qreal height = 0;
    };
    using Lines = QHash<QString, Line>;
    using Elisions = QHash<std::pair<QString, qreal>, QString>; // by text and width
    const Line &layOut(Lines &lines, const QFont &font, const QString &text, Qt::LayoutDirection direction);
    Figures figuresOf(const QFont &font);
    bool drawFigures(QPainter &painter, const QRectF &box, int flags, const QString &text);
    // Where QPainter puts a line of `width` and `height`: its offset in the box, and whether it is
    // clipped to it.
    static QPointF offset(const QRectF &box, int flags, qreal width, qreal height, bool *clip);

    QPaintDevice *m_device;
    // Per font; a report paints with a handful of them.
    QList<std::pair<QFont, std::shared_ptr<Lines>>> m_lines;
    QList<std::pair<QFont, std::shared_ptr<Elisions>>> m_elided;
    QList<std::pair<QFont, std::shared_ptr<Figures>>> m_figures;
};

} // namespace host
