#pragma once

#include "host/data/params.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

namespace host {

// How the engine reads the fields of a query's row.

// Null, or text of blanks only.
bool isBlank(const QVariant &value);
// The number a field holds; nothing when it is null or not a number.
std::optional<double> numberOf(const QVariant &value);
// "{FIELD}" from the row (field names in upper case), else from the parameters.
QString filled(const QString &text, const QVariantMap &row, const TParams &params);

} // namespace host
