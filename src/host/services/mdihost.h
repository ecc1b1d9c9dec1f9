#pragma once

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace host {

// The MDI area of the main window (its central widget, or a child of it); nullptr when the host
// runs without a main window (tests, batch).
QMdiArea *MainMdiArea(QWidget *mainWindow);

// Puts a form into the MDI area as a sub-window that is hidden until shown and that a close only
// hides (the form decides on freeing). The sub-window takes the form's position (its design
// position, kept inside the area) and, for a fixed-size form, cannot be resized either.
// nullptr when there is no MDI area.
QMdiSubWindow *AddMdiChild(QWidget *form, QWidget *mainWindow);

} // namespace host
