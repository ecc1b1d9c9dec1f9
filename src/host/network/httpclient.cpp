#include "host/network/httpclient.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

namespace host {

namespace {

[[noreturn]] void fail(HttpTransportFailure::Kind kind, const QString &detail)
{
    throw HttpTransportFailure{kind, detail};
}

// Reads until the predicate on the buffer holds, or the peer closes, or the deadline passes.
template <typename Done>
void readUntil(QTcpSocket &socket, QByteArray &buffer, const QDeadlineTimer &deadline, Done done)
{
    while (!done(buffer)) {
        if (socket.bytesAvailable() > 0) {
            buffer += socket.readAll();
            continue;
        }
        if (socket.state() != QAbstractSocket::ConnectedState)
            return;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            fail(HttpTransportFailure::Kind::Timeout, QStringLiteral("o servidor não respondeu a tempo"));
        if (!socket.waitForReadyRead(left < 0 ? 30000 : int(qMin<qint64>(left, 30000)))) {
            if (socket.error() == QAbstractSocket::SocketTimeoutError)
                continue;
            buffer += socket.readAll();
            return;
        }
    }
}

QByteArray decodeChunked(const QByteArray &data, bool *complete)
{
    QByteArray out;
    qsizetype pos = 0;
    *complete = false;
    while (true) {
        const qsizetype lineEnd = data.indexOf("\r\n", pos);
        if (lineEnd < 0)
            return out;
        bool ok = false;
        const qint64 size = data.mid(pos, lineEnd - pos).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok)
            fail(HttpTransportFailure::Kind::Broken, QStringLiteral("resposta HTTP em partes malformada"));
        pos = lineEnd + 2;
        if (size == 0) {
            *complete = true;
            return out;
        }
        if (data.size() < pos + size + 2)
            return out;
        out += data.mid(pos, size);
        pos += size + 2;
    }
}

} // namespace

HttpResponse httpPost(const QString &host, int port, const QString &path,
                      const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body,
                      int connectTimeoutMs, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(host, quint16(port));
    if (!socket.waitForConnected(connectTimeoutMs))
        fail(HttpTransportFailure::Kind::Unreachable, socket.errorString());

    QByteArray request = "POST " + path.toUtf8() + " HTTP/1.1\r\n";
    request += "Host: " + host.toUtf8() + ':' + QByteArray::number(port) + "\r\n";
    for (const auto &header : headers)
        request += header.first + ": " + header.second + "\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: close\r\n\r\n";
    request += body;

    const QDeadlineTimer deadline(timeoutMs);
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
            fail(HttpTransportFailure::Kind::Broken, socket.errorString());
    }

    QByteArray buffer;
    readUntil(socket, buffer, deadline, [](const QByteArray &b) { return b.contains("\r\n\r\n"); });
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        fail(HttpTransportFailure::Kind::Broken, QStringLiteral("a conexão foi fechada sem resposta HTTP"));

    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine[0].startsWith("HTTP/1."))
        fail(HttpTransportFailure::Kind::Broken, QStringLiteral("linha de estado HTTP inválida"));
    HttpResponse response;
    bool statusOk = false;
    response.status = statusLine[1].toInt(&statusOk);
    if (!statusOk)
        fail(HttpTransportFailure::Kind::Broken, QStringLiteral("código de estado HTTP inválido"));

    qint64 contentLength = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            contentLength = value.toLongLong();
        else if (name == "transfer-encoding" && value.toLower().contains("chunked"))
            chunked = true;
    }

    const qsizetype bodyStart = headerEnd + 4;
    if (chunked) {
        bool complete = false;
        readUntil(socket, buffer, deadline, [&](const QByteArray &b) {
            decodeChunked(b.mid(bodyStart), &complete);
            return complete;
        });
        response.body = decodeChunked(buffer.mid(bodyStart), &complete);
        if (!complete)
            fail(HttpTransportFailure::Kind::Broken, QStringLiteral("resposta HTTP incompleta"));
    } else if (contentLength >= 0) {
        readUntil(socket, buffer, deadline, [&](const QByteArray &b) { return b.size() - bodyStart >= contentLength; });
        if (buffer.size() - bodyStart < contentLength)
            fail(HttpTransportFailure::Kind::Broken, QStringLiteral("resposta HTTP incompleta"));
        response.body = buffer.mid(bodyStart, contentLength);
    } else {
        readUntil(socket, buffer, deadline, [](const QByteArray &) { return false; });
        response.body = buffer.mid(bodyStart);
    }
    return response;
}

} // namespace host
