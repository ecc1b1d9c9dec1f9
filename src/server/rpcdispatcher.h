#pragma once

#include "server/failure.h"

#include "wire/rpcmessage.h"

#include <QDate>
#include <QHash>
#include <QJsonArray>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <functional>

namespace server {

enum class ArgKind {
    Text,  // a JSON string without NUL characters
    Date,  // "YYYY-MM-DD"
    Any,   // checked by the method itself
};

struct ArgSpec {
    QString label; // Portuguese, for messages
    ArgKind kind = ArgKind::Text;
};

// Arguments of one call, already checked against the method's ArgSpecs.
class Args
{
public:
    explicit Args(const QJsonArray &values) : m_values(values) {}
    QString text(int position) const;
    QDate date(int position) const;
    QJsonValue raw(int position) const { return m_values.at(position); }

private:
    QJsonArray m_values;
};

struct CallResult {
    QJsonValue answer;
    QMap<int, QJsonValue> vars; // by-reference arguments written back, by 0-based position
};

// A refusal of the call itself (JSON-RPC error), as opposed to an answer that reports a problem.
struct CallError : ServerFailure {
    CallError(int errorCode, QString message) : ServerFailure(std::move(message)), code(errorCode) {}
    int code;
};

using Handler = std::function<CallResult(const Args &)>;

// Which pool of workers runs a method: preparations take seconds on a large database, and a
// sign-in's password hashing 64 MiB and a fifth of a second, so neither holds up the quick lookups.
enum class Lane { Quick, Slow, SignIn };

// Runs on the HTTP layer's thread before the call is queued, with the caller's address: an answer
// it gives is the call's, at once (a sign-in told to wait never waits behind others' hashing).
using Admission = std::function<std::optional<QJsonValue>(const Args &args, const QByteArray &peer)>;

struct MethodSpec {
    QString name;
    QList<ArgSpec> args;
    Handler handler;
    Lane lane = Lane::Quick;
    Admission admit = {}; // none: every call is queued
};

using wire::kCancelMethod;

// What a caller reads when the server cannot take the call now.
inline QString busyMessage() { return QStringLiteral("Servidor ocupado; tente novamente."); }
// What a caller reads when the database went away under the call (a restart, a failover): the
// connection is opened again by the next call, which may well succeed.
inline QString unavailableMessage() { return QStringLiteral("Servidor ocupado/indisponível, tente novamente"); }

// A request read and checked: either answered already (a refusal, the ping), a cancel, or a
// method to run on a worker.
struct PreparedCall {
    enum class Kind { Answered, Cancel, Method };
    Kind kind = Kind::Answered;
    QString object;
    QString method;               // as the log names it
    wire::RpcRequest request;
    const MethodSpec *methodSpec = nullptr;
    wire::RpcResponse answer;     // Kind::Answered
    QString cancelId;             // Kind::Cancel: the id of the calls to stop, as JSON text

    Lane lane() const { return methodSpec ? methodSpec->lane : Lane::Quick; }
    // The id as JSON text, the form calls are known by; empty when the request has none.
    QString idText() const;
};

// The answer of a call that ran, with the incident number when it failed in a way only the
// server's log explains.
struct CallOutcome {
    wire::RpcResponse response;
    QString incident;
};

// The name of the method running on this thread, for those that tell of it; "" outside calls.
QString runningMethod();

// The server objects and their methods. Method names are matched without regard to case,
// as late-bound calls are. Every object also answers the ping of the client's connect.
class RpcDispatcher
{
public:
    void addObject(const QString &object, const QList<MethodSpec> &methods);
    bool hasObject(const QString &object) const { return m_objects.contains(object); }

    PreparedCall prepare(const QString &object, const QByteArray &body) const;
    // Runs a Kind::Method call on the calling thread; never throws. Database failures are told
    // to the caller without their detail, which goes to the log under an incident number.
    CallOutcome run(const PreparedCall &call) const;
    // Decodes one request body for the object and runs it on this thread; never throws.
    wire::RpcResponse dispatch(const QString &object, const QByteArray &body) const;

private:
    QHash<QString, QHash<QString, MethodSpec>> m_objects; // object -> lower-case method -> its argument rules
};

} // namespace server
