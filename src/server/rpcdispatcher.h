#pragma once

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
    Text,  // a JSON string; null (an unassigned variant) reads as ""
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
struct CallError {
    int code;
    QString message;
};

using Handler = std::function<CallResult(const Args &)>;

struct MethodSpec {
    QString name;
    QList<ArgSpec> args;
    Handler handler;
};

// The server objects and their methods. Method names are matched without regard to case,
// as late-bound calls are. Every object also answers the ping of the client's connect.
class RpcDispatcher
{
public:
    void addObject(const QString &object, const QList<MethodSpec> &methods);
    bool hasObject(const QString &object) const { return m_objects.contains(object); }

    // Decodes one request body for the object and runs it; never throws.
    wire::RpcResponse dispatch(const QString &object, const QByteArray &body) const;

private:
    QHash<QString, QHash<QString, MethodSpec>> m_objects; // object -> lower-case method -> its argument rules
};

} // namespace server
