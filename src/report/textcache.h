#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QRectF>
#include <QString>
#include <QTextLayout>

#include <memory>

class QPaintDevice;
class QPainter;

namespace host {

// The shaped lines of texts a long report repeats on every page (codes, product names, units),
// laid out once per font and device, and drawn or elided as QPainter and QFontMetricsF would.
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
        qreal width = 0;  // the widest line's natural width
        qreal height = 0;
        Qt::LayoutDirection direction = Qt::LayoutDirectionAuto; // the painter's when laid out
    };
    using Lines = QHash<QString, Line>;
    using Elisions = QHash<std::pair<QString, qreal>, QString>; // by text and width
    const Line &layOut(Lines &lines, const QFont &font, const QString &text, Qt::LayoutDirection direction);

    QPaintDevice *m_device;
    // Per font; a report paints with a handful of them.
    QList<std::pair<QFont, std::shared_ptr<Lines>>> m_lines;
    QList<std::pair<QFont, std::shared_ptr<Elisions>>> m_elided;
};

} // namespace host
