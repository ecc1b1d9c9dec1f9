#pragma once

#include "host/network/netconnection.h"

class QWidget;

namespace host {

class HostSession;
class TdtmDBGeral;
class UserInteraction;

// What the running client offers its modules: the user interaction, the logged-in context,
// the general database and the main window. The client installs one; tests install their own.
class HostServices
{
public:
    HostServices(UserInteraction &ui, HostSession &session, TdtmDBGeral &database, QWidget *mainWindow = nullptr);
    ~HostServices();
    HostServices(const HostServices &) = delete;
    HostServices &operator=(const HostServices &) = delete;

    static HostServices &current(); // raises when none is installed
    static bool isInstalled();

    UserInteraction &ui() const { return m_ui; }
    HostSession &session() const { return m_session; }
    TdtmDBGeral &dtmDBGeral() const { return m_database; }
    QWidget *mainWindow() const { return m_mainWindow; }
    void setMainWindow(QWidget *window) { m_mainWindow = window; }

private:
    UserInteraction &m_ui;
    HostSession &m_session;
    TdtmDBGeral &m_database;
    QWidget *m_mainWindow;
    HostServices *m_previous;
    // The session's token and transport for the connections made while these services are in force.
    TNetConnection::DefaultsScope m_netDefaults;
};

} // namespace host
