#pragma once

#include "host/data/dbgeral.h"
#include "host/services/clientconfig.h"
#include "host/services/hostservices.h"
#include "host/services/session.h"
#include "host/services/userinteraction.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>

// A logged-in host for tests: scripted user interaction, a small SQLite general database
// with the branches below, and the session's server address pointing at `serverPort`.
//   CE01 "Central Norte"  central, head office ("M")
//   0001 "EM Jardim"      branch of CE01 ("F"), processing date 2026-03-16
//   0002 "EM Rescindida"  branch of CE01, contract rescinded
//   0003 "EM Avulsa"      no central
//   0004 "EM Sem Tipo"    branch of CE01 without a role
class TestHost
{
public:
    explicit TestHost(int serverPort = 0, const QString &branch = QStringLiteral("0001"),
                      const std::function<void(host::ClientConfig &)> &configure = {});

    // Runs statements on the database (it is opened read-only for the host).
    void exec(const QStringList &statements);

    host::ClientConfig config;
    QString databaseUrl; // the host's own parts read it directly; a client would ask the server
    host::ScriptedInteraction ui;
    std::unique_ptr<host::TdtmDBGeral> database;
    std::unique_ptr<host::HostSession> session;
    std::unique_ptr<host::HostServices> services;

private:
    QTemporaryDir m_dir;
};
