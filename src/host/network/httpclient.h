#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace host {

struct HttpResponse {
    int status = 0;
    QByteArray body;
};

// Why a request did not get an answer.
struct HttpTransportFailure {
    enum class Kind { Unreachable, Timeout, Broken };
    Kind kind;
    QString detail;
};

// A synchronous HTTP/1.1 POST on the calling thread, without an event loop, so that no other
// event of the user interface runs while the screen waits for the application server.
// Throws HttpTransportFailure.
HttpResponse httpPost(const QString &host, int port, const QString &path,
                      const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body,
                      int connectTimeoutMs, int timeoutMs);

} // namespace host
