#pragma once

#include <functional>

namespace host {

class UserInteraction;

// Runs one event handler so that no exception crosses the Qt event loop: an abort ends the
// command quietly (its text was already shown), any other failure is shown as an error.
// Answers true when the handler ran to its end.
bool Dispatch(const std::function<void()> &handler, UserInteraction &ui);
// The same, with the interaction of the installed host services.
bool Dispatch(const std::function<void()> &handler);

} // namespace host
