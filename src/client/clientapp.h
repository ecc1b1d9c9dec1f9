#pragma once

class QApplication;

namespace client {

// Runs the desktop client: reads the command line and the configuration, opens the general
// database, logs in, shows the main window and opens the modules named by --open. A start-up
// failure is told in Portuguese (on stderr, and in a message box when there is a screen) and
// answers a non-zero exit code.
int RunClient(QApplication &app);

} // namespace client
