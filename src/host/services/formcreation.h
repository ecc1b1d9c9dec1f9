#pragma once

#include <QPointer>
#include <utility>

class QWidget;

namespace host {

inline constexpr int crDefault = 0;
inline constexpr int crHourGlass = -11;

// The screen cursor of the application: crHourGlass shows the wait cursor over every window,
// crDefault (and any other value) takes it away. Setting the same value twice changes nothing.
void SetScreenCursor(int cursor);
int ScreenCursor();

namespace detail {
void placeForm(QWidget *form);
void discardForm(QWidget *form);
} // namespace detail

// Creates a form in two phases: constructs it, stores it in `reference`, puts it into the MDI
// area (when the host has one), and only then runs its FormCreate, so that FormCreate may close
// the form through `reference` (the form's FormClose then empties it). An exception from
// FormCreate frees the form, empties `reference` and propagates.
template <class T, class... Args>
void CreateForm(T *&reference, Args &&...args)
{
    T *form = new T(std::forward<Args>(args)...);
    reference = form;
    QPointer<T> guard(form);
    detail::placeForm(form);
    try {
        form->FormCreate(form);
    } catch (...) {
        if (guard)
            detail::discardForm(guard.data());
        reference = nullptr;
        throw;
    }
}

} // namespace host
