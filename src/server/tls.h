#pragma once

// HTTPS for the application server: the certificate and key it reads at start, and the options
// that have libmicrohttpd (through GnuTLS) do the handshake on the connections it is handed.

#include <QByteArray>
#include <QString>

#include <microhttpd.h>
#include <optional>

namespace server {

struct TlsCredentials {
    QByteArray certificatePem; // with its chain
    QByteArray keyPem;         // without a passphrase
};

// Reads both PEM files; the key must be readable by its owner (and the service's group) only.
// Nothing, with the reason in *error, when either cannot be used.
std::optional<TlsCredentials> readTlsCredentials(const QString &certificateFile, const QString &keyFile, QString *error);

// The daemon's flag and options for a certificate and key (none without a certificate), ended by
// MHD_OPTION_END; both must outlive the daemon.
struct TlsDaemonOptions {
    unsigned flag = 0;
    MHD_OptionItem items[4] = {{MHD_OPTION_END, 0, nullptr}, {MHD_OPTION_END, 0, nullptr},
                               {MHD_OPTION_END, 0, nullptr}, {MHD_OPTION_END, 0, nullptr}};
};
// Nothing, with the reason in *error, when this libmicrohttpd has no TLS.
std::optional<TlsDaemonOptions> tlsDaemonOptions(const QByteArray &certificatePem, const QByteArray &keyPem, QString *error);

} // namespace server
