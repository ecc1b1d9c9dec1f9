#pragma once

#include <QString>
#include <optional>

namespace server {

// What the server writes on stderr: errors with their detail, refusals of the HTTP layer,
// one line per call. Lines are written whole, so threads never interleave inside one.
enum class LogLevel { Error, Warning, Info, Debug };

// "error", "warning", "info" or "debug"; nothing when unknown.
std::optional<LogLevel> parseLogLevel(const QString &text);
void setLogLevel(LogLevel level);
bool logs(LogLevel level);
// Writes "<local time with ms> <text>" when the level is on, `text` through printable().
void logLine(LogLevel level, const QString &text);
// A caller's text (a method name, an operator code, a driver's message) can carry line breaks
// and terminal escapes: written as \xNN, so one event is one line and forges none.
QString printable(const QString &text);

// A number that names one failure in the log and in the answer the caller sees; unique across
// the servers sharing a database (a random prefix per process, then a counter).
QString newIncident();

} // namespace server
