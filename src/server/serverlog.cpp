#include "server/serverlog.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QRandomGenerator>

#include <atomic>
#include <unistd.h>

namespace server {

namespace {
std::atomic<int> currentLevel{int(LogLevel::Info)};
}

std::optional<LogLevel> parseLogLevel(const QString &text)
{
    static const QList<QPair<QString, LogLevel>> names = {{QStringLiteral("error"), LogLevel::Error},
                                                         {QStringLiteral("warning"), LogLevel::Warning},
                                                         {QStringLiteral("info"), LogLevel::Info},
                                                         {QStringLiteral("debug"), LogLevel::Debug}};
    for (const auto &[name, level] : names) {
        if (text == name)
            return level;
    }
    return std::nullopt;
}

void setLogLevel(LogLevel level)
{
    currentLevel = int(level);
}

bool logs(LogLevel level)
{
    return int(level) <= currentLevel;
}

void logLine(LogLevel level, const QString &text)
{
    if (!logs(level))
        return;
    const QByteArray line = (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + text).toUtf8() + '\n';
    // One write per line: lines of several threads never mix.
    for (qsizetype written = 0; written < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
}

QString newIncident()
{
    static const QString prefix = QString::number(QRandomGenerator::global()->bounded(0x100000, 0xffffff), 16);
    static QAtomicInt counter;
    return QStringLiteral("%1-%2").arg(prefix).arg(counter.fetchAndAddRelaxed(1) + 1);
}

} // namespace server
