#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

namespace host {

// One positional argument of a remote call. A by-reference argument is written back from the
// answer's "vars" when the server sends a value for its position.
class RpcArg
{
public:
    static RpcArg val(const QVariant &value) { return RpcArg(value, {}); }
    static RpcArg ref(QString &variable);
    static RpcArg ref(QVariant &variable);

    const QVariant &value() const { return m_value; }
    bool isByReference() const { return bool(m_writeBack); }
    void writeBack(const QVariant &value) const { m_writeBack(value); }

private:
    RpcArg(const QVariant &value, std::function<void(const QVariant &)> writeBack)
        : m_value(value), m_writeBack(std::move(writeBack)) {}
    QVariant m_value;
    std::function<void(const QVariant &)> m_writeBack;
};

// How the connections reach the servers; the client fills it from its configuration.
struct NetTransport {
    bool tls = false;             // https
    QString caFile;               // https: authorities to trust instead of the system's
    QStringList otherAddresses;   // "host:porta", tried in order after Host:Port
    int connectTimeoutMs = 5000;
    int callTimeoutMs = 10 * 60 * 1000; // a year's plan may take a while on a large site
};

// Connection to a remote data module of the application server. Calls are synchronous for the
// caller, late-bound by method name, over HTTP(S) with the bearer token of the session. While a
// call waits the window keeps painting, and a cancel (host/work/longwork.h) stops it here and,
// through "rpc.cancel", on the server.
class TNetConnection : public QObject
{
    Q_OBJECT
public:
    TNetConnection(const QString &name, const QString &serverName, QObject *parent = nullptr);

    QString Host;
    int Port = 0;
    QString ServerName;   // e.g. "Zub01100.rdmCustoPlanXReal"
    QString Token;        // empty: the default token (the logged-in session's)
    int ConnectTimeoutMs = 5000;
    int CallTimeoutMs = 10 * 60 * 1000;
    bool UseTls = false;
    QString CaFile;
    QStringList OtherAddresses; // "host:porta": servers tried when Host:Port does not answer

    // Takes https, authorities, the other servers and the timeouts of `transport`.
    void useTransport(const NetTransport &transport);

    // Runs before every connect, so that a changed address takes effect.
    std::function<void(TNetConnection *)> BeforeConnect;

    bool Connected() const { return m_connected; }
    // Connecting checks that the server answers at the address, accepts the token and serves the object.
    void setConnected(bool connected);
    void Open() { setConnected(true); }
    void Close() { setConnected(false); }

    // Calls a method of the server object; answers the method's answer. Raises ServerError.
    QVariant Call(const QString &method, const QList<RpcArg> &args = {});

    // What a connection takes when made: the token of connections that carry none of their own
    // (the host's services give the logged-in session's, so the network layer needs nothing above
    // it) and the transport (its fields above can still be changed afterwards).
    struct Defaults {
        std::function<QString()> token;
        NetTransport transport;
    };
    // Puts `defaults` in force while it lives; the ones before it come back when it ends, so a
    // second set of host services (a test's) leaves nothing of its own behind.
    class DefaultsScope
    {
    public:
        explicit DefaultsScope(Defaults defaults);
        ~DefaultsScope();
        DefaultsScope(const DefaultsScope &) = delete;
        DefaultsScope &operator=(const DefaultsScope &) = delete;

    private:
        Defaults m_previous;
    };

    // The address that answered the last connect, and the ones skipped on the way with the reason.
    QString ActiveAddress() const { return m_active; }
    QStringList SkippedServers() const { return m_skipped; }

private:
    static Defaults &defaults();
    QVariant exchange(const QString &method, const QList<RpcArg> &args);
    struct Answer;
    Answer post(const QString &address, const QString &method, const QByteArray &body, bool cancellable) const;
    void askServerToCancel(const QString &address, qint64 id) const;
    QStringList addresses() const;
    bool m_connected = false;
    QString m_active;
    QStringList m_skipped;
};

} // namespace host
