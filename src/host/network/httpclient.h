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

// Why a request did not get an answer. `maybeSent` tells whether the server may have received the
// request (and so may have run the call): a call that failed before is safe to send elsewhere.
struct HttpTransportFailure {
    enum class Kind { Unreachable, Timeout, Broken, Certificate, TooLarge };
    Kind kind;
    QString detail;
    bool maybeSent = true;
};

struct HttpPostRequest {
    QString scheme = QStringLiteral("http"); // or "https"
    QString host;
    int port = 0;
    QString path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int connectTimeoutMs = 5000; // until the request is on its way
    int timeoutMs = 60000;       // until the whole answer is in
    QString caFile;              // https: the authorities to trust; empty: the system's
    bool cancellable = true;     // a cancel (host/work/longwork.h) aborts the wait
    // An answer past this (after decompression) is refused as it arrives: no answer of ours is
    // near it, and a rogue server or a man in the middle must not take the machine's memory.
    qint64 maxAnswerBytes = qint64(512) << 20;
};

// One POST through Qt Network (keep-alive, TLS, proxies from the environment). The caller's code
// waits as for a plain function call, but the thread's event loop runs meanwhile, holding the
// user's input back (host::InputHold), so the window keeps painting and the busy panel's
// "Cancelar" works. Throws HttpTransportFailure.
HttpResponse httpPost(const HttpPostRequest &request);

} // namespace host
