#include "server/audit.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "server/sessions.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSqlQuery>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
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
            // The detail is the log's, under the incident number the dispatcher gives it. A call
            // its client stopped failed nowhere.
            const CallContext *call = CallContext::current();
            const StopReason stop = call ? call->stopReason() : StopReason::None;
            entry.outcome = stop == StopReason::Cancelled || stop == StopReason::ClientGone ? QStringLiteral("cancelada pelo cliente")
                                                                                             : QStringLiteral("falha no banco de dados");
            entry.durationMs = timer.elapsed();
            dropThreadConnection();
            recordAudit(settings, entry);
            throw;
        }
    };
}

namespace {

QJsonObject toJson(const AuditEntry &entry)
{
    return {{QStringLiteral("inicio"), entry.start.toString(Qt::ISODateWithMs)}, {QStringLiteral("operador"), entry.operatorCode},
            {QStringLiteral("endereco"), entry.address},                        {QStringLiteral("metodo"), entry.method},
            {QStringLiteral("filtros"), entry.filters},                         {QStringLiteral("numeros"), entry.numbers},
            {QStringLiteral("resultado"), entry.outcome},                       {QStringLiteral("duracaoMs"), double(entry.durationMs)}};
}

std::optional<AuditEntry> fromJson(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    AuditEntry entry;
    entry.start = QDateTime::fromString(object.value(QStringLiteral("inicio")).toString(), Qt::ISODateWithMs);
    if (!entry.start.isValid())
        return std::nullopt;
    entry.operatorCode = object.value(QStringLiteral("operador")).toString();
    entry.address = object.value(QStringLiteral("endereco")).toString();
    entry.method = object.value(QStringLiteral("metodo")).toString();
    entry.filters = object.value(QStringLiteral("filtros")).toString();
    entry.numbers = object.value(QStringLiteral("numeros")).toString();
    entry.outcome = object.value(QStringLiteral("resultado")).toString();
    entry.durationMs = qint64(object.value(QStringLiteral("duracaoMs")).toDouble());
    return entry;
}

// The rows waiting for the database, in a file: appended as they come; a note beside it says how
// many from the start are in the database, and both go once all are.
class AuditSpool
{
public:
    explicit AuditSpool(const QString &path) : m_file(path), m_notePath(path + QStringLiteral(".gravadas")) {}

    bool open(QString *why)
    {
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Append)) {
            *why = m_file.errorString();
            return false;
        }
        m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile note(m_notePath);
        if (note.open(QIODevice::ReadOnly))
            m_written = note.readAll().trimmed().toLongLong();
        m_file.seek(0);
        while (!m_file.atEnd()) {
            m_file.readLine();
            ++m_lines;
        }
        m_written = qBound<qint64>(0, m_written, m_lines);
        return true;
    }
    QString path() const { return m_file.fileName(); }
    qint64 waiting() const { return m_lines - m_written; }

    bool append(const AuditEntry &entry)
    {
        const QByteArray line = QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact) + '\n';
        if (m_file.write(line) != line.size() || !m_file.flush())
            return false;
        ++m_lines;
        return true;
    }
    // Up to `count` rows from the first not yet written, skipping `skip` of them.
    QList<AuditEntry> read(qint64 skip, qint64 count)
    {
        QList<AuditEntry> entries;
        m_file.seek(0);
        for (qint64 line = 0; line < m_written + skip + count && !m_file.atEnd(); ++line) {
            const QByteArray text = m_file.readLine();
            if (line >= m_written + skip) {
                if (const std::optional<AuditEntry> entry = fromJson(text))
                    entries.append(*entry);
            }
        }
        return entries;
    }
    void markWritten(qint64 count)
    {
        m_written += count;
        if (m_written >= m_lines) {
            m_file.resize(0);
            m_lines = m_written = 0;
            QFile::remove(m_notePath);
            return;
        }
        QSaveFile note(m_notePath);
        if (note.open(QIODevice::WriteOnly)) {
            note.write(QByteArray::number(m_written));
            note.commit();
        }
    }

private:
    QFile m_file;
    QString m_notePath;
    qint64 m_lines = 0;
    qint64 m_written = 0;
};

} // namespace

struct AuditWriter::State {
    DbSettings settings;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<AuditEntry> queue;
    std::unique_ptr<AuditSpool> spool;
    qint64 onlyInSpool = 0; // rows past the memory's share, waiting in the spool alone
    bool stopping = false;
    std::thread thread;

    // Rows past this wait in memory no longer: a database gone for hours must not take the
    // server's memory with it. With a spool they wait there; without one they are lost.
    static constexpr size_t kMaxQueued = 100000;
    static constexpr int kDrainSeconds = 5;

    // The spool's rows not in memory yet, once memory has room for them again.
    void refill()
    {
        if (!spool || onlyInSpool == 0 || queue.size() >= kMaxQueued)
            return;
        const QList<AuditEntry> more = spool->read(qint64(queue.size()), qint64(kMaxQueued - queue.size()));
        queue.insert(queue.end(), more.begin(), more.end());
        onlyInSpool = qMax<qint64>(0, onlyInSpool - more.size());
    }

    void run()
    {
        int pauseMs = 50;
        qint64 delayed = 0; // rows of the outage under way; 0: none
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
                if (spool)
                    spool->markWritten(batch.size());
                refill();
                if (delayed > 0 && queue.empty()) {
                    logLine(LogLevel::Warning, QStringLiteral("auditoria em dia: as linhas adiadas foram gravadas."));
                    delayed = 0;
                }
                pauseMs = 50;
                continue;
            }
            if (delayed == 0) {
                // One line an outage, not one a retry or a call.
                logLine(LogLevel::Warning, QStringLiteral("auditoria adiada (%1 linha(s) esperando%2): %3")
                                               .arg(queue.size() + onlyInSpool)
                                               .arg(spool ? QStringLiteral(" em %1").arg(spool->path()) : QString(), why));
            }
            delayed = qint64(queue.size()) + onlyInSpool;
            if (stopping && drainDeadline.hasExpired()) {
                if (spool) {
                    logLine(LogLevel::Warning, QStringLiteral("auditoria: %1 linha(s) ficam em %2 e serão gravadas no próximo início.")
                                                   .arg(spool->waiting())
                                                   .arg(spool->path()));
                } else {
                    for (const AuditEntry &entry : queue)
                        logLost(entry, why);
                }
                queue.clear();
                break;
            }
            wake.wait_for(lock, std::chrono::milliseconds(pauseMs));
            pauseMs = std::min(pauseMs * 2, 2000);
        }
    }
};

QString defaultAuditSpool(const DbSettings &settings)
{
    if (settings.url.kind == wire::DatabaseUrl::Kind::Sqlite)
        return settings.url.path + QStringLiteral("-auditoria-pendente.jsonl");
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    return state.isEmpty() ? QString() : QDir(state).filePath(QStringLiteral("auditoria-pendente.jsonl"));
}

AuditWriter::AuditWriter(const DbSettings &settings, const QString &spoolFile) : m_state(std::make_unique<State>())
{
    m_state->settings = settings;
    if (!spoolFile.isEmpty()) {
        auto spool = std::make_unique<AuditSpool>(spoolFile);
        QString why;
        if (spool->open(&why)) {
            m_state->spool = std::move(spool);
            m_state->onlyInSpool = m_state->spool->waiting();
            if (m_state->onlyInSpool > 0)
                logLine(LogLevel::Warning, QStringLiteral("auditoria: %1 linha(s) de uma execução anterior esperam em %2 e serão gravadas.")
                                               .arg(m_state->onlyInSpool)
                                               .arg(spoolFile));
            m_state->refill();
        } else {
            logLine(LogLevel::Warning, QStringLiteral("auditoria: não foi possível abrir %1 (%2); as linhas adiadas ficam só na memória.")
                                           .arg(spoolFile, why));
        }
    }
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
        if (m_state->spool && !m_state->spool->append(entry)) {
            logLost(entry, QStringLiteral("não foi possível gravar em %1").arg(m_state->spool->path()));
            return;
        }
        if (m_state->queue.size() >= State::kMaxQueued || m_state->onlyInSpool > 0) {
            if (!m_state->spool) {
                logLost(entry, QStringLiteral("fila da auditoria cheia"));
                return;
            }
            ++m_state->onlyInSpool;
        } else {
            m_state->queue.push_back(std::move(entry));
        }
    }
    m_state->wake.notify_one();
}

QList<AuditEntry> readAudit(QSqlDatabase &db, const QDateTime &since)
{
    const QString what = QStringLiteral("ler a auditoria");
    QSqlQuery query = exec(db,
                           Sql(QStringLiteral("SELECT DTINICIO, CDOPERADOR, DSENDERECO, NMMETODO, DSFILTROS, NRCONSPLAN, DSRESULTADO, QTDURACAOMS"
                                              " FROM AUDITORIA WHERE DTINICIO >= ? ORDER BY DTINICIO"))
                               .bind(since.toUTC()),
                           what);
    QList<AuditEntry> entries;
    while (nextRow(db, query, what)) {
        entries << AuditEntry{query.value(0).toDateTime().toUTC(), query.value(1).toString(), query.value(2).toString(),
                              query.value(3).toString(),           query.value(4).toString(), query.value(5).toString(),
                              query.value(6).toString(),           query.value(7).toLongLong()};
    }
    return entries;
}

QString describe(const AuditEntry &entry)
{
    return printable(QStringLiteral("%1  %2  %3  %4  %5 ms  %6  %7  %8")
        .arg(entry.start.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), entry.operatorCode.leftJustified(8),
             entry.address.isEmpty() ? QStringLiteral("-") : entry.address, entry.method, QString::number(entry.durationMs), entry.numbers.isEmpty() ? QStringLiteral("-") : entry.numbers,
             entry.outcome, entry.filters));
}

} // namespace server
