#include "report/queryrunner.h"

#include "host/data/dbgeral.h"
#include "host/work/longwork.h"
#include "wire/statementinterrupt.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace host {

namespace {

using Bindings = QueryRunner::Bindings;

// Runs a statement and reads its rows (field names in upper case: PostgreSQL answers them in lower
// case); "" or the database's reason. `stop` is asked every 500 rows; true ends the reading.
QString fetchRows(QSqlDatabase database, const QString &sql, const Bindings &bindings, QList<QVariantMap> &result,
                  const std::function<bool()> &stop)
{
    QSqlQuery statement(database);
    statement.setForwardOnly(true);
    statement.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!statement.prepare(sql))
        return statement.lastError().text();
    for (const auto &[name, value] : bindings)
        statement.bindValue(QLatin1Char(':') + name, value);
    if (!statement.exec())
        return statement.lastError().text();
    while (statement.next()) {
        if (result.size() % 500 == 0 && stop())
            return QString();
        const QSqlRecord record = statement.record();
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i)
            row.insert(record.fieldName(i).toUpper(), record.value(i));
        result.append(row);
    }
    return statement.lastError().isValid() ? statement.lastError().text() : QString();
}

// A database another connection can open too: PostgreSQL, or an SQLite file (not one in memory).
bool runsOffThread(const QSqlDatabase &database)
{
    if (database.driverName() == QLatin1String("QPSQL"))
        return true;
    const QString file = database.databaseName();
    return database.driverName() == QLatin1String("QSQLITE") && !file.isEmpty() && file != QLatin1String(":memory:")
        && !file.contains(QLatin1String("mode=memory"));
}

} // namespace

// The thread of the statements and its connection.
class QueryRunner::Reader
{
public:
    explicit Reader(const QString &connection) : m_connection(connection), m_thread([this] { serve(); }) {}
    ~Reader()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // The rows of one statement; "" or the database's reason. Raises CancelledError when the user
    // cancels meanwhile, once the statement has stopped.
    QString fetch(const QString &sql, const Bindings &bindings, QList<QVariantMap> &result)
    {
        std::unique_lock lock(m_mutex);
        m_job = Job{sql, bindings, {}, {}, false, false};
        m_wake.notify_all();
        try {
            while (!m_job->done) {
                m_wake.wait_for(lock, std::chrono::milliseconds(25));
                if (m_job->done)
                    break;
                lock.unlock();
                if (workUnderWay())
                    keepResponsive();
                else
                    throwIfCancelled();
                lock.lock();
            }
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            m_job->stopped = true;
            m_statement.interrupt();
            m_wake.wait(lock, [this] { return m_job->done; });
            m_job.reset();
            throw;
        }
        result = std::move(m_job->rows);
        const QString error = m_job->error;
        m_job.reset();
        return error;
    }

private:
    struct Job {
        QString sql;
        Bindings bindings;
        QList<QVariantMap> rows;
        QString error;
        bool started = false;
        bool done = false;
        bool stopped = false;
    };

    void serve()
    {
        const QString name = QStringLiteral("zubreport-%1").arg(quintptr(this), 0, 16);
        {
            QSqlDatabase database;
            std::unique_lock lock(m_mutex);
            while (true) {
                m_wake.wait(lock, [this] { return m_quit || (m_job && !m_job->started); });
                if (m_quit)
                    break;
                m_job->started = true;
                Job &job = *m_job;
                lock.unlock();
                QString error;
                if (!database.isValid()) {
                    database = QSqlDatabase::cloneDatabase(m_connection, name);
                    if (database.open())
                        setSessionReadOnly(database);
                }
                if (!database.isOpen()) {
                    error = database.lastError().text();
                } else {
                    {
                        std::lock_guard attach(m_mutex);
                        m_statement.attach(database);
                    }
                    error = fetchRows(database, job.sql, job.bindings, job.rows, [this, &job] {
                        std::lock_guard check(m_mutex);
                        return job.stopped;
                    });
                }
                lock.lock();
                m_statement.detach();
                job.error = error;
                job.done = true;
                m_wake.notify_all();
            }
            lock.unlock();
            database.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    const QString m_connection;
    std::mutex m_mutex; // guards the job, the statement and m_quit
    std::condition_variable m_wake;
    std::optional<Job> m_job;
    wire::StatementInterrupt m_statement;
    bool m_quit = false;
    std::thread m_thread; // last: it starts serving once the members above exist
};

QueryRunner::QueryRunner(const QSqlDatabase &database) : m_database(database) {}

QueryRunner::~QueryRunner() = default;

QString QueryRunner::fetch(const QString &sql, const Bindings &bindings, QList<QVariantMap> &rows)
{
    if (!m_reader && runsOffThread(m_database))
        m_reader = std::make_unique<Reader>(m_database.connectionName());
    return m_reader ? m_reader->fetch(sql, bindings, rows) : fetchRows(m_database, sql, bindings, rows, [] {
        throwIfCancelled(); // a stop signal ends a large query's rows too
        return false;
    });
}

} // namespace host
