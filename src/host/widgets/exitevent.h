#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace host {

// Runs handler(widget), through the dispatcher, when the focus leaves the widget for another
// control of the application. Focus lost to a message box or another window does not count, so
// a check that fails on exit and shows its message brings the focus back without a loop.
void BindExit(QWidget *widget, std::function<void(QObject *sender)> handler);

} // namespace host
