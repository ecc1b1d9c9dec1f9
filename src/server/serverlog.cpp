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

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0) || code == 0x2028 || code == 0x2029)
            shown += QStringLiteral("\\x%1").arg(unsigned(code), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

void logLine(LogLevel level, const QString &text)
{
    if (!logs(level))
        return;
    const QByteArray line = (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + printable(text)).toUtf8() + '\n';
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
