#pragma once

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <memory>

namespace host {

// Runs a report's statements on a database and reads their rows. Where another connection can
// open the same database (PostgreSQL, or an SQLite file), they run on a thread with a connection
// of its own, opened at the first statement and kept for the runner's life, so the window keeps
// painting and "Cancelar" (or a batch's stop signal) interrupts a long query inside the database
// instead of waiting for its first row. An SQLite database in memory is read on the caller's
// connection.
class QueryRunner
{
public:
    using Bindings = QList<QPair<QString, QVariant>>;

    explicit QueryRunner(const QSqlDatabase &database);
    ~QueryRunner();
    QueryRunner(const QueryRunner &) = delete;
    QueryRunner &operator=(const QueryRunner &) = delete;

    // The rows of one statement, its ":NAME" parameters bound, field names in upper case
    // (PostgreSQL answers them in lower case); "" or the database's reason. Raises CancelledError
    // when the user cancels meanwhile, once the statement has stopped.
    QString fetch(const QString &sql, const Bindings &bindings, QList<QVariantMap> &rows);

private:
    class Reader;
    QSqlDatabase m_database;
    std::unique_ptr<Reader> m_reader;
};

} // namespace host
