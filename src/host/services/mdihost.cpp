#include "host/services/mdihost.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace host {

QMdiArea *MainMdiArea(QWidget *window)
{
    if (!window)
        return nullptr;
    if (auto *main = qobject_cast<QMainWindow *>(window)) {
        if (auto *area = qobject_cast<QMdiArea *>(main->centralWidget()))
            return area;
    }
    return window->findChild<QMdiArea *>();
}

QMdiSubWindow *AddMdiChild(QWidget *form, QWidget *mainWindow)
{
    QMdiArea *area = MainMdiArea(mainWindow);
    if (!area)
        return nullptr;
    const Qt::WindowFlags flags = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                  | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    const QPoint designPosition = form->pos();
    const bool fixedSize = form->minimumSize() == form->maximumSize();
    QMdiSubWindow *window = area->addSubWindow(form, flags);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    if (fixedSize) {
        window->adjustSize();
        window->setFixedSize(window->size());
    }
    // Where the area is too small for the design position, as far there as the whole window fits.
    const QSize room = area->viewport()->size() - window->size();
    window->move(qBound(0, designPosition.x(), qMax(0, room.width())), qBound(0, designPosition.y(), qMax(0, room.height())));
    window->setWindowIcon(form->windowIcon());
    window->hide();
    return window;
}

} // namespace host
