#pragma once

#include <QWidget>

// Whether `widget` can hold the focus now: enabled and shown in its window (the single branch's
// field is disabled for a branch user and hidden on the list page).
inline bool canTakeFocus(const QWidget *widget)
{
    return widget->isEnabled() && widget->isVisibleTo(widget->window());
}
