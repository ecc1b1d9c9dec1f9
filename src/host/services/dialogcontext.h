#pragma once

#include "host/data/codepicture.h"

#include <QString>

class QWidget;

namespace host {

class UserInteraction;
class TdtmDBGeral;
class HostSession;

// What a dialog needs from the client that runs it: whom to ask, the general database the
// reports read with the logged-in session (its code picture and report folder), and the main
// window. A form hands its own to the dialogs it owns; dialogs never look for the installed host
// services themselves.
struct DialogContext {
    UserInteraction *ui = nullptr;
    TdtmDBGeral *database = nullptr;
    HostSession *session = nullptr;
    QWidget *mainWindow = nullptr;

    // The installed host services' context, empty when none is installed. For the outermost
    // call sites only: a form's creation, and the entry points kept for callers without one.
    static DialogContext installed();

    // Raises HostError when the context has no user interaction.
    UserInteraction &interaction() const;
    TdtmDBGeral &generalDatabase() const;
    TPictObj productCodePicture() const;
    // The configured report folder; empty for the default one.
    QString reportsDir() const;
};

} // namespace host
