#pragma once

#include "host/network/netconnection.h"

#include <QString>

class QCommandLineParser;

namespace host {

// What the desktop client is configured with: the logged-in context and the application server,
// which is where all its data comes from. Read from an INI file, then overridden by command-line
// options.
struct ClientConfig {
    QString branch;              // FiliProc
    QString operatorCode;        // Operador
    QString operatorName;        // the signed-in operator's name, from the session
    bool branchMode = false;     // ModuFili(): the report is fixed to the logged-in branch
    QString serverHost;          // WebURL
    int serverPort = 0;          // WebPort
    QString token;               // bearer token; or read from tokenFile
    QString tokenFile;
    NetTransport transport;      // https, authorities, the other servers, timeouts
    bool obsoleteDatabase = false; // an older file's [banco] (or --database): no longer used
    QString productPicture;      // code picture of products (DBPictObj type 0)
    QString reportsDir;          // folder holding reports/<report code>/

    ClientConfig();

    // Reads the INI file; raises HostError naming the file when it cannot be read.
    static ClientConfig fromFile(const QString &path);
    // Registers the options that override the file, and applies the ones given.
    static void addOptions(QCommandLineParser &parser);
    void applyOptions(const QCommandLineParser &parser);
    // The token, from the file when none is given directly; raises when the file is unreadable.
    QString resolvedToken() const;
};

} // namespace host
