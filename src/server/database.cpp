#include "server/database.h"

#include <QAtomicInt>
#include <QDate>
#include <QSqlDriver>
#include <QSqlError>

namespace server {

static QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

QSqlDatabase openConnection(const DbSettings &settings, const QString &connectionName)
{
    const wire::DatabaseUrl &url = settings.url;
    QSqlDatabase db = QSqlDatabase::addDatabase(url.qtDriver(), connectionName);
    if (!db.isValid())
        throw DbError{QStringLiteral("O driver %1 do Qt SQL não está instalado.").arg(url.qtDriver())};
    url.applyTo(db);
    db.setConnectOptions(url.kind == wire::DatabaseUrl::Kind::Sqlite ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(settings.busyTimeoutMs)
                                                                      : QStringLiteral("connect_timeout=10"));
    if (!db.open())
        throw DbError{QStringLiteral("Não foi possível abrir o banco de dados %1: %2").arg(url.display(), errorText(db.lastError()))};
    if (url.kind == wire::DatabaseUrl::Kind::Sqlite) {
        execScript(db,
                   {QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL"),
                    QStringLiteral("PRAGMA foreign_keys=ON")},
                   QStringLiteral("configurar a conexão SQLite"));
    } else {
        // The plan aggregates look expensive to the planner, so it would compile each one to
        // machine code, which takes longer than it saves on queries of this size.
        execScript(db, {QStringLiteral("SET client_min_messages TO WARNING"), QStringLiteral("SET jit = off")},
                   QStringLiteral("configurar a conexão PostgreSQL"));
    }
    return db;
}

namespace {

// Owned by one thread; removes its connection when that thread ends.
struct ThreadConnection {
    QString name;
    ~ThreadConnection()
    {
        if (name.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

} // namespace

QSqlDatabase threadConnection(const DbSettings &settings)
{
    static QAtomicInt counter;
    thread_local ThreadConnection holder;
    if (!holder.name.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(holder.name, false);
        if (db.isOpen())
            return db;
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(holder.name);
        holder.name.clear();
    }
    const QString name = QStringLiteral("zub-worker-%1").arg(counter.fetchAndAddRelaxed(1));
    try {
        QSqlDatabase db = openConnection(settings, name);
        holder.name = name;
        return db;
    } catch (...) {
        QSqlDatabase::removeDatabase(name);
        throw;
    }
}

Dialect dialectOf(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? Dialect::Postgres : Dialect::Sqlite;
}

Sql &Sql::add(const QString &text)
{
    m_text += text;
    return *this;
}

Sql &Sql::add(const Sql &other)
{
    m_text += other.m_text;
    m_values += other.m_values;
    return *this;
}

Sql &Sql::bind(const QVariant &value)
{
    m_values.append(value);
    return *this;
}

Sql &Sql::in(const QString &expression, const QStringList &keys)
{
    if (keys.isEmpty())
        return add(QStringLiteral("1 = 0"));
    return add(expression + QStringLiteral(" IN (SELECT value FROM json_each(?))")).bind(jsonArray(keys));
}

QString jsonArray(const QStringList &keys)
{
    qsizetype size = 2;
    for (const QString &key : keys)
        size += key.size() + 3;
    QString text;
    text.reserve(size);
    text += QLatin1Char('[');
    for (const QString &key : keys) {
        if (text.size() > 1)
            text += QLatin1Char(',');
        text += QLatin1Char('"');
        for (const QChar c : key) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
                text += QLatin1Char('\\');
            if (c.unicode() < 0x20)
                text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                text += c;
        }
        text += QLatin1Char('"');
    }
    text += QLatin1Char(']');
    return text;
}

// PostgreSQL reads a JSON array of texts with json_array_elements_text, whose column is also
// named "value"; its own json_each only takes objects, so the SQLite spelling is unambiguous.
static QString dialectText(const QSqlDatabase &db, const QString &text)
{
    if (dialectOf(db) != Dialect::Postgres || !text.contains(QLatin1String("json_each(?)")))
        return text;
    QString translated = text;
    return translated.replace(QLatin1String("json_each(?)"), QLatin1String("json_array_elements_text(CAST(? AS json))"));
}

QSqlQuery exec(QSqlDatabase &db, const Sql &sql, const QString &what)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.prepare(dialectText(db, sql.text()));
    if (ok) {
        for (const QVariant &value : sql.values())
            query.addBindValue(value);
        ok = query.exec();
    }
    if (!ok) {
        const QSqlError error = query.lastError();
        // A lost PostgreSQL connection is reopened by the next request instead of failing forever.
        if (error.type() == QSqlError::ConnectionError)
            db.close();
        throw DbError{QStringLiteral("Erro no banco de dados ao %1: %2").arg(what, errorText(error))};
    }
    return query;
}

void execScript(QSqlDatabase &db, const QStringList &statements, const QString &what)
{
    for (const QString &statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            throw DbError{QStringLiteral("Erro no banco de dados ao %1: %2").arg(what, errorText(query.lastError()))};
    }
}

wire::DataPacket readPacket(QSqlQuery &query, const QList<wire::FieldDef> &fields)
{
    wire::DataPacket packet;
    packet.fields = fields;
    while (query.next()) {
        QVariantList row;
        row.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant value = query.value(i);
            const QString &type = fields[i].type;
            if (value.isNull())
                row.append(QVariant());
            else if (type == QLatin1String("integer"))
                row.append(value.toLongLong());
            else if (type == QLatin1String("number"))
                row.append(value.toDouble());
            else if (type == QLatin1String("date"))
                row.append(value.typeId() == QMetaType::QDate ? value.toDate() : QDate::fromString(value.toString().left(10), Qt::ISODate));
            else
                row.append(value.toString());
        }
        packet.rows.append(row);
    }
    return packet;
}

WriteTransaction::WriteTransaction(QSqlDatabase &db) : m_db(db)
{
    execScript(m_db, {dialectOf(m_db) == Dialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")},
               QStringLiteral("iniciar a transação"));
    m_open = true;
}

WriteTransaction::~WriteTransaction()
{
    if (!m_open)
        return;
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK"));
}

void WriteTransaction::commit()
{
    execScript(m_db, {QStringLiteral("COMMIT")}, QStringLiteral("confirmar a transação"));
    m_open = false;
}

QString nextNumber(QSqlDatabase &db, const QString &counter, int width)
{
    const QString what = QStringLiteral("numerar %1").arg(counter);
    qint64 value = 0;
    if (dialectOf(db) == Dialect::Postgres) {
        // A sequence hands out numbers without making concurrent preparations wait for each other.
        QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT nextval('SQ_%1')").arg(counter)), what);
        if (!query.next())
            throw DbError{QStringLiteral("Erro no banco de dados ao %1: sequência sem valor.").arg(what)};
        value = query.value(0).toLongLong();
    } else {
        // The write transaction already holds SQLite's write lock, so read-and-increment is safe.
        exec(db, Sql(QStringLiteral("UPDATE NUMERADOR SET NRULTIMO = NRULTIMO + 1 WHERE NMNUMERADOR = ?")).bind(counter), what);
        QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT NRULTIMO FROM NUMERADOR WHERE NMNUMERADOR = ?")).bind(counter), what);
        if (!query.next())
            throw DbError{QStringLiteral("Erro no banco de dados ao %1: contador ausente.").arg(what)};
        value = query.value(0).toLongLong();
    }
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

} // namespace server
