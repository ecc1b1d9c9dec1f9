#pragma once

#include "server/database.h"
#include "server/demodata.h"
#include "server/httpserver.h"
#include "server/serverlog.h"
#include "server/sessions.h"

#include <QHostAddress>
#include <QStringList>
#include <optional>

namespace server {

struct ServerConfig {
    DbSettings database;
    bool createDemo = false;
    DemoOptions demo;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
    bool allowRemote = false;
    QHostAddress trustedProxy;  // --trusted-proxy: whose X-Forwarded-For names the client
    QString tokenFile;
    QString reportsDir; // empty: beside the program, else the installed one (see reportsFolder)
    qint64 sweepAgeSeconds = 2 * 3600;
    int auditRetentionDays = 0; // --audit-days: the audit's rows are kept this long (0: for good)
    QString auditSpool;         // --audit-spool: where audit rows wait for the database (empty: defaultAuditSpool)
    HttpLimits limits;
    LogLevel logLevel = LogLevel::Info;
    QString backupFile; // --backup: copy the SQLite database there and end
    // --- TLS: both or neither; PEM files read at start ---
    QString tlsCertFile;
    QString tlsKeyFile;
    // --- end TLS ---

    // Operators and the audit: commands that run on the database and exit.
    enum class Admin { None, AddOperator, SetPassword, DisableOperator, ListOperators, Audit };
    Admin admin = Admin::None;
    OperatorRecord operatorAccount;  // AddOperator: all of it; SetPassword, DisableOperator: the code
    QDateTime auditSince;            // Audit: UTC, invalid for everything
    SessionLimits sessions;

    // Parses the command line. Returns nothing when the program should end at once: after
    // --help (exitCode 0) or on a bad option (message in *error, exitCode 2).
    static std::optional<ServerConfig> fromArguments(const QStringList &arguments, QString *output, int *exitCode);

    // Seconds between two sweeps of old temporary data.
    qint64 sweepIntervalSeconds() const;
};

// Read when it exists and no --config names another file.
inline constexpr char kDefaultConfigFile[] = "/etc/zub/server.ini";

// The options a configuration file sets, as command-line arguments: section [servidor], each key
// the long name of an option ("database", "listen", "token-file", ...), a switch true or false.
// Placed before the real arguments they lose to them, since an option's last value wins.
// Nothing, with the reason in *error, when the file is unreadable or names what is no option.
std::optional<QStringList> argumentsFromConfigFile(const QString &path, const QStringList &valueOptions,
                                                   const QStringList &switchOptions, QString *error);

// "90", "90s", "30m", "2h", "1d" in seconds; nothing when malformed or not positive.
std::optional<qint64> parseDuration(const QString &text);

// "127.0.0.1:47011", "[::1]:47011" or "localhost:47011".
std::optional<QPair<QHostAddress, quint16>> parseListenAddress(const QString &text);

} // namespace server
