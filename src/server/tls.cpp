#include "server/tls.h"

#include "wire/secretfile.h"

#include <QFile>

namespace server {

namespace {

// TLS 1.2 and 1.3 only, authenticated encryption only (no CBC, no SHA-1 MACs), and always a
// forward-secret key exchange: no RSA key transport, whose recorded sessions a stolen key opens.
constexpr char kTlsPriorities[] = "SECURE128:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-RSA:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:"
                                  "+CHACHA20-POLY1305:-MAC-ALL:+AEAD:%SERVER_PRECEDENCE";

} // namespace

std::optional<TlsCredentials> readTlsCredentials(const QString &certificateFile, const QString &keyFile, QString *error)
{
    QFile certificate(certificateFile);
    if (!certificate.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("não foi possível ler %1: %2").arg(certificate.fileName(), certificate.errorString());
        return std::nullopt;
    }
    // Whoever reads the key can pose as the server: its owner, and the service's group.
    const auto key = wire::readOwnerOnlyFile(keyFile, QStringLiteral("arquivo da chave TLS"), 1024 * 1024, error, true);
    if (!key)
        return std::nullopt;
    return TlsCredentials{certificate.readAll(), *key};
}

std::optional<TlsDaemonOptions> tlsDaemonOptions(const QByteArray &certificatePem, const QByteArray &keyPem, QString *error)
{
    TlsDaemonOptions options;
    if (certificatePem.isEmpty())
        return options;
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        *error = QStringLiteral("Esta libmicrohttpd não tem suporte a TLS; não é possível usar --tls-cert.");
        return std::nullopt;
    }
    options.flag = MHD_USE_TLS;
    options.items[0] = {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(certificatePem.constData())};
    options.items[1] = {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(keyPem.constData())};
    options.items[2] = {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(kTlsPriorities)};
    return options;
}

} // namespace server
