#pragma once

#include "host/data/errors.h"

#include <QString>
#include <functional>

namespace host {

// The long work of one command (a call to the server, the building and printing of a report):
// its stage for the busy panel, and a request to stop it. Lives at the bottom of the host so that
// the network layer, the report engine and the widgets share one source.

// Raised where the work stops after a cancel; ends the command quietly, like an abort.
class CancelledError : public AbortError
{
public:
    const char *what() const noexcept override { return "operação cancelada pelo usuário"; }
};

// A press of "Cancelar" or Esc: the work under way stops at its next check, once.
void requestCancel();
// A stop signal (SIGINT/SIGTERM in batch): safe inside a signal handler; every later work stops too.
void requestStop();
bool stopRequested();
// True when the work under way should stop now (never inside a CancelShield).
bool cancelPending();
// Throws CancelledError, and forgets the cancel, when one is pending.
void throwIfCancelled();
// A new command starts: a cancel left over from the last one is forgotten.
void forgetCancel();

// The clean-up after an output runs to its end even when the output was cancelled.
class CancelShield
{
public:
    CancelShield();
    ~CancelShield();
    CancelShield(const CancelShield &) = delete;
    CancelShield &operator=(const CancelShield &) = delete;
};

// The stage shown by the busy panel ("Preparando os dados…"); empty: none.
void setWorkStage(const QString &stage);
QString workStage();
// A long work shows its stage: the report engine lets the window paint only then (not, say, while
// the preview window paints a page).
inline bool workUnderWay() { return !workStage().isEmpty(); }
// Told of every stage change (the busy panel, batch mode's stderr).
void setWorkStageListener(std::function<void(const QString &)> listener);

// While it lives, the window keeps painting but the user's input is held back, except Esc (a
// cancel) and what is inside a widget marked with kPassInputDuringWork (the "Cancelar" button);
// activation and focus changes are delivered when it ends. So no handler of the screen runs again
// in the middle of its own call.
class InputHold
{
public:
    InputHold();
    ~InputHold();
    InputHold(const InputHold &) = delete;
    InputHold &operator=(const InputHold &) = delete;
};
inline constexpr char kPassInputDuringWork[] = "zubPassInputDuringWork";

// Lets paint and timer events (and the cancel) through during work that runs on this thread;
// raises CancelledError when a cancel is pending.
void keepResponsive();

} // namespace host
