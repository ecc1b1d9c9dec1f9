#pragma once

#include <QJsonValue>
#include <QVariant>

// Values as they travel between client and server: strings, dates ("YYYY-MM-DD"),
// integers, variant arrays and the unassigned variant (null).
namespace wire {

QJsonValue toJson(const QVariant &value);

// JSON numbers without a fraction come back as qint64, so integer parameters
// survive the round trip; objects come back as QVariantMap.
QVariant fromJson(const QJsonValue &value);

// The text a wire value stands for where a string is expected (dates in ISO form).
QString toText(const QVariant &value);

} // namespace wire
