#include "server/audit.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "server/sessions.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace server {

namespace {

QString compact(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

// The numbers a call made and how it ended, read from its answer: a plain plan number, or
// an envelope with the list numbers or a refusal.
void readOutcome(const QJsonValue &answer, AuditEntry *entry)
{
    if (answer.isString()) {
        const QString text = answer.toString();
        const bool number = text.size() == 10;
        entry->numbers = number ? text : QString();
        entry->outcome = number ? QStringLiteral("ok") : text;
        return;
    }
    const QJsonObject envelope = answer.toObject();
    if (envelope.value(QStringLiteral("ok")).toBool()) {
        entry->outcome = QStringLiteral("ok");
        entry->numbers = compact(envelope.value(QStringLiteral("data")));
    } else {
        entry->outcome = envelope.value(QStringLiteral("message")).toString();
    }
}

void insert(QSqlDatabase &db, const QList<AuditEntry> &entries)
{
    WriteTransaction transaction(db);
    for (const AuditEntry &entry : entries) {
        exec(db,
             Sql(QStringLiteral("INSERT INTO AUDITORIA (DTINICIO, CDOPERADOR, DSENDERECO, NMMETODO, DSFILTROS, NRCONSPLAN, DSRESULTADO, QTDURACAOMS)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"))
                 .bind(entry.start).bind(entry.operatorCode.left(20)).bind(entry.address.left(64)).bind(entry.method)
                 .bind(entry.filters.left(20000)).bind(entry.numbers.left(40)).bind(entry.outcome.left(2000)).bind(entry.durationMs),
             QStringLiteral("gravar a auditoria"));
    }
    transaction.commit();
}

void logLost(const AuditEntry &entry, const QString &why)
{
    logLine(LogLevel::Error, QStringLiteral("auditoria de %1 (%2) não gravada: %3").arg(entry.method, entry.operatorCode, why));
}

bool worthRetrying(DbFailure kind)
{
    return kind == DbFailure::Busy || kind == DbFailure::Connection || kind == DbFailure::Interrupted || kind == DbFailure::Full
        || kind == DbFailure::ReadOnly;
}

std::atomic<AuditWriter *> runningWriter{nullptr};

// Set while a call audited as a whole runs: its refusals are in its own row already.
thread_local bool wholeCallAudited = false;
struct AuditedAsAWhole {
    AuditedAsAWhole() { wholeCallAudited = true; }
    ~AuditedAsAWhole() { wholeCallAudited = false; }
};

} // namespace

QString callerAddress()
{
    const CallContext *context = CallContext::current();
    return context && !context->peer().isEmpty() ? addressText(context->peer()) : QString();
}

// Written before the call answers when the database is free; when another writer holds it, or
// it cannot be reached, the row goes to the audit writer rather than hold up the answer.
void recordAudit(const DbSettings &settings, AuditEntry entry)
{
    if (entry.address.isEmpty())
        entry.address = callerAddress();
    // The row outlives a stop of the call it tells of.
    CallContext::Unstoppable outsideTheCall;
    try {
        NoLockWait atOnce;
        QSqlDatabase db = threadConnection(settings);
        insert(db, {entry});
    } catch (const DbError &error) {
        dropThreadConnection();
        if (AuditWriter *writer = runningWriter.load(); writer && worthRetrying(error.kind))
            writer->post(entry);
        else
            logLost(entry, error.message);
    }
}

void auditRefusal(const QString &refusal)
{
    if (wholeCallAudited)
        return;
    AuditEntry entry;
    entry.start = QDateTime::currentDateTimeUtc();
    entry.operatorCode = auditedName(Caller::current());
    entry.address = callerAddress();
    entry.method = runningMethod();
    entry.filters = QStringLiteral("-");
    entry.outcome = refusal;
    postAudit(std::move(entry));
}

void postAudit(AuditEntry entry)
{
    if (AuditWriter *writer = runningWriter.load())
        writer->post(std::move(entry));
    else
        logLost(entry, QStringLiteral("sem gravador da auditoria"));
}

QString auditedName(const Caller &caller)
{
    switch (caller.kind) {
    case Caller::Kind::Operator:
        return caller.account.code;
    case Caller::Kind::Machine:
        return kMachineAuditName;
    case Caller::Kind::Anonymous:
        break;
    }
    return kAnonymousAuditName;
}

Handler audited(const DbSettings &settings, const QString &method, Handler inner, AuditOnly which)
{
    return [settings, method, inner = std::move(inner), which](const Args &args) {
        const AuditedAsAWhole asAWhole;
        const Caller &caller = Caller::current();
        AuditEntry entry;
        entry.start = QDateTime::currentDateTimeUtc();
        entry.method = method;
        entry.operatorCode = auditedName(caller);
        QJsonArray arguments;
        for (int i = 0; args.raw(i).type() != QJsonValue::Undefined; ++i)
            arguments.append(args.raw(i));
        entry.filters = compact(arguments);
        QElapsedTimer timer;
        timer.start();
        try {
            CallResult result = inner(args);
            if (which == AuditOnly::Refusals && result.answer.toObject().value(QStringLiteral("ok")).toBool())
                return result;
            entry.durationMs = timer.elapsed();
            readOutcome(result.answer, &entry);
            recordAudit(settings, entry);
            return result;
        } catch (const CallError &error) {
            entry.outcome = error.message;
            entry.durationMs = timer.elapsed();
            recordAudit(settings, entry);
            throw;
        } catch (const DbError &) {
            // The detail is the log's, under the incident number the dispatcher gives it.
            entry.outcome = QStringLiteral("falha no banco de dados");
            entry.durationMs = timer.elapsed();
            dropThreadConnection();
            recordAudit(settings, entry);
            throw;
        }
    };
}

struct AuditWriter::State {
    DbSettings settings;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<AuditEntry> queue;
    bool stopping = false;
    std::thread thread;

    // Rows past this wait in memory no longer: a database gone for hours must not take the
    // server's memory with it.
    static constexpr size_t kMaxQueued = 100000;
    static constexpr int kDrainSeconds = 5;

    void run()
    {
        int pauseMs = 50;
        QDeadlineTimer drainDeadline(QDeadlineTimer::Forever);
        std::unique_lock lock(mutex);
        while (true) {
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                break;
            if (stopping && drainDeadline.isForever())
                drainDeadline.setRemainingTime(kDrainSeconds * 1000);
            const QList<AuditEntry> batch(queue.begin(), queue.begin() + qsizetype(std::min<size_t>(queue.size(), 200)));
            lock.unlock();
            DbFailure failure = DbFailure::Other;
            QString why;
            bool written = false;
            try {
                QSqlDatabase db = threadConnection(settings);
                insert(db, batch);
                written = true;
            } catch (const DbError &error) {
                dropThreadConnection();
                failure = error.kind;
                why = error.message;
            }
            lock.lock();
            if (written || !worthRetrying(failure)) {
                for (const AuditEntry &entry : batch) {
                    if (!written)
                        logLost(entry, why);
                    queue.pop_front();
                }
                pauseMs = 50;
                continue;
            }
            if (stopping && drainDeadline.hasExpired()) {
                for (const AuditEntry &entry : queue)
                    logLost(entry, why);
                queue.clear();
                break;
            }
            logLine(LogLevel::Warning, QStringLiteral("auditoria adiada (%1 linha(s) na fila): %2").arg(queue.size()).arg(why));
            wake.wait_for(lock, std::chrono::milliseconds(pauseMs));
            pauseMs = std::min(pauseMs * 2, 2000);
        }
    }
};

AuditWriter::AuditWriter(const DbSettings &settings) : m_state(std::make_unique<State>())
{
    m_state->settings = settings;
    m_state->thread = std::thread([state = m_state.get()] { state->run(); });
    runningWriter.store(this);
}

AuditWriter::~AuditWriter()
{
    runningWriter.store(nullptr);
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->wake.notify_all();
    m_state->thread.join();
}

void AuditWriter::post(AuditEntry entry)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->queue.size() >= State::kMaxQueued) {
            logLost(entry, QStringLiteral("fila da auditoria cheia"));
            return;
        }
        m_state->queue.push_back(std::move(entry));
    }
    m_state->wake.notify_one();
}

QList<AuditEntry> readAudit(QSqlDatabase &db, const QDateTime &since)
{
    QSqlQuery query = exec(db,
                           Sql(QStringLiteral("SELECT DTINICIO, CDOPERADOR, DSENDERECO, NMMETODO, DSFILTROS, NRCONSPLAN, DSRESULTADO, QTDURACAOMS"
                                              " FROM AUDITORIA WHERE DTINICIO >= ? ORDER BY DTINICIO"))
                               .bind(since.toUTC()),
                           QStringLiteral("ler a auditoria"));
    QList<AuditEntry> entries;
    while (nextRow(db, query, QStringLiteral("ler a auditoria"))) {
        entries << AuditEntry{query.value(0).toDateTime().toUTC(), query.value(1).toString(), query.value(2).toString(),
                              query.value(3).toString(),           query.value(4).toString(), query.value(5).toString(),
                              query.value(6).toString(),           query.value(7).toLongLong()};
    }
    return entries;
}

QString describe(const AuditEntry &entry)
{
    return QStringLiteral("%1  %2  %3  %4  %5 ms  %6  %7  %8")
        .arg(entry.start.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), entry.operatorCode.leftJustified(8),
             entry.address.isEmpty() ? QStringLiteral("-") : entry.address, entry.method, QString::number(entry.durationMs), entry.numbers.isEmpty() ? QStringLiteral("-") : entry.numbers,
             entry.outcome, entry.filters);
}

} // namespace server
