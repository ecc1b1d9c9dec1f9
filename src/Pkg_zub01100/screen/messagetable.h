#pragma once

#include <QStringList>

namespace zub01100 {

// The screen's message table, "key|text" per line; it replaces the base form's table as a
// whole, so it carries the base form's report-handling entries too.
QStringList messageTableLines();

} // namespace zub01100
