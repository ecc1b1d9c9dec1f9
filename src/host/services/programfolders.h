#pragma once

#include <QString>

namespace host {

// Where the client's parts lie, relative to the running program, so an installed client never
// depends on the folder it was built in:
//   installed   /usr/bin/zub-client, /usr/lib/zub/ (libraries, modules), /usr/share/zub/reports/,
//               /usr/share/zub/help/
//   build tree  build/bin/ (program, libraries, modules), build/share/zub/reports/ and
//               build/share/zub/help/ (links CMake makes to the layouts and help pages of the sources)

// <program>/../lib/zub when it exists, else the program's own folder.
QString ModulesFolder();
// "reports" beside the program when it exists (a copied folder), else <program>/../share/zub/reports.
QString LayoutsFolder();
// <program>/../share/zub/help: the help pages (docs/help of the sources).
QString HelpFolder();

} // namespace host
