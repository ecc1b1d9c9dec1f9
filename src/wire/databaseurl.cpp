#include "wire/databaseurl.h"

#include <QUrl>

namespace wire {

QString DatabaseUrl::qtDriver() const
{
    return kind == Kind::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
}

QString DatabaseUrl::display() const
{
    if (kind == Kind::Sqlite)
        return QStringLiteral("sqlite:") + path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    text += host.isEmpty() ? QStringLiteral("localhost") : host;
    text += QLatin1Char(':') + QString::number(port) + QLatin1Char('/') + database;
    return text;
}

std::optional<DatabaseUrl> DatabaseUrl::parse(const QString &text, QString *error)
{
    auto fail = [error](const QString &why) -> std::optional<DatabaseUrl> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    DatabaseUrl url;
    if (text.startsWith(QLatin1String("sqlite:"))) {
        url.kind = Kind::Sqlite;
        url.path = text.mid(7);
        if (url.path.isEmpty())
            return fail(QStringLiteral("Endereço de banco SQLite sem arquivo: use sqlite:CAMINHO."));
        return url;
    }
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl parsed(text, QUrl::StrictMode);
        if (!parsed.isValid())
            return fail(QStringLiteral("Endereço de banco PostgreSQL inválido: %1.").arg(parsed.errorString()));
        url.kind = Kind::Postgres;
        url.host = parsed.host();
        url.port = parsed.port(5432);
        url.user = parsed.userName(QUrl::FullyDecoded);
        url.password = parsed.password(QUrl::FullyDecoded);
        url.database = parsed.path(QUrl::FullyDecoded).mid(1);
        if (url.database.isEmpty())
            return fail(QStringLiteral("Endereço de banco PostgreSQL sem o nome do banco: use postgresql://usuario@host:porta/banco."));
        return url;
    }
    return fail(QStringLiteral("Endereço de banco não reconhecido \"%1\": use sqlite:CAMINHO ou postgresql://usuario@host:porta/banco.").arg(text));
}

} // namespace wire
