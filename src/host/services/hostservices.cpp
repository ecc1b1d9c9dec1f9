#include "host/services/hostservices.h"

#include "host/data/errors.h"
#include "host/network/netconnection.h"
#include "host/services/session.h"

namespace host {

static HostServices *g_current = nullptr;

HostServices::HostServices(UserInteraction &ui, HostSession &session, TdtmDBGeral &database, QWidget *mainWindow)
    : m_ui(ui), m_session(session), m_database(database), m_mainWindow(mainWindow), m_previous(g_current),
      m_netDefaults({[] { return isInstalled() ? current().session().token() : QString(); }, session.config().transport})
{
    g_current = this;
}

HostServices::~HostServices()
{
    if (g_current == this)
        g_current = m_previous;
}

HostServices &HostServices::current()
{
    if (!g_current)
        throw HostError(QStringLiteral("Serviços do cliente não inicializados."));
    return *g_current;
}

bool HostServices::isInstalled()
{
    return g_current != nullptr;
}

} // namespace host
