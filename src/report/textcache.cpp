#include "report/textcache.h"

#include <QFontMetricsF>
#include <QGlyphRun>
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

QPointF TextCache::offset(const QRectF &box, int flags, qreal width, qreal height, bool *clip)
{
    QPointF off;
    if (flags & Qt::AlignBottom)
        off.ry() = box.height() - height;
    else if (flags & Qt::AlignVCenter)
        off.ry() = (box.height() - height) / 2;
    if (flags & Qt::AlignRight)
        off.rx() = box.width() - width;
    else if (flags & Qt::AlignHCenter)
        off.rx() = (box.width() - width) / 2;
    *clip = !(flags & Qt::TextDontClip) && !box.contains(QRectF(box.x() + off.x(), box.y() + off.y(), width, height));
    return off;
}

void TextCache::draw(QPainter &painter, const QRectF &box, int flags, const QString &text)
{
    if (text.isEmpty() || drawFigures(painter, box, flags, text))
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
    // Clipped by the line's natural width, placed by its advance, as QPainter does.
    const QTextLine row = laid.layout->lineAt(0);
    bool clip = false;
    const qreal yoff = offset(box, flags, laid.width, laid.height, &clip).y();
    bool unused = false;
    const qreal xoff = offset(box, flags, row.horizontalAdvance(), laid.height, &unused).x();
    if (clip) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    row.draw(&painter, QPointF(box.x() + xoff, box.y() + yoff));
    if (clip)
        painter.restore();
}

// The characters of figures, set glyph by glyph.
static const QString &figureCharacters()
{
    static const QString characters = QStringLiteral("0123456789.,-+%/");
    return characters;
}

// QFixed::fromReal, the 26.6 fixed point QPainter places glyphs by.
static qreal toFixedPoint(qreal value)
{
    return int(value * 64) / qreal(64);
}

TextCache::Figures TextCache::figuresOf(const QFont &font)
{
    Figures figures;
    figures.examined = true;
    const QString &characters = figureCharacters();
    struct Shaped {
        QGlyphRun run;
        qreal width = 0;
        qreal height = 0;
    };
    const auto shape = [&](const QString &text) {
        QTextLayout layout(text, font, m_device);
        layout.beginLayout();
        QTextLine row = layout.createLine();
        row.setLineWidth(0x01000000);
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        return Shaped{runs.size() == 1 ? runs.first() : QGlyphRun(), row.naturalTextWidth(), row.ascent() + row.descent()};
    };
    for (const QChar character : characters) {
        const Shaped one = shape(QString(character));
        if (one.run.glyphIndexes().size() != 1 || (figures.font.isValid() && !(one.run.rawFont() == figures.font)))
            return figures;
        if (!figures.font.isValid()) {
            figures.font = one.run.rawFont();
            figures.baseline = one.run.positions().first().y();
            figures.height = one.height;
        } else if (one.run.positions().first().y() != figures.baseline || one.height != figures.height) {
            return figures;
        }
        figures.glyphs.append(one.run.glyphIndexes().first());
        figures.advances.append(one.width);
    }
    // A kerned pair, or any other shaping between two of them, and glyph by glyph is not the same.
    for (int a = 0; a < characters.size(); ++a) {
        for (int b = 0; b < characters.size(); ++b) {
            const QGlyphRun run = shape(QString(characters[a]) + characters[b]).run;
            if (run.glyphIndexes() != QList<quint32>{figures.glyphs[a], figures.glyphs[b]}
                || run.positions().last().x() - run.positions().first().x() != figures.advances[a])
                return figures;
        }
    }
    figures.usable = true;
    return figures;
}

bool TextCache::drawFigures(QPainter &painter, const QRectF &box, int flags, const QString &text)
{
    const QString &characters = figureCharacters();
    if (painter.layoutDirection() == Qt::RightToLeft)
        return false;
    const QFont &font = painter.font();
    Figures &figures = keptFor(m_figures, font);
    if (!figures.examined)
        figures = figuresOf(font);
    if (!figures.usable)
        return false;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    qreal width = 0;
    for (const QChar character : text) {
        const qsizetype index = characters.indexOf(character);
        if (index < 0)
            return false;
        glyphs.append(figures.glyphs[index]);
        positions.append(QPointF(width, 0));
        width += figures.advances[index];
    }
    bool clip = false;
    const QPointF off = offset(box, flags, width, figures.height, &clip);
    // As QTextLine::draw: the line's origin in fixed point, each glyph after the advances before it.
    const QPointF origin(toFixedPoint(box.x() + off.x()), toFixedPoint(box.y() + off.y()) + figures.baseline);
    for (QPointF &position : positions)
        position += origin;
    QGlyphRun run;
    run.setRawFont(figures.font);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    if (clip) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
    }
    painter.drawGlyphRun(QPointF(0, 0), run);
    if (clip)
        painter.restore();
    return true;
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
