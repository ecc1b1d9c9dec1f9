#pragma once

#include "host/services/hostservices.h"
#include "host/widgets/busyindicator.h"

#include <QString>

namespace zub01100 {

// Shows the host's busy indicator over the main window for the life of the scope, so it is
// closed on success and on failure alike.
class BusyScope
{
public:
    explicit BusyScope(int kind, const QString &text = QString())
    {
        host::ActiveShowAvi(host::HostServices::current().mainWindow(), kind, text);
    }
    ~BusyScope() { host::DeactiveShowAvi(); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;
};

} // namespace zub01100
