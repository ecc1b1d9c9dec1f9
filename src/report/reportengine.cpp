#include "report/reportengine.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "report/reportexpression.h"
#include "report/reportformat.h"
#include "wire/layoutqueries.h"
#include "wire/periodparts.h"
#include "wire/statementinterrupt.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace host {

namespace {

using Bindings = QList<QPair<QString, QVariant>>;

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

// The layout's statements run on a thread with a connection of its own to the same database,
// opened once for the engine's report, so the window keeps painting and "Cancelar" (or a batch's
// stop signal) interrupts a long query inside the database instead of waiting for its first row.
class ReportEngine::Reader
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

namespace {

// The unit of a sum of quantities: known while every row added carried the same one.
struct Unit {
    bool seen = false;
    bool mixed = false;
    QString name;

    static Unit of(const QVariant &value)
    {
        const QString name = value.toString().trimmed();
        return {true, name.isEmpty(), name};
    }
    void add(const Unit &more)
    {
        if (!more.seen)
            return;
        if (!seen)
            *this = more;
        else if (more.mixed || more.name != name)
            mixed = true;
    }
    bool single() const { return seen && !mixed; }
};

// Running totals of one group (or of the whole report).
struct Totals {
    QMap<QString, double> values;
    QMap<QString, Unit> units; // by unit field
    void add(const QMap<QString, double> &more)
    {
        for (auto it = more.begin(); it != more.end(); ++it)
            values[it.key()] += it.value();
    }
    void add(const Totals &more)
    {
        add(more.values);
        for (auto it = more.units.begin(); it != more.units.end(); ++it)
            units[it.key()].add(it.value());
    }
    void addUnits(const QVariantMap &row, const QStringList &unitFields)
    {
        for (const QString &field : unitFields)
            units[field].add(Unit::of(row.value(field)));
    }
};

bool isBlank(const QVariant &value)
{
    return !value.isValid() || value.isNull() || value.toString().trimmed().isEmpty();
}

QMap<QString, double> numbers(const QVariantMap &row, const QStringList &fields)
{
    QMap<QString, double> result;
    for (const QString &field : fields)
        result.insert(field, row.value(field).toDouble());
    return result;
}

std::optional<double> numberOf(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && !value.isNull() ? std::optional<double>(number) : std::nullopt;
}

// A statement parameter's value: the run's own, or a part of its period (P_DTINICIAL to
// P_DTFINAL) that the query reads whole months and edges by; nothing when neither.
std::optional<QVariant> parameterValue(const TParams &params, const QString &name)
{
    if (const TParam *param = params.find(name))
        return ReportFormat::bindValue(*param);
    const TParam *start = params.find(QStringLiteral("P_DTINICIAL"));
    const TParam *end = params.find(QStringLiteral("P_DTFINAL"));
    if (!start || !end || start->IsNull() || end->IsNull() || !wire::isPeriodPartParameter(name))
        return std::nullopt;
    for (const auto &[partName, day] : wire::periodPartParameters(start->AsDateTime().date(), end->AsDateTime().date())) {
        if (partName == name)
            return QVariant(day);
    }
    return std::nullopt;
}

QString paramText(const TParams &params, const QString &name)
{
    const TParam *param = params.find(name);
    return !param || param->IsNull() ? QString() : ReportFormat::param(*param);
}

// "{FIELD}" from the row, else from the parameters.
QString filled(const QString &text, const QVariantMap &row, const TParams &params)
{
    return ReportFormat::fill(text, [&](const QString &name) {
        const QString upper = name.toUpper();
        return row.contains(upper) ? ReportFormat::value(row.value(upper)) : paramText(params, name);
    });
}

bool matches(const QVariantMap &row, const QMap<QString, QString> &match)
{
    for (auto it = match.begin(); it != match.end(); ++it) {
        if (row.value(it.key()).toString().trimmed() != it.value())
            return false;
    }
    return true;
}

// "1 dia de filial", "12 dias de filiais": the unit is "singular|plural".
QString counted(int count, const QString &unit)
{
    const QStringList forms = unit.split(QLatin1Char('|'));
    const QString form = count == 1 ? forms.first() : forms.last();
    return (ReportFormat::number(count, 0) + QLatin1Char(' ') + form).trimmed();
}


using FieldValue = std::function<std::optional<double>(const QString &)>;

FieldValue valueOfTotals(const Totals &totals)
{
    return [&totals](const QString &field) {
        return totals.values.contains(field) ? std::optional<double>(totals.values.value(field)) : std::nullopt;
    };
}

// The bands of the detail rows, in order: a header when a group opens, each row's line, and a
// footer with the group's totals when it closes, then the grand total. The rows are in memory,
// already sorted by the groups' fields.
class GroupBands
{
public:
    GroupBands(const ReportLayout &layout, const TParams &params, const QList<ReportLayout::Column> &columns, ReportDocument &document)
        : m_layout(layout), m_params(params), m_columns(columns), m_document(document), m_levels(int(layout.groups.size())),
          m_totals(m_levels + 1), m_openedBy(m_levels), m_captions(m_levels)
    {
        for (const ReportLayout::Column &column : columns)
            m_expressions.append(column.expression.isEmpty() ? std::nullopt : std::optional<ReportExpression>(ReportExpression(column.expression)));
        for (const ReportLayout::Column &column : layout.columns) {
            if (!column.unitField.isEmpty() && !m_unitFields.contains(column.unitField.toUpper()))
                m_unitFields.append(column.unitField.toUpper());
        }
    }

    void add(const QVariantMap &row)
    {
        const bool first = m_rowCount++ == 0;
        const int changed = first ? 0 : firstChangedLevel(row);
        for (int level = m_levels - 1; !first && level >= changed; --level)
            close(level);
        for (int level = changed; level < m_levels; ++level)
            open(level, row);
        Totals &innermost = m_totals[m_levels == 0 ? 0 : m_levels - 1];
        // Values that belong to the innermost group (its meals, say) count once for it.
        if (changed < m_levels || (m_levels == 0 && first))
            innermost.add(numbers(row, m_layout.groupValues));
        innermost.add(numbers(row, m_layout.sums));
        innermost.addUnits(row, m_unitFields);
        const auto value = [this, &row](const QString &field) { return numberOf(row.value(upper(field))); };
        QList<QVariant> values = lineValues(value, [this, &row](const ReportLayout::Column &column) { return row.value(upper(column.field)); });
        // A quantity without its unit (a product group of several units) says nothing.
        for (int c = 0; c < m_columns.size(); ++c) {
            if (!m_columns[c].unitField.isEmpty() && isBlank(row.value(upper(m_columns[c].unitField))))
                values[c] = QVariant();
        }
        ReportDocument::Band line{ReportDocument::BandKind::Detail, m_levels, QString(), values, m_captions, {}};
        line.overPlan = overPlan(value);
        m_document.addBand(line);
    }

    void finish()
    {
        for (int level = m_levels - 1; level >= 0; --level)
            close(level);
        if (m_layout.grandTotal.isEmpty())
            return;
        ReportDocument::Band grand{ReportDocument::BandKind::GrandTotal, 0, m_layout.grandTotal, totalValues(m_totals[m_levels]), {}, {}};
        grand.overPlan = overPlan(valueOfTotals(m_totals[m_levels]));
        m_document.addBand(grand);
    }

private:
    // A field's name as the rows spell it (upper case), made once per name rather than per row.
    const QString &upper(const QString &name) const
    {
        const auto found = m_upper.constFind(name);
        return found != m_upper.constEnd() ? *found : *m_upper.insert(name, name.toUpper());
    }

    int firstChangedLevel(const QVariantMap &row) const
    {
        for (int level = 0; level < m_levels; ++level) {
            const QString &field = upper(m_layout.groups[level].field);
            if (row.value(field).toString() != m_openedBy[level].value(field).toString())
                return level;
        }
        return m_levels;
    }

    void open(int level, const QVariantMap &row)
    {
        const ReportLayout::Group &group = m_layout.groups[level];
        m_openedBy[level] = row;
        m_captions[level] = filled(group.text, row, m_params);
        const QString title = group.label.isEmpty() ? m_captions[level] : group.label + QStringLiteral(": ") + m_captions[level];
        QString heading = title;
        if (!group.note.isEmpty())
            heading += QStringLiteral(" (") + filled(group.note, row, m_params) + QLatin1Char(')');
        m_document.addBand({ReportDocument::BandKind::GroupHeader, level, heading, {}, {}, title + QStringLiteral(" (continuação)")});
        m_totals[level] = Totals();
    }

    void close(int level)
    {
        const ReportLayout::Group &group = m_layout.groups[level];
        const QString footer = group.footer.isEmpty() ? QStringLiteral("Total - %1 %2").arg(group.label, m_captions[level])
                                                      : filled(group.footer, m_openedBy[level], m_params);
        ReportDocument::Band band{ReportDocument::BandKind::GroupFooter, level, footer, totalValues(m_totals[level]), {}, {}};
        band.overPlan = overPlan(valueOfTotals(m_totals[level]));
        m_document.addBand(band);
        m_totals[level == 0 ? m_levels : level - 1].add(m_totals[level]);
    }

    // Values of a line: each column's field, or its expression over `value`.
    QList<QVariant> lineValues(const FieldValue &value, const std::function<QVariant(const ReportLayout::Column &)> &plain) const
    {
        QList<QVariant> values;
        for (int i = 0; i < m_columns.size(); ++i) {
            if (m_expressions[i]) {
                const std::optional<double> result = m_expressions[i]->evaluate(value);
                values.append(result ? QVariant(*result) : QVariant());
            } else {
                values.append(plain(m_columns[i]));
            }
        }
        return values;
    }

    QList<QVariant> totalValues(const Totals &totals) const
    {
        QList<QVariant> values = lineValues(valueOfTotals(totals), [&](const ReportLayout::Column &column) {
            // A unit column names the one unit of the total's quantities.
            const QString field = column.field.toUpper();
            if (m_unitFields.contains(field)) {
                const Unit unit = totals.units.value(field);
                return unit.single() ? QVariant(unit.name) : QVariant();
            }
            return totals.values.contains(column.field) ? QVariant(totals.values.value(column.field)) : QVariant();
        });
        for (int i = 0; i < m_columns.size(); ++i) {
            const QString unitField = m_columns[i].unitField.toUpper();
            if (!m_columns[i].total || (!unitField.isEmpty() && !totals.units.value(unitField).single()))
                values[i] = QVariant();
        }
        return values;
    }

    bool overPlan(const FieldValue &value) const
    {
        return m_layout.overPlan.isSet()
            && m_layout.overPlan.exceeded(value(m_layout.overPlan.planned).value_or(0), value(m_layout.overPlan.actual).value_or(0));
    }

    const ReportLayout &m_layout;
    const TParams &m_params;
    const QList<ReportLayout::Column> &m_columns;
    ReportDocument &m_document;
    const int m_levels;
    QList<std::optional<ReportExpression>> m_expressions;
    QStringList m_unitFields;
    QList<Totals> m_totals; // one per open group; the last one is the whole report
    QList<QVariantMap> m_openedBy;
    QStringList m_captions;
    int m_rowCount = 0;
    mutable QHash<QString, QString> m_upper;
};

} // namespace

ReportEngine::ReportEngine(const QSqlDatabase &database, const TPictObj &codePicture)
    : m_database(database), m_codePicture(codePicture)
{
    if (database.isValid())
        m_dialect = dialectForDriver(database.driverName());
}

ReportEngine::ReportEngine(RowSource source, const TPictObj &codePicture) : m_source(std::move(source)), m_codePicture(codePicture) {}

ReportEngine::RowSource ReportEngine::fromServer(GeneralDataSource &server, const QString &reportCode, const ReportLayout &installed)
{
    const QString file = QFileInfo(installed.fileName).fileName();
    return [&server, reportCode, installed, file](const ReportLayout::Query &query, const TParams &params) {
        const ReportLayout::Query *theirs = installed.query(query.name);
        if (!theirs)
            throw HostError(QStringLiteral("A consulta \"%1\" não existe no layout instalado \"%2\".").arg(query.name, installed.title));
        QVariantMap values;
        for (const QString &text : theirs->sql) {
            for (const QString &name : wire::statementParameters(text)) {
                const std::optional<QVariant> value = parameterValue(params, name);
                if (!value)
                    throw HostError(QStringLiteral("Não foi possível executar a consulta \"%1\" do relatório: o parâmetro %2 não é "
                                                   "declarado pelo layout.").arg(query.name, name));
                values.insert(name, *value);
            }
        }
        return server.reportRows(reportCode, file, query.name, values);
    };
}

QList<ReportLayout::Column> ReportEngine::shownColumns(const ReportLayout &layout, const TParams &params)
{
    QList<ReportLayout::Column> shown;
    for (const ReportLayout::Column &column : layout.columns) {
        bool matches = column.visible;
        for (auto it = column.when.begin(); matches && it != column.when.end(); ++it) {
            const TParam *param = params.find(it.key());
            matches = param && param->AsString() == it.value();
        }
        if (matches)
            shown.append(column);
    }
    return shown;
}

QList<QVariantMap> ReportEngine::rows(const ReportLayout::Query &query, const TParams &params) const
{
    if (m_source)
        return m_source(query, params);
    auto fail = [&query](const QString &why) {
        return HostError(QStringLiteral("Não foi possível executar a consulta \"%1\" do relatório: %2").arg(query.name, why));
    };
    if (!m_database.isValid() || !m_database.isOpen())
        throw fail(QStringLiteral("o banco de dados geral não está aberto."));
    const QString sql = query.sqlFor(m_dialect);
    Bindings bindings;
    for (const QString &name : wire::statementParameters(sql)) {
        const std::optional<QVariant> value = parameterValue(params, name);
        if (!value)
            throw fail(QStringLiteral("o parâmetro %1 não é declarado pelo layout.").arg(name));
        bindings.append({name, *value});
    }
    QList<QVariantMap> result;
    if (!m_reader && runsOffThread(m_database))
        m_reader = std::make_shared<Reader>(m_database.connectionName());
    const QString error = m_reader ? m_reader->fetch(sql, bindings, result)
                                   : fetchRows(m_database, sql, bindings, result, [] {
                                                          throwIfCancelled(); // a stop signal ends a large query's rows too
                                                          return false;
                                                      });
    if (!error.isEmpty())
        throw fail(error);
    return result;
}

void ReportEngine::complete(QList<QVariantMap> &data, const ReportLayout::Lookup &lookup, const ReportLayout::Query &query,
                            const TParams &params) const
{
    const QString key = lookup.key.toUpper();
    QHash<QString, QVariantMap> byKey;
    for (const QVariantMap &row : rows(query, params))
        byKey.insert(row.value(key).toString(), row);
    for (QVariantMap &row : data) {
        const auto found = byKey.constFind(row.value(key).toString());
        if (found == byKey.constEnd())
            continue;
        for (auto it = found->begin(); it != found->end(); ++it) {
            if (isBlank(row.value(it.key())))
                row.insert(it.key(), it.value());
        }
    }
}

QList<ReportDocument::HeaderLine> ReportEngine::headerLines(const ReportLayout &layout, const TParams &params) const
{
    QMap<QString, QList<QVariantMap>> results;
    QList<ReportDocument::HeaderLine> lines;
    for (const ReportLayout::HeaderLine &line : layout.header) {
        QList<QVariantMap> found{QVariantMap()};
        if (!line.query.isEmpty()) {
            if (!results.contains(line.query))
                results.insert(line.query, rows(*layout.query(line.query), params));
            found = results.value(line.query);
        }
        QStringList texts;
        for (const QVariantMap &row : found) {
            texts.append(filled(line.text, row, params));
            if (line.join.isEmpty())
                break;
        }
        QString more;
        if (line.limit > 0 && texts.size() > line.limit) {
            more = QStringLiteral(" e mais %1").arg(texts.size() - line.limit);
            texts.resize(line.limit);
        }
        const QString text = texts.join(line.join) + more;
        lines.append({line.label, line.map.value(text, text)});
    }
    return lines;
}

// Each line counts the rows of the notices' query it matches and names the first ones.
QList<ReportDocument::HeaderLine> ReportEngine::noticeLines(const ReportLayout &layout, const TParams &params) const
{
    QList<ReportDocument::HeaderLine> lines;
    if (layout.notices.lines.isEmpty())
        return lines;
    const QList<QVariantMap> found = rows(*layout.query(layout.notices.query), params);
    for (const ReportLayout::NoticeLine &notice : layout.notices.lines) {
        int count = 0;
        QStringList named;
        for (const QVariantMap &row : found) {
            if (!matches(row, notice.match))
                continue;
            ++count;
            if (notice.limit == 0 || named.size() < notice.limit)
                named.append(filled(notice.text, row, params));
        }
        if (count == 0)
            continue;
        QString text = counted(count, notice.count);
        if (!named.isEmpty())
            text += QStringLiteral(": ") + named.join(QStringLiteral(", "));
        if (count > named.size())
            text += QStringLiteral(" e mais %1").arg(count - named.size());
        lines.append({notice.label, text});
    }
    return lines;
}

ReportDocument ReportEngine::build(const QString &reportCode, const ReportLayout &layout, const TParams &params) const
{
    ReportDocument document(reportCode, layout.title, params);
    document.setLandscape(layout.landscape);
    document.setCodePicture(m_codePicture);
    document.setOverPlan(layout.overPlan);
    if (!layout.header.isEmpty())
        document.setHeaderLines(headerLines(layout, params));
    if (!layout.notices.query.isEmpty())
        document.setNotices(layout.notices.title, noticeLines(layout, params));
    if (layout.chart.isSet()) {
        ReportDocument::Chart chart{layout.chart.title, {}, {}, {}};
        for (const QVariantMap &row : rows(*layout.query(layout.chart.query), params)) {
            chart.labels.append(row.value(layout.chart.label).toString());
            chart.planned.append(numberOf(row.value(layout.chart.planned)).value_or(0));
            chart.actual.append(numberOf(row.value(layout.chart.actual)).value_or(0));
        }
        document.setChart(chart);
    }
    const ReportLayout::Query *detail = layout.detailQuery();
    if (!detail)
        return document;

    const QList<ReportLayout::Column> columns = shownColumns(layout, params);
    document.setColumns(columns);
    QStringList groupLabels;
    for (const ReportLayout::Group &group : layout.groups)
        groupLabels.append(group.label);
    document.setGroupLabels(groupLabels);

    QList<QVariantMap> data = rows(*detail, params);
    if (data.isEmpty()) {
        document.addBand({ReportDocument::BandKind::Empty, 0, layout.empty, {}, {}, {}});
        return document;
    }
    for (const ReportLayout::Lookup &lookup : layout.lookups)
        complete(data, lookup, *layout.query(lookup.query), params);

    GroupBands bands(layout, params, columns, document);
    for (const QVariantMap &row : std::as_const(data))
        bands.add(row);
    bands.finish();
    return document;
}

} // namespace host
