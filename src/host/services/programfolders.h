#pragma once

#include <QString>

namespace host {

// Where the client's parts lie, relative to the running program, so an installed client never
// depends on the folder it was built in:
//   installed   /usr/bin/zub-client, /usr/lib/zub/ (libraries, modules), /usr/share/zub/reports/
//   build tree  build/bin/ (program, libraries, modules), build/share/zub/reports/ (a link CMake
//               makes to the layouts of the sources)

// <program>/../lib/zub when it exists, else the program's own folder.
QString ModulesFolder();
// "reports" beside the program when it exists (a copied folder), else <program>/../share/zub/reports.
QString LayoutsFolder();

} // namespace host
