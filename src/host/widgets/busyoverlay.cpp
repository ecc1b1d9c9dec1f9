#include "host/widgets/busyoverlay.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

namespace host {

static QString captionFor(int kind, const QString &text)
{
    if (!text.isEmpty())
        return text;
    return kind == 6 ? QStringLiteral("Pesquisando...") : QStringLiteral("Aguarde...");
}

BusyOverlay::BusyOverlay(QWidget *mainWindow, int kind, const QString &text)
    : QWidget(mainWindow), m_kind(kind), m_text(text)
{
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setFocusPolicy(Qt::NoFocus);
    mainWindow->installEventFilter(this);
    place();
    // Moves while the event loop runs between synchronous calls; a call in progress shows a still frame.
    m_timer = startTimer(120);
}

void BusyOverlay::setKindAndText(int kind, const QString &text)
{
    m_kind = kind;
    m_text = text;
    place();
    update();
}

void BusyOverlay::place()
{
    const QFontMetrics metrics(font());
    const int width = qMax(260, metrics.horizontalAdvance(captionFor(m_kind, m_text)) + 90);
    const QSize size(width, 72);
    const QRect area = parentWidget()->rect();
    setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
}

bool BusyOverlay::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

void BusyOverlay::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer)
        return QWidget::timerEvent(event);
    m_step = (m_step + 1) % 12;
    update();
}

void BusyOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(frame, palette().color(QPalette::Window));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawPath(frame);

    const QPointF centre(36, height() / 2.0);
    for (int i = 0; i < 12; ++i) {
        QColor colour = palette().color(QPalette::Highlight);
        colour.setAlphaF(0.15 + 0.85 * ((i + 12 - m_step) % 12) / 11.0);
        painter.save();
        painter.translate(centre);
        painter.rotate(i * 30.0);
        painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -9), QPointF(0, -16));
        painter.restore();
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(64, 0, width() - 72, height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap,
                     captionFor(m_kind, m_text));
}

} // namespace host
