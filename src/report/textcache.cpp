#include "report/textcache.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLine>

#include <algorithm>

namespace host {

// A bound on the texts kept per font: a report's repeated texts are far fewer; past it, texts
// are drawn and elided without being kept.
static constexpr int kKeptPerFont = 4096;

// What QPainter lays out differently than one plain left-to-right line: line breaks, tabs,
// trailing spaces (kept in the line's width there), text of several length variants.
static bool plainLine(const QString &text)
{
    if (text.endsWith(QLatin1Char(' ')) || text.isRightToLeft())
        return false;
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x9c || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

template<typename Kept>
static Kept &keptFor(QList<std::pair<QFont, std::shared_ptr<Kept>>> &fonts, const QFont &font)
{
    for (const auto &[known, kept] : std::as_const(fonts)) {
        if (known == font)
            return *kept;
    }
    fonts.append({font, std::make_shared<Kept>()});
    return *fonts.last().second;
}

const TextCache::Line &TextCache::layOut(Lines &lines, const QFont &font, const QString &text, Qt::LayoutDirection direction)
{
    // As QPainter::drawText lays out a rectangle's text that neither wraps nor clips lines: one
    // line of unbounded width at the top.
    Line line;
    line.direction = direction;
    line.layout = std::make_shared<QTextLayout>(text, font, m_device);
    line.layout->setCacheEnabled(true);
    QTextOption option;
    option.setTextDirection(direction);
    option.setAlignment(Qt::AlignLeft);
    line.layout->setTextOption(option);
    line.layout->beginLayout();
    QTextLine row = line.layout->createLine();
    row.setLineWidth(0x01000000);
    row.setPosition(QPointF(0, 0));
    line.layout->endLayout();
    line.width = row.naturalTextWidth();
    // The line's own height, not QTextLine::height(), which rounds it up.
    line.height = row.ascent() + row.descent() + (row.leadingIncluded() ? qMax(qreal(0), row.leading()) : 0);
    return *lines.insert(text, line);
}

void TextCache::draw(QPainter &painter, const QRectF &box, int flags, const QString &text)
{
    if (text.isEmpty())
        return;
    const QFont &font = painter.font();
    const Qt::LayoutDirection direction = painter.layoutDirection();
    Lines &lines = keptFor(m_lines, font);
    const auto found = lines.constFind(text);
    const bool keep = found != lines.constEnd() ? found->direction == direction
                                                : lines.size() < kKeptPerFont && plainLine(text) && direction != Qt::RightToLeft;
    if (!keep) {
        painter.drawText(box, flags, text);
        return;
    }
    const Line &laid = found != lines.constEnd() ? *found : layOut(lines, font, text, direction);
    // QPainter's offsets for the line: of the line's natural width for clipping, of its advance
    // for placing it.
    const QTextLine row = laid.layout->lineAt(0);
    qreal yoff = 0;
    if (flags & Qt::AlignBottom)
        yoff = box.height() - laid.height;
    else if (flags & Qt::AlignVCenter)
        yoff = (box.height() - laid.height) / 2;
    qreal xoff = 0;
    qreal placed = 0;
    if (flags & Qt::AlignRight) {
        xoff = box.width() - laid.width;
        placed = box.width() - row.horizontalAdvance();
    } else if (flags & Qt::AlignHCenter) {
        xoff = (box.width() - laid.width) / 2;
        placed = (box.width() - row.horizontalAdvance()) / 2;
    }
    const bool clip = !(flags & Qt::TextDontClip) && !box.contains(QRectF(box.x() + xoff, box.y() + yoff, laid.width, laid.height));
    if (clip) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    row.draw(&painter, QPointF(box.x() + placed, box.y() + yoff));
    if (clip)
        painter.restore();
}

qsizetype TextCache::size() const
{
    qsizetype kept = 0;
    for (const auto &[font, lines] : m_lines)
        kept += lines->size();
    return kept;
}

QString TextCache::elided(const QFont &font, const QString &text, qreal width)
{
    Elisions &elisions = keptFor(m_elided, font);
    const std::pair<QString, qreal> key{text, width};
    const auto found = elisions.constFind(key);
    if (found != elisions.constEnd())
        return *found;
    const QString shown = QFontMetricsF(font, m_device).elidedText(text, Qt::ElideRight, width);
    if (elisions.size() < kKeptPerFont)
        elisions.insert(key, shown);
    return shown;
}

} // namespace host
