#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <functional>

struct MHD_Daemon;

// A stand-in for the application server on loopback that records each call and answers
// from a script, for checking exactly what the client sends.
class RecordingServer
{
public:
    struct Call {
        QString object;
        QString method;
        QJsonArray params;
        QString authorization;
        QJsonValue id;
    };
    struct Reply {
        QJsonValue answer;
        QMap<int, QJsonValue> vars;
        int errorCode = 0; // a JSON-RPC error instead of a result when not 0
        QString errorMessage;
        int httpStatus = 200;
        QByteArray rawBody; // sent as is when not empty
    };
    using Handler = std::function<Reply(const Call &)>;

    RecordingServer();
    ~RecordingServer();

    int port() const { return m_port; }
    void setToken(const QString &token) { m_token = token; }

    // Answers method calls on any object; "rpc.ping" is answered by default.
    void on(const QString &method, Handler handler);
    void on(const QString &method, const Reply &reply);

    QList<Call> calls() const;
    QStringList methodsCalled() const; // without pings
    void clear();

    static Reply envelope(const QJsonValue &data);
    static Reply refusal(const QString &message);

    // Records the call and answers it; used by the HTTP handler thread.
    Reply dispatch(const Call &call);
    QString token() const { return m_token; }

private:

    MHD_Daemon *m_daemon = nullptr;
    int m_port = 0;
    QString m_token = QStringLiteral("test-token");
    mutable QMutex m_mutex;
    QList<Call> m_calls;
    QMap<QString, Handler> m_handlers;
};
