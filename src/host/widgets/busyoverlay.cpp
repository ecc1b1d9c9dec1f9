#include "host/widgets/busyoverlay.h"

#include "host/work/longwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
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
    // The one place that takes clicks while the screen waits for its call.
    setProperty(kPassInputDuringWork, true);
    m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    m_cancel->setToolTip(QStringLiteral("Interrompe a operação (Esc)"));
    m_cancel->setFocusPolicy(Qt::NoFocus);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        requestCancel();
        m_cancel->setEnabled(false);
        m_cancel->setText(QStringLiteral("Cancelando..."));
    });
    m_elapsed.start();
    mainWindow->installEventFilter(this);
    place();
    // Runs while a call waits or the report's pages are made, so the spinner and the time move.
    m_timer = startTimer(120);
}

void BusyOverlay::setKindAndText(int kind, const QString &text)
{
    m_kind = kind;
    m_text = text;
    place();
    update();
}

QString BusyOverlay::caption() const
{
    const QString stage = workStage();
    return stage.isEmpty() ? captionFor(m_kind, m_text) : stage;
}

void BusyOverlay::place()
{
    const QFontMetrics metrics(font());
    const QSize button = m_cancel->sizeHint();
    const int width = qMax(300, metrics.horizontalAdvance(caption()) + 90 + button.width());
    const QSize size(width, 80);
    const QRect area = parentWidget()->rect();
    setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
    m_cancel->setGeometry(QRect(QPoint(width - button.width() - 12, (size.height() - button.height()) / 2), button));
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
    place();
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
    const int textWidth = m_cancel->x() - 72;
    painter.drawText(QRect(64, 8, textWidth, height() / 2 - 4), Qt::AlignBottom | Qt::AlignLeft, caption());
    const qint64 seconds = m_elapsed.elapsed() / 1000;
    painter.drawText(QRect(64, height() / 2 + 4, textWidth, height() / 2 - 12), Qt::AlignTop | Qt::AlignLeft,
                     QStringLiteral("Tempo decorrido: %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

} // namespace host
