#include "host/network/httpclient.h"

#include "host/work/longwork.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace host {

namespace {

// http_proxy/https_proxy/no_proxy of the environment, but never for a server on this machine.
class EnvironmentProxies : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.peerHostName();
        if (host == QLatin1String("localhost") || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

// One manager per thread keeps the connections to each server open between calls; the main
// thread's goes with the application.
QNetworkAccessManager &manager()
{
    thread_local QPointer<QNetworkAccessManager> current;
    if (!current) {
        QCoreApplication *app = QCoreApplication::instance();
        current = new QNetworkAccessManager(app && app->thread() == QThread::currentThread() ? app : nullptr);
        current->setProxyFactory(new EnvironmentProxies);
    }
    return *current;
}

QSslConfiguration tlsFor(const QString &caFile)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!caFile.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(caFile);
        if (authorities.isEmpty()) {
            throw HttpTransportFailure{HttpTransportFailure::Kind::Certificate,
                                       QStringLiteral("o arquivo de autoridades \"%1\" não tem certificados legíveis").arg(caFile),
                                       false};
        }
        tls.setCaCertificates(authorities);
    }
    return tls;
}

bool failedBeforeSending(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

QNetworkRequest networkRequestFor(const HttpPostRequest &request)
{
    QUrl url;
    url.setScheme(request.scheme);
    url.setHost(request.host);
    url.setPort(request.port);
    url.setPath(request.path);
    QNetworkRequest http(url);
    for (const auto &header : request.headers)
        http.setRawHeader(header.first, header.second);
    http.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    if (request.scheme == QLatin1String("https"))
        http.setSslConfiguration(tlsFor(request.caFile));
    return http;
}

// What happened to one request while it was under way.
struct ReplyWatch {
    bool sent = false; // from here on the server may run the call: it must never go to another one
    bool connectExpired = false;
    bool callExpired = false;
    bool cancelled = false;
    bool tooLarge = false;
    QList<QSslError> tlsErrors;
};

// Raises what ended the request without an answer; an HTTP status is an answer.
void throwIfNotAnswered(const ReplyWatch &watch, QNetworkReply::NetworkError error, int status, const QString &detail,
                        const HttpPostRequest &request)
{
    if (watch.cancelled) {
        throwIfCancelled(); // forgets the cancel
        throw CancelledError();
    }
    if (watch.tooLarge)
        throw HttpTransportFailure{HttpTransportFailure::Kind::TooLarge,
                                   QStringLiteral("%1 MB").arg(request.maxAnswerBytes >> 20), true};
    if (watch.connectExpired)
        throw HttpTransportFailure{HttpTransportFailure::Kind::Unreachable,
                                   QStringLiteral("sem resposta em %1 s").arg(request.connectTimeoutMs / 1000.0), false};
    if (watch.callExpired)
        throw HttpTransportFailure{HttpTransportFailure::Kind::Timeout, detail, true};
    if (!watch.tlsErrors.isEmpty()) {
        QStringList reasons;
        for (const QSslError &tlsError : watch.tlsErrors)
            reasons.append(tlsError.errorString());
        throw HttpTransportFailure{HttpTransportFailure::Kind::Certificate, reasons.join(QStringLiteral("; ")), false};
    }
    if (error != QNetworkReply::NoError && status == 0) {
        if (failedBeforeSending(error) && !watch.sent)
            throw HttpTransportFailure{HttpTransportFailure::Kind::Unreachable, detail, false};
        throw HttpTransportFailure{HttpTransportFailure::Kind::Broken, detail, watch.sent || !failedBeforeSending(error)};
    }
}

} // namespace

HttpResponse httpPost(const HttpPostRequest &request)
{
    const QNetworkRequest http = networkRequestFor(request);
    // An open connection keeps the trust it was checked with: other authorities need new ones.
    thread_local QString trustedWith;
    if (request.caFile != trustedWith) {
        manager().clearConnectionCache();
        trustedWith = request.caFile;
    }

    if (request.cancellable)
        throwIfCancelled();
    InputHold hold;
    QNetworkReply *reply = manager().post(http, request.body);
    QEventLoop loop;
    ReplyWatch watch;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::requestSent, &loop, [&] { watch.sent = true; });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, [&](qint64 done, qint64) { watch.sent = watch.sent || done > 0; });
    QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError> &errors) { watch.tlsErrors = errors; });
    // Looked at on every piece that arrives (the progress signal is choked) and on the declared length.
    const auto refuseIfTooLarge = [&](qint64 size) {
        if (!watch.tooLarge && size > request.maxAnswerBytes) {
            watch.tooLarge = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop,
                     [&] { refuseIfTooLarge(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()); });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] { refuseIfTooLarge(reply->bytesAvailable()); });
    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    QObject::connect(&connectTimer, &QTimer::timeout, &loop, [&] {
        if (!watch.sent) {
            watch.connectExpired = true;
            reply->abort();
        }
    });
    connectTimer.start(request.connectTimeoutMs);
    QTimer callTimer;
    callTimer.setSingleShot(true);
    QObject::connect(&callTimer, &QTimer::timeout, &loop, [&] {
        watch.callExpired = true;
        reply->abort();
    });
    callTimer.start(request.timeoutMs);
    // A cancel comes from the panel's button, Esc or a signal handler: looked at often enough
    // that the screen is back well within half a second.
    QTimer cancelWatch;
    QObject::connect(&cancelWatch, &QTimer::timeout, &loop, [&] {
        if (request.cancellable && cancelPending()) {
            watch.cancelled = true;
            reply->abort();
        }
    });
    cancelWatch.start(50);
    if (!reply->isFinished())
        loop.exec();

    const QNetworkReply::NetworkError error = reply->error();
    HttpResponse response;
    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->isOpen())
        response.body = reply->readAll();
    const QString detail = reply->errorString();
    reply->deleteLater();
    throwIfNotAnswered(watch, error, response.status, detail, request);
    return response;
}

} // namespace host
