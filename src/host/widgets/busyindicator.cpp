#include "host/widgets/busyindicator.h"

#include "host/widgets/busyoverlay.h"

#include "host/work/longwork.h"

#include <QCoreApplication>
#include <QPointer>

namespace host {

namespace {
struct BusyState {
    bool shown = false;
    int kind = 0;
    QString text;
    int openings = 0;
    int works = 0;
    QPointer<BusyOverlay> overlay;
};
BusyState &state()
{
    static BusyState s;
    return s;
}
} // namespace

static void showOverlay(QWidget *mainForm, int kind, const QString &text)
{
    BusyState &s = state();
    if (!mainForm || !mainForm->isVisible())
        return;
    if (s.overlay && s.overlay->parentWidget() != mainForm)
        delete s.overlay;
    if (s.overlay)
        s.overlay->setKindAndText(kind, text);
    else
        s.overlay = new BusyOverlay(mainForm, kind, text);
    s.overlay->show();
    s.overlay->raise();
    s.overlay->repaint();
    // Lets the window system show the frame before the caller blocks; keys and clicks wait.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ActiveShowAvi(QWidget *mainForm, int kind, const QString &text)
{
    BusyState &s = state();
    s.shown = true;
    s.kind = kind;
    s.text = text;
    ++s.openings;
    showOverlay(mainForm, kind, text);
}

void DeactiveShowAvi()
{
    BusyState &s = state();
    s.shown = false;
    if (s.works == 0)
        delete s.overlay;
    else if (s.overlay)
        s.overlay->setKindAndText(0, QString());
}

BusyWork::BusyWork(QWidget *mainForm, const QString &stage)
{
    BusyState &s = state();
    setWorkStage(stage);
    if (s.works++ == 0 && !s.overlay)
        showOverlay(mainForm, 0, QString());
}

BusyWork::~BusyWork()
{
    BusyState &s = state();
    if (--s.works == 0) {
        setWorkStage(QString());
        if (!s.shown)
            delete s.overlay;
    }
}

BusyOverlay *BusyPanel()
{
    return state().overlay;
}

bool BusyIndicatorShown()
{
    return state().shown;
}

int BusyIndicatorKind()
{
    return state().kind;
}

QString BusyIndicatorText()
{
    return state().text;
}

int BusyIndicatorOpenings()
{
    return state().openings;
}

} // namespace host
