#include "client/menuentries.h"

namespace client {

QList<MenuEntry> ReportMenuEntries()
{
    // One line per report module: {caption, module name}.
    return {
        {QStringLiteral("Custo Planejado X Realizado"), QStringLiteral("PKG_ZUB01100")},
    };
}

} // namespace client
