#pragma once

#include "server/audit.h"
#include "server/failure.h"
#include "server/rpcdispatcher.h"
#include "wire/datapacket.h"

namespace server {

// A request a method refuses: answered as an envelope failure (or, by the plan preparation, as
// its plain error text), never as an error of the call.
struct Refusal : ServerFailure {
    using ServerFailure::ServerFailure;
};

// Ends the call with the refusal of a rights check, if it made one; the audit keeps it.
inline void allow(const QString &refusal)
{
    if (refusal.isEmpty())
        return;
    auditRefusal(refusal);
    throw Refusal{refusal};
}

inline CallResult envelopeOk(const QJsonValue &data, const QMap<int, QJsonValue> &vars = {})
{
    return CallResult{wire::envelope::ok(data), vars};
}

// Runs a method whose refusals travel in the envelope.
template <typename Object>
Handler enveloped(const Object *self, CallResult (Object::*method)(const Args &) const)
{
    return [self, method](const Args &args) {
        try {
            return (self->*method)(args);
        } catch (const Refusal &refusal) {
            return CallResult{wire::envelope::fail(refusal.message), {}};
        }
    };
}

} // namespace server
