#include "host/services/dispatcher.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/services/hostservices.h"
#include "host/services/userinteraction.h"

namespace host {

bool Dispatch(const std::function<void()> &handler, UserInteraction &ui)
{
    // A command the user starts is not stopped by a cancel pressed during the one before.
    static int depth = 0;
    if (depth == 0)
        forgetCancel();
    struct Depth {
        Depth() { ++depth; }
        ~Depth() { --depth; }
    } nested;
    try {
        handler();
        return true;
    } catch (const AbortError &) {
    } catch (const HostError &error) {
        ui.showError(error.text());
    } catch (const std::exception &error) {
        ui.showError(QStringLiteral("Erro inesperado: %1").arg(QString::fromUtf8(error.what())));
    } catch (...) {
        ui.showError(QStringLiteral("Erro inesperado."));
    }
    return false;
}

bool Dispatch(const std::function<void()> &handler)
{
    return Dispatch(handler, HostServices::current().ui());
}

} // namespace host
