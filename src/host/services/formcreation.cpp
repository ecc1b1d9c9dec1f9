#include "host/services/formcreation.h"

#include "host/services/dialogcontext.h"
#include "host/services/mdihost.h"

#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QWidget>

namespace host {

static int g_cursor = crDefault;

void SetScreenCursor(int cursor)
{
    const int wanted = cursor == crHourGlass ? crHourGlass : crDefault;
    if (wanted == g_cursor)
        return;
    if (wanted == crHourGlass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
    g_cursor = wanted;
}

int ScreenCursor()
{
    return g_cursor;
}

namespace detail {

void placeForm(QWidget *form)
{
    // Creating a form is the outermost call: the installed main window is the form's place.
    AddMdiChild(form, DialogContext::installed().mainWindow);
}

void discardForm(QWidget *form)
{
    if (auto *window = qobject_cast<QMdiSubWindow *>(form->parentWidget()))
        delete window;
    else
        delete form;
}

} // namespace detail
} // namespace host
