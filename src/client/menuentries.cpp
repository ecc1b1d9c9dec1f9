#include "client/menuentries.h"

namespace client {

QList<MenuEntry> ReportMenuEntries()
{
    // One line per report module: {caption, module name}.
    return {
    };
}

} // namespace client
