#include "host/widgets/exitevent.h"

#include "host/services/dispatcher.h"

#include <QFocusEvent>
#include <QWidget>

namespace host {

namespace {

class ExitWatcher : public QObject
{
public:
    ExitWatcher(QWidget *widget, std::function<void(QObject *)> handler)
        : QObject(widget), m_widget(widget), m_handler(std::move(handler))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::FocusOut && !m_running) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason
                && reason != Qt::MenuBarFocusReason) {
                m_running = true;
                Dispatch([this] { m_handler(m_widget); });
                m_running = false;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_widget;
    std::function<void(QObject *)> m_handler;
    bool m_running = false;
};

} // namespace

void BindExit(QWidget *widget, std::function<void(QObject *sender)> handler)
{
    new ExitWatcher(widget, std::move(handler));
}

} // namespace host
