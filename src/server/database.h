#pragma once

#include "server/failure.h"

#include "wire/databaseurl.h"
#include "wire/datapacket.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

class QSqlError;

namespace server {

enum class Dialect { Sqlite, Postgres };

// What went wrong in the database, as far as the caller's answer needs to know.
enum class DbFailure {
    Other,
    Busy,        // another writer held the lock longer than the busy timeout
    Interrupted, // stopped by a cancel, a client that left or the statement timeout
    Connection,  // the connection could not be opened or was lost
    Full,        // no room left to write (disk, or PostgreSQL's disk_full)
    ReadOnly,    // the database takes no writes now (a read-only file, a standby server)
    Constraint,  // the write would break a rule of the schema (key, NOT NULL, reference)
};

// Sorts a driver error by what the caller's answer must say: SQLite's result code or
// PostgreSQL's SQLSTATE.
DbFailure failureOf(const QSqlError &error, Dialect dialect);

// A database failure. The message is Portuguese, names what was being done and carries the
// driver's text: it is for the server's log, never for the caller.
struct DbError : ServerFailure {
    explicit DbError(QString message, DbFailure failure = DbFailure::Other) : ServerFailure(std::move(message)), kind(failure) {}
    DbFailure kind;
};

struct DbSettings {
    wire::DatabaseUrl url;
    int busyTimeoutMs = 5000;           // longest wait for a lock held by another writer
    int statementTimeoutMs = 120000;    // longest call; PostgreSQL's statement_timeout too
};

// Opens a new connection under the given Qt connection name. SQLite connections are put in WAL
// mode with the busy timeout, so readers never wait for the writer and writers queue up.
QSqlDatabase openConnection(const DbSettings &settings, const QString &connectionName, bool readOnly = false);

// The calling thread's own connection, opened on first use and closed when the thread ends:
// a Qt SQL connection must stay in the thread that opened it. A SQLite connection that could only
// open the file read-only is opened again, so a file made writable serves at once.
QSqlDatabase threadConnection(const DbSettings &settings);
// Closes the calling thread's connection after a failure; the next call opens a new one.
void dropThreadConnection();

// The calling thread's connection for report layout queries, which cannot write: SQLite opened
// read-only with query_only set; PostgreSQL in read-only transactions under the SELECT-only role
// zub_relatorio (see ensureSchema). Like threadConnection otherwise.
QSqlDatabase readOnlyThreadConnection(const DbSettings &settings);
void dropReadOnlyThreadConnection();

// The role the report queries run under on PostgreSQL.
inline constexpr char kReportRole[] = "zub_relatorio";

Dialect dialectOf(const QSqlDatabase &db);

// Statement text with positional bound values, built piece by piece for the optional filters.
class Sql
{
public:
    explicit Sql(const QString &text = {}) : m_text(text) {}

    Sql &add(const QString &text);
    Sql &bind(const QVariant &value);
    Sql &add(const QString &text, const QVariant &value) { return add(text).bind(value); }
    // Appends another statement's text and values, e.g. a subquery.
    Sql &add(const Sql &other);
    // Appends "<expression> IN (...)" over the keys bound as one JSON array that the database
    // expands (SQLite json_each, PostgreSQL json_array_elements_text), so the statement and
    // its preparation stay the same size whatever the number of keys; an empty key list
    // matches nothing ("1 = 0").
    Sql &in(const QString &expression, const QStringList &keys);

    const QString &text() const { return m_text; }
    const QVariantList &values() const { return m_values; }

private:
    QString m_text;
    QVariantList m_values;
};

// The keys as a JSON array of strings.
QString jsonArray(const QStringList &keys);

// Prepares and runs a statement; throws DbError, saying `what` was being done.
QSqlQuery exec(QSqlDatabase &db, const Sql &sql, const QString &what);
void execScript(QSqlDatabase &db, const QStringList &statements, const QString &what);

// The next row of a query run by exec(); false at the end. Qt's next() answers false as well when
// the result breaks off (a connection cut by a failover or a proxy, a cancel): that throws
// DbError, so rows cut short are never taken for the whole result.
bool nextRow(QSqlDatabase &db, QSqlQuery &query, const QString &what);

// Reads every row of a query into a data packet with the given fields, column by column.
wire::DataPacket readPacket(QSqlDatabase &db, QSqlQuery &query, const QList<wire::FieldDef> &fields);

class WriterGate;

// A transaction that may write: BEGIN IMMEDIATE on SQLite (a deferred one could fail at once
// with "database is locked" when it upgrades to a write lock, whatever the busy timeout),
// BEGIN on PostgreSQL. Rolled back unless committed.
class WriteTransaction
{
public:
    explicit WriteTransaction(QSqlDatabase &db);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    void commit();

private:
    QSqlDatabase &m_db;
    bool m_open = false;
    // SQLite: the server's writers take turns; left however the transaction ends, a failed
    // BEGIN included.
    struct LeaveTurn {
        void operator()(WriterGate *gate) const;
    };
    std::unique_ptr<WriterGate, LeaveTurn> m_turn;
};

// For writes that may be skipped when the database is busy (a session's last use): while it
// lives, a SQLite statement on this thread that meets another writer's lock fails at once
// (DbFailure::Busy) instead of waiting out the busy timeout.
class NoLockWait
{
public:
    NoLockWait();
    ~NoLockWait();
    NoLockWait(const NoLockWait &) = delete;
    NoLockWait &operator=(const NoLockWait &) = delete;

private:
    bool m_outer;
};

// The next value of a named counter, as a number of `width` digits. Inside a WriteTransaction.
QString nextNumber(QSqlDatabase &db, const QString &counter, int width);

} // namespace server
