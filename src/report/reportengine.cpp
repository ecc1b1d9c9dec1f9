#include "report/reportengine.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "report/groupbands.h"
#include "report/queryrunner.h"
#include "report/reportformat.h"
#include "report/rowvalues.h"
#include "wire/layoutqueries.h"
#include "wire/periodparts.h"

#include <QFileInfo>

#include <optional>

namespace host {

namespace {

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

} // namespace

ReportEngine::ReportEngine(const QSqlDatabase &database, const TPictObj &codePicture)
    : m_database(database), m_codePicture(codePicture), m_runner(std::make_shared<QueryRunner>(database))
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
    QueryRunner::Bindings bindings;
    for (const QString &name : wire::statementParameters(sql)) {
        const std::optional<QVariant> value = parameterValue(params, name);
        if (!value)
            throw fail(QStringLiteral("o parâmetro %1 não é declarado pelo layout.").arg(name));
        bindings.append({name, *value});
    }
    QList<QVariantMap> result;
    const QString error = m_runner->fetch(sql, bindings, result);
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

    // Tens of thousands of rows take a tenth of a second and more: the window is served between
    // runs of them, and each row is freed once it is a band, so no long free at the end holds it.
    GroupBands bands(layout, params, columns, document);
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i % 1024 == 0 && workUnderWay())
            keepResponsive();
        bands.add(data[i]);
        data[i] = QVariantMap();
    }
    bands.finish();
    return document;
}

} // namespace host
