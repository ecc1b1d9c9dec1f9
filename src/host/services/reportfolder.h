#pragma once

#include <QString>

namespace host {

// Where the save and open dialogs of reports start: the folder of the last report saved in this
// session while it exists, else the user's documents folder when there is one, else the home
// folder (a folder that does not exist would be taken by the file dialog as a file name).
QString reportFolder();
// A report was written to `path`: the next dialog starts in its folder.
void rememberSavedReport(const QString &path);

} // namespace host
