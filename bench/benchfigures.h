#pragma once

// What the benchmarks share: their lines on stdout, figures as "median (min–max, runs)", and the
// application server they measure against, started on a free loopback port with a token.

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace bench {

struct Failure {
    QString message;
};

inline void say(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline QString ms(double value)
{
    return value >= 100 ? QStringLiteral("%1 ms").arg(value, 0, 'f', 0) : QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}

// "median (min–max, n runs)": a figure with its spread, so a rerun can tell noise from change.
inline QString spread(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return QStringLiteral("%1 (%2–%3, %4×)").arg(ms(values[values.size() / 2]), ms(values.first()).chopped(3), ms(values.last())).arg(values.size());
}

inline double timed(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return timer.nsecsElapsed() / 1e6;
}

// Starts `program` (zub-server) on `database`, listening on a free loopback port, with the token
// in `tokenFile` (written here, owner only); answers the port. Raises Failure when it does not start.
inline quint16 startServer(QProcess &server, const QString &program, const QString &database, const QString &tokenFile,
                           const QByteArray &token, const QStringList &extraArguments = {})
{
    QFile file(tokenFile);
    if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(token) != token.size())
        throw Failure{QStringLiteral("não foi possível gravar %1").arg(tokenFile)};
    file.close();
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(program, QStringList{"--database", database, "--listen", "127.0.0.1:0", "--token-file", tokenFile} + extraArguments);
    quint16 port = 0;
    QString output;
    static const QRegularExpression listening(QStringLiteral(":(\\d+)/rpc/"));
    while (port == 0 && server.waitForReadyRead(120000)) {
        output += QString::fromUtf8(server.readAll());
        const auto match = listening.match(output);
        if (match.hasMatch())
            port = quint16(match.captured(1).toUInt());
    }
    if (port == 0)
        throw Failure{QStringLiteral("o zub-server não iniciou: %1").arg(output)};
    return port;
}

} // namespace bench
