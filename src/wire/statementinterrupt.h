#pragma once

#include <QString>

class QSqlDatabase;
struct pg_cancel;

namespace wire {

// Stops the statement running on a Qt SQL connection from another thread. Qt SQL offers no way,
// so the driver's own handle is used: sqlite3_interrupt, or a PostgreSQL cancel request. Not
// synchronised itself: the owner guards attach, detach and interrupt with one lock.
class StatementInterrupt
{
public:
    StatementInterrupt() = default;
    ~StatementInterrupt();
    StatementInterrupt(const StatementInterrupt &) = delete;
    StatementInterrupt &operator=(const StatementInterrupt &) = delete;

    // Takes the connection's handle; false when its driver offers no way to interrupt it.
    bool attach(QSqlDatabase &db);
    bool attached() const { return m_sqlite || m_pgCancel; }
    // Before the connection closes.
    void detach();
    // Interrupts what the attached connection runs now; "" or why PostgreSQL refused the request.
    QString interrupt();

private:
    void *m_sqlite = nullptr; // sqlite3*
    pg_cancel *m_pgCancel = nullptr;
};

} // namespace wire
