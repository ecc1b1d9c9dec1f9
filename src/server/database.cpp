#include "server/database.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "wire/secretfile.h"

#include <QAtomicInt>
#include <QDate>
#include <QSqlDriver>
#include <QFileInfo>
#include <QSqlError>
#include <QThread>

#include <libpq-fe.h>
#include <poll.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace server {

static QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

DbFailure failureOf(const QSqlError &error, Dialect dialect)
{
    // Some SQLSTATEs are all digits, so the dialect, not the code's look, says which it is.
    const QString code = error.nativeErrorCode();
    bool numeric = false;
    const int sqliteCode = code.toInt(&numeric) & 0xff;
    if (dialect == Dialect::Sqlite && numeric) {
        // Qt's SQLite driver reports any failed step as a connection error, so only the result
        // code tells what happened.
        switch (sqliteCode) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return DbFailure::Busy;
        case SQLITE_INTERRUPT:
            return DbFailure::Interrupted;
        case SQLITE_FULL:
            return DbFailure::Full;
        case SQLITE_READONLY:
            return DbFailure::ReadOnly;
        case SQLITE_CONSTRAINT:
            return DbFailure::Constraint;
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
        case SQLITE_NOTADB:
            return DbFailure::Connection;
        default:
            return DbFailure::Other;
        }
    }
    if (code == QLatin1String("55P03") || code == QLatin1String("40P01") || code == QLatin1String("40001"))
        return DbFailure::Busy; // lock_timeout, deadlock, serialization failure
    if (code == QLatin1String("57014"))
        return DbFailure::Interrupted; // cancel request or statement_timeout
    if (code == QLatin1String("53100"))
        return DbFailure::Full;
    if (code.startsWith(QLatin1String("53")))
        return DbFailure::Busy; // out of memory or connections: may pass
    // A read-only transaction is a standby: the old primary demoted or a node not yet promoted in a
    // failover. A new connection reaches the primary through the balancer, so the caller is told to
    // try again, as for a lost connection.
    if (code == QLatin1String("25006"))
        return DbFailure::Connection;
    if (code.startsWith(QLatin1String("23")))
        return DbFailure::Constraint;
    if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")))
        return DbFailure::Connection;
    return error.type() == QSqlError::ConnectionError ? DbFailure::Connection : DbFailure::Other;
}

namespace {
thread_local bool noLockWaitHere = false;
// Set while a write transaction begins: its whole wait for the lock, the turn among the server's
// writers and SQLite's lock together, ends here.
thread_local const QDeadlineTimer *lockWaitEnds = nullptr;
}

NoLockWait::NoLockWait() : m_outer(noLockWaitHere)
{
    noLockWaitHere = true;
}

NoLockWait::~NoLockWait()
{
    noLockWaitHere = m_outer;
}

// Gives up waiting for SQLite's lock after the busy timeout, or at once when the call was
// stopped, so a cancel also reaches a call that waits for another writer.
static int sqliteBusyWait(void *timeoutMs, int attempt)
{
    if (noLockWaitHere)
        return 0;
    thread_local QDeadlineTimer deadline;
    if (attempt == 0)
        deadline = lockWaitEnds ? *lockWaitEnds : QDeadlineTimer(qint64(reinterpret_cast<quintptr>(timeoutMs)));
    const CallContext *call = CallContext::current();
    if ((call && call->stopReason() != StopReason::None) || deadline.hasExpired())
        return 0;
    static constexpr int steps[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50};
    const qint64 pause = qMin<qint64>(attempt < 10 ? steps[attempt] : 50, deadline.remainingTime());
    QThread::msleep(quint64(qMax<qint64>(pause, 1)));
    return 1;
}

// SQLite lets one connection write at a time and leaves the others to poll for its lock,
// sleeping up to 50 ms between tries (sqliteBusyWait): with many of the server's own writers the
// lock sat free between their sleeps (100 clients on the full cycle left the cores 40 % idle and
// the slowest calls near a second). The server's writers queue here first and get their turn as
// soon as the last one ends. SQLite's lock stays the arbiter: other programs write to the file
// too, and a writer that gave up waiting here goes on to SQLite, which then fails it at once if
// the lock is still held. Turns are given in the order the writers came (the slowest call then
// waits for those ahead of it, not for luck); a writer that stops waiting leaves the line.
class WriterGate
{
public:
    std::atomic<int> timeoutMs{5000};

    bool enter(bool wait, const QDeadlineTimer &deadline)
    {
        std::unique_lock lock(m_mutex);
        if (!m_taken && m_line.empty()) {
            m_taken = true;
            return true;
        }
        if (!wait)
            return false;
        const quint64 ticket = m_nextTicket++;
        m_line.push_back(ticket);
        for (;;) {
            if (!m_taken && m_line.front() == ticket) {
                m_line.pop_front();
                m_taken = true;
                return true;
            }
            const CallContext *call = CallContext::current();
            if ((call && call->stopReason() != StopReason::None) || deadline.hasExpired()) {
                m_line.erase(std::find(m_line.begin(), m_line.end(), ticket));
                m_changed.notify_all();
                return false;
            }
            // Woken by every turn's end; the slices let a cancel or the deadline be seen.
            m_changed.wait_for(lock, std::chrono::milliseconds(qBound(qint64(1), deadline.remainingTime(), qint64(20))));
        }
    }

    void leave()
    {
        {
            std::lock_guard lock(m_mutex);
            m_taken = false;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_taken = false;
    quint64 m_nextTicket = 0;
    std::deque<quint64> m_line;
};

namespace {

WriterGate &writerGate(const QString &file)
{
    static std::mutex guard;
    static std::map<QString, std::unique_ptr<WriterGate>> gates;
    std::lock_guard lock(guard);
    std::unique_ptr<WriterGate> &gate = gates[file];
    if (!gate)
        gate = std::make_unique<WriterGate>();
    return *gate;
}

} // namespace

static PGconn *postgresHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    // "pg_conn*" is how Qt's driver names it.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.data());
}

// Whether an idle PostgreSQL connection was cut (its backend terminated, the server restarted or
// a failover closed it). The server's goodbye or the closed socket is waiting to be read, so a
// look at the socket tells without a round trip, and the call opens a new connection instead of
// failing on the old one.
static bool postgresConnectionLost(const QSqlDatabase &db)
{
    PGconn *connection = postgresHandle(db);
    if (!connection)
        return false;
    if (PQstatus(connection) == CONNECTION_BAD)
        return true;
    const auto readable = [connection] {
        pollfd socket{PQsocket(connection), POLLIN, 0};
        return socket.fd < 0 || ::poll(&socket, 1, 0) != 0;
    };
    if (!readable())
        return false;
    // A notice alone is read and the connection kept; the server's goodbye leaves the closed
    // socket readable behind it.
    return PQconsumeInput(connection) == 0 || PQstatus(connection) == CONNECTION_BAD || readable();
}

static sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

// Per connection: each worker and reader has its own.
constexpr int kSqliteCacheKiB = 32 * 1024;
constexpr qint64 kSqliteMapBytes = 1LL << 30;

// A session setting cannot fail for anything a call asked: when it does, the connection is of no
// use (a node shutting down or still promoting in a failover, its error often without a code), so
// the caller is told to try again on a new one rather than to call support.
static void setUpPostgresSession(QSqlDatabase &db, const QStringList &statements, const QString &what)
{
    try {
        execScript(db, statements, what);
    } catch (DbError &error) {
        if (error.kind == DbFailure::Other)
            error.kind = DbFailure::Connection;
        throw;
    }
}

QSqlDatabase openConnection(const DbSettings &settings, const QString &connectionName, bool readOnly)
{
    const wire::DatabaseUrl &url = settings.url;
    QSqlDatabase db = QSqlDatabase::addDatabase(url.qtDriver(), connectionName);
    if (!db.isValid())
        throw DbError{QStringLiteral("O driver %1 do Qt SQL não está instalado.").arg(url.qtDriver())};
    url.applyTo(db);
    // A new database holds password hashes and sessions: nobody but the service reads it, whatever
    // the umask of whoever made it. SQLite gives its journal files the database's mode.
    if (url.kind == wire::DatabaseUrl::Kind::Sqlite && url.path != QLatin1String(":memory:") && !QFileInfo::exists(url.path)) {
        QString why;
        if (!wire::createOwnerOnlyFile(url.path, &why) && !QFileInfo::exists(url.path))
            throw DbError{QStringLiteral("Não foi possível criar o banco de dados %1: %2").arg(url.display(), why), DbFailure::Connection};
    }
    const bool sqlite = url.kind == wire::DatabaseUrl::Kind::Sqlite;
    db.setConnectOptions(sqlite ? QStringLiteral("%1QSQLITE_BUSY_TIMEOUT=%2").arg(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;") : QString())
                                      .arg(settings.busyTimeoutMs)
                                : QStringLiteral("connect_timeout=10"));
    if (!db.open())
        throw DbError{QStringLiteral("Não foi possível abrir o banco de dados %1: %2").arg(url.display(), errorText(db.lastError())),
                      DbFailure::Connection};
    if (url.kind == wire::DatabaseUrl::Kind::Sqlite) {
        writerGate(db.databaseName()).timeoutMs = qMax(0, settings.busyTimeoutMs);
        if (sqlite3 *handle = sqliteHandle(db))
            sqlite3_busy_handler(handle, &sqliteBusyWait, reinterpret_cast<void *>(quintptr(qMax(0, settings.busyTimeoutMs))));
        // A read-only connection finds the file in WAL mode already (the writers set it).
        QStringList setup = readOnly ? QStringList{}
                                     : QStringList{QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=NORMAL"),
                                                   QStringLiteral("PRAGMA foreign_keys=ON")};
        // The default 2 MB page cache holds little of a central's year; the file mapped into memory
        // shares the system's page cache between the connections instead of copying pages into
        // each one's own.
        // The groupings of a report sort a few hundred thousand rows in temporary trees; in a file
        // (the default) a year's report spent a third of its time in the kernel writing them.
        setup << QStringLiteral("PRAGMA cache_size = -%1").arg(kSqliteCacheKiB) << QStringLiteral("PRAGMA mmap_size = %1").arg(kSqliteMapBytes)
              << QStringLiteral("PRAGMA temp_store = MEMORY");
        execScript(db, setup, QStringLiteral("configurar a conexão SQLite"));
    } else {
        // The plan aggregates look expensive to the planner, so it would compile each one to
        // machine code, which takes longer than it saves on queries of this size.
        // A lock held by another writer fails the statement after the busy timeout instead of
        // holding the call; no statement runs longer than a call may.
        setUpPostgresSession(db,
                   {QStringLiteral("SET client_min_messages TO WARNING"), QStringLiteral("SET jit = off"),
                    // A year's report sorts and groups some half a million rows; with the default
                    // 4 MB each sort went to disk.
                    QStringLiteral("SET work_mem = '64MB'"),
                    QStringLiteral("SET lock_timeout = %1").arg(qMax(1, settings.busyTimeoutMs)),
                    QStringLiteral("SET statement_timeout = %1").arg(settings.statementTimeoutMs)},
                   QStringLiteral("configurar a conexão PostgreSQL"));
    }
    return db;
}

namespace {

void closeAndRemove(const QString &name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Owned by one thread; removes its connection when that thread ends.
struct ThreadConnection {
    QString name;
    ~ThreadConnection()
    {
        if (!name.isEmpty())
            closeAndRemove(name);
    }
};

thread_local ThreadConnection threadHolder;
thread_local ThreadConnection readOnlyHolder;

void drop(ThreadConnection &holder)
{
    if (CallContext *call = CallContext::current())
        call->detach();
    if (holder.name.isEmpty())
        return;
    closeAndRemove(holder.name);
    holder.name.clear();
}

// Takes away every way a report connection could write. Each statement runs alone, so the
// session settings are what holds.
void makeReadOnly(QSqlDatabase &db)
{
    // Report figures as numbers, as the layouts' sums and columns expect them.
    db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (dialectOf(db) == Dialect::Sqlite) {
        execScript(db, {QStringLiteral("PRAGMA query_only = ON")}, QStringLiteral("configurar a conexão de relatórios"));
        return;
    }
    try {
        execScript(db, {QStringLiteral("SET ROLE %1").arg(QLatin1String(kReportRole))}, QStringLiteral("assumir o papel de relatórios"));
    } catch (const DbError &error) {
        // Without the role (a database user that may not create roles), the read-only transaction
        // below still holds: the server runs only the queries of its own layouts.
        static std::once_flag warned;
        std::call_once(warned, [&] { logLine(LogLevel::Warning, error.message); });
    }
    setUpPostgresSession(db, {QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")},
                         QStringLiteral("configurar a conexão de relatórios"));
}

QSqlDatabase connectionOn(ThreadConnection &holder, const DbSettings &settings, bool readOnly)
{
    static QAtomicInt counter;
    if (!holder.name.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(holder.name, false);
        const sqlite3 *handle = sqliteHandle(db);
        const bool fileReadOnly = !readOnly && handle && sqlite3_db_readonly(const_cast<sqlite3 *>(handle), "main") == 1;
        if (db.isOpen() && !fileReadOnly && !postgresConnectionLost(db)) {
            if (CallContext *call = CallContext::current())
                call->attach(db);
            return db;
        }
        db = QSqlDatabase();
        drop(holder);
    }
    const QString name = QStringLiteral("%1-%2").arg(readOnly ? QStringLiteral("zub-reader") : QStringLiteral("zub-worker"))
                             .arg(counter.fetchAndAddRelaxed(1));
    try {
        QSqlDatabase db = openConnection(settings, name, readOnly);
        holder.name = name;
        if (CallContext *call = CallContext::current())
            call->attach(db);
        return db;
    } catch (...) {
        QSqlDatabase::removeDatabase(name);
        throw;
    }
}

} // namespace

void dropThreadConnection()
{
    drop(threadHolder);
}

QSqlDatabase threadConnection(const DbSettings &settings)
{
    return connectionOn(threadHolder, settings, false);
}

void dropReadOnlyThreadConnection()
{
    drop(readOnlyHolder);
}

QSqlDatabase readOnlyThreadConnection(const DbSettings &settings)
{
    QSqlDatabase db = connectionOn(readOnlyHolder, settings, true);
    // Again before each use: a statement of the last call may have changed the session's settings.
    makeReadOnly(db);
    return db;
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
    // A few keys go one placeholder each, so the planner sees them and their frequency (two
    // schools of three hundred must not be planned as a hundred); many keys go as one JSON array,
    // whose size then never reaches the databases' limits on placeholders.
    constexpr qsizetype kKeysShownToThePlanner = 64;
    if (keys.size() > kKeysShownToThePlanner)
        return add(expression + QStringLiteral(" IN (SELECT value FROM json_each(?))")).bind(jsonArray(keys));
    QString placeholders = QStringLiteral("?");
    for (qsizetype i = 1; i < keys.size(); ++i)
        placeholders += QStringLiteral(", ?");
    add(expression + QStringLiteral(" IN (") + placeholders + QLatin1Char(')'));
    for (const QString &key : keys)
        bind(key);
    return *this;
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

// A call that was stopped runs no further statement.
static void throwIfStopped(const QString &what)
{
    const CallContext *call = CallContext::current();
    if (call && call->stopReason() != StopReason::None)
        throw DbError{QStringLiteral("Chamada interrompida antes de %1.").arg(what), DbFailure::Interrupted};
}

// The failure of a statement on `db`, saying `what` was being done.
static DbError statementFailure(QSqlDatabase &db, const QSqlError &error, const QString &what)
{
    DbFailure failure = failureOf(error, dialectOf(db));
    // The server's goodbye ("terminating connection", a COMMIT cut short) comes without a SQLSTATE.
    if (PGconn *connection = postgresHandle(db); connection && PQstatus(connection) == CONNECTION_BAD)
        failure = DbFailure::Connection;
    // A lost connection is reopened by the next call instead of failing forever.
    if (failure == DbFailure::Connection) {
        if (CallContext *call = CallContext::current())
            call->detach();
        db.close();
    }
    return DbError{QStringLiteral("Erro no banco de dados ao %1: %2").arg(what, errorText(error)), failure};
}

QSqlQuery exec(QSqlDatabase &db, const Sql &sql, const QString &what)
{
    throwIfStopped(what);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.prepare(dialectText(db, sql.text()));
    if (ok) {
        for (const QVariant &value : sql.values())
            query.addBindValue(value);
        ok = query.exec();
    }
    if (!ok)
        throw statementFailure(db, query.lastError(), what);
    return query;
}

void execScript(QSqlDatabase &db, const QStringList &statements, const QString &what)
{
    for (const QString &statement : statements) {
        throwIfStopped(what);
        QSqlQuery query(db);
        if (!query.exec(statement))
            throw statementFailure(db, query.lastError(), what);
    }
}

bool nextRow(QSqlDatabase &db, QSqlQuery &query, const QString &what)
{
    if (query.next())
        return true;
    if (query.lastError().type() != QSqlError::NoError)
        throw statementFailure(db, query.lastError(), what);
    return false;
}

wire::DataPacket readPacket(QSqlDatabase &db, QSqlQuery &query, const QList<wire::FieldDef> &fields)
{
    wire::DataPacket packet;
    packet.fields = fields;
    while (nextRow(db, query, QStringLiteral("ler as linhas da consulta"))) {
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
    if (dialectOf(m_db) != Dialect::Sqlite) {
        execScript(m_db, {QStringLiteral("BEGIN")}, QStringLiteral("iniciar a transação"));
    } else {
        WriterGate &gate = writerGate(m_db.databaseName());
        // One busy timeout in all, whatever the writer's place in the line: a writer that waited
        // its turn behind one that met another program's lock does not wait that long again.
        const QDeadlineTimer waitEnds(gate.timeoutMs.load());
        lockWaitEnds = &waitEnds;
        const struct Forget {
            ~Forget() { lockWaitEnds = nullptr; }
        } forget;
        if (gate.enter(!noLockWaitHere, waitEnds))
            m_turn.reset(&gate);
        std::optional<NoLockWait> decideAtOnce;
        if (!m_turn)
            decideAtOnce.emplace();
        execScript(m_db, {QStringLiteral("BEGIN IMMEDIATE")}, QStringLiteral("iniciar a transação"));
    }
    m_open = true;
}

WriteTransaction::~WriteTransaction()
{
    // A connection closed on failure has dropped its transaction already.
    if (m_open && m_db.isOpen()) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("ROLLBACK"));
    }
}

void WriteTransaction::LeaveTurn::operator()(WriterGate *gate) const
{
    gate->leave();
}

void WriteTransaction::commit()
{
    execScript(m_db, {QStringLiteral("COMMIT")}, QStringLiteral("confirmar a transação"));
    m_open = false;
    m_turn.reset();
}

QString nextNumber(QSqlDatabase &db, const QString &counter, int width)
{
    const QString what = QStringLiteral("numerar %1").arg(counter);
    qint64 value = 0;
    if (dialectOf(db) == Dialect::Postgres) {
        // A sequence hands out numbers without making concurrent preparations wait for each other.
        QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT nextval('SQ_%1')").arg(counter)), what);
        if (!nextRow(db, query, what))
            throw DbError{QStringLiteral("Erro no banco de dados ao %1: sequência sem valor.").arg(what)};
        value = query.value(0).toLongLong();
    } else {
        // The write transaction already holds SQLite's write lock, so read-and-increment is safe.
        exec(db, Sql(QStringLiteral("UPDATE NUMERADOR SET NRULTIMO = NRULTIMO + 1 WHERE NMNUMERADOR = ?")).bind(counter), what);
        QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT NRULTIMO FROM NUMERADOR WHERE NMNUMERADOR = ?")).bind(counter), what);
        if (!nextRow(db, query, what))
            throw DbError{QStringLiteral("Erro no banco de dados ao %1: contador ausente.").arg(what)};
        value = query.value(0).toLongLong();
    }
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

} // namespace server
