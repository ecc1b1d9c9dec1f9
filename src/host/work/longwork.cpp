#include "host/work/longwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QList>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <utility>

namespace host {

namespace {
std::atomic<bool> g_cancel{false};
std::atomic<bool> g_stop{false};
int g_shields = 0;
QString g_stage;
std::function<void(const QString &)> g_stageListener;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress: case QEvent::MouseButtonRelease: case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: case QEvent::Wheel: case QEvent::KeyPress: case QEvent::KeyRelease:
    case QEvent::ShortcutOverride: case QEvent::Shortcut: case QEvent::TouchBegin: case QEvent::TouchUpdate:
    case QEvent::TouchEnd: case QEvent::ContextMenu: case QEvent::Close: case QEvent::DragEnter:
    case QEvent::DragMove: case QEvent::Drop: case QEvent::TabletPress: case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// What the window system says while the screen waits (activation, focus) would start the
// screen's handlers again in the middle of the call: it is delivered once the wait is over, as
// if the call had blocked.
bool deliveredAfterWork(QEvent::Type type)
{
    switch (type) {
    case QEvent::FocusIn: case QEvent::FocusOut: case QEvent::FocusAboutToChange: case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: case QEvent::ActivationChange:
        return true;
    default:
        return false;
    }
}

struct HeldEvent {
    QPointer<QObject> receiver;
    QEvent *event;
};
QList<HeldEvent> g_held;

bool passesDuringWork(QObject *receiver)
{
    for (QObject *object = receiver; object; object = object->parent()) {
        if (object->property(kPassInputDuringWork).toBool())
            return true;
    }
    return false;
}

class InputFilter : public QObject
{
public:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (!receiver->isWidgetType())
            return false;
        if (deliveredAfterWork(event->type()) && !passesDuringWork(receiver)) {
            g_held.append({receiver, event->clone()});
            return true;
        }
        if (!isUserInput(event->type()))
            return false;
        // A close the program asks for itself (not the window system's) goes through.
        if (event->type() == QEvent::Close && !event->spontaneous())
            return false;
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            requestCancel();
            return true;
        }
        return !passesDuringWork(receiver);
    }
};

int g_holds = 0;
InputFilter *g_filter = nullptr;
} // namespace

void requestCancel() { g_cancel = true; }
void requestStop() { g_stop = true; }
bool stopRequested() { return g_stop; }
bool cancelPending() { return g_shields == 0 && (g_cancel || g_stop); }
void forgetCancel() { g_cancel = false; }

void throwIfCancelled()
{
    if (!cancelPending())
        return;
    g_cancel = false;
    throw CancelledError();
}

CancelShield::CancelShield() { ++g_shields; }
CancelShield::~CancelShield() { --g_shields; }

void setWorkStage(const QString &stage)
{
    if (stage == g_stage)
        return;
    g_stage = stage;
    if (g_stageListener)
        g_stageListener(stage);
}

QString workStage() { return g_stage; }
void setWorkStageListener(std::function<void(const QString &)> listener) { g_stageListener = std::move(listener); }

InputHold::InputHold()
{
    if (g_holds++ == 0 && QCoreApplication::instance()) {
        g_filter = new InputFilter;
        QCoreApplication::instance()->installEventFilter(g_filter);
    }
}

InputHold::~InputHold()
{
    if (--g_holds == 0) {
        delete g_filter; // removes itself from the application's filters
        g_filter = nullptr;
        for (const HeldEvent &held : std::exchange(g_held, {})) {
            if (held.receiver)
                QCoreApplication::postEvent(held.receiver, held.event);
            else
                delete held.event;
        }
    }
}

void keepResponsive()
{
    static QElapsedTimer lastPass;
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()
        && (!lastPass.isValid() || lastPass.elapsed() >= 40)) {
        InputHold hold;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        lastPass.start();
    }
    throwIfCancelled();
}

} // namespace host
