#include "host/reportengine.h"

#include "host/errors.h"
#include "host/reportexpression.h"
#include "host/reportformat.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace host {

namespace {

// Running totals of one group (or of the whole report).
struct Totals {
    QMap<QString, double> values;
    void add(const QMap<QString, double> &more)
    {
        for (auto it = more.begin(); it != more.end(); ++it)
            values[it.key()] += it.value();
    }
};

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

} // namespace

ReportEngine::ReportEngine(const QSqlDatabase &database, const TPictObj &codePicture)
    : m_database(database), m_codePicture(codePicture)
{
    if (database.isValid())
        m_dialect = dialectForDriver(database.driverName());
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
    auto fail = [&query](const QString &why) {
        return HostError(QStringLiteral("Não foi possível executar a consulta \"%1\" do relatório: %2").arg(query.name, why));
    };
    if (!m_database.isValid() || !m_database.isOpen())
        throw fail(QStringLiteral("o banco de dados geral não está aberto."));
    const QString sql = query.sqlFor(m_dialect);
    QSqlQuery statement(m_database);
    statement.setForwardOnly(true);
    statement.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    if (!statement.prepare(sql))
        throw fail(statement.lastError().text());
    // ":NAME" outside casts ("::date") and times ("12:30").
    static const QRegularExpression placeholder(QStringLiteral("(?<![:\\w]):([A-Za-z_]\\w*)"));
    QStringList bound;
    for (auto it = placeholder.globalMatch(sql); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (bound.contains(name))
            continue;
        const TParam *param = params.find(name);
        if (!param)
            throw fail(QStringLiteral("o parâmetro %1 não é declarado pelo layout.").arg(name));
        statement.bindValue(QLatin1Char(':') + name, ReportFormat::bindValue(*param));
        bound.append(name);
    }
    if (!statement.exec())
        throw fail(statement.lastError().text());
    QList<QVariantMap> result;
    while (statement.next()) {
        const QSqlRecord record = statement.record();
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i)
            row.insert(record.fieldName(i).toUpper(), record.value(i));
        result.append(row);
    }
    if (statement.lastError().isValid())
        throw fail(statement.lastError().text());
    return result;
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
        const QString text = texts.join(line.join);
        lines.append({line.label, line.map.value(text, text)});
    }
    return lines;
}

ReportDocument ReportEngine::build(const QString &reportCode, const ReportLayout &layout, const TParams &params) const
{
    ReportDocument document(reportCode, layout.title, params);
    document.setLandscape(layout.landscape);
    document.setCodePicture(m_codePicture);
    if (!layout.header.isEmpty())
        document.setHeaderLines(headerLines(layout, params));
    const ReportLayout::Query *detail = layout.detailQuery();
    if (!detail)
        return document;

    const QList<ReportLayout::Column> columns = shownColumns(layout, params);
    document.setColumns(columns);
    QList<std::optional<ReportExpression>> expressions;
    for (const ReportLayout::Column &column : columns)
        expressions.append(column.expression.isEmpty() ? std::nullopt : std::optional<ReportExpression>(ReportExpression(column.expression)));
    QStringList groupLabels;
    for (const ReportLayout::Group &group : layout.groups)
        groupLabels.append(group.label);
    document.setGroupLabels(groupLabels);

    const QList<QVariantMap> data = rows(*detail, params);
    if (data.isEmpty()) {
        document.addBand({ReportDocument::BandKind::Empty, 0, layout.empty, {}, {}});
        return document;
    }

    // Values of a line: each column's field, or its expression over `value`.
    auto lineValues = [&](const std::function<std::optional<double>(const QString &)> &value,
                          const std::function<QVariant(const ReportLayout::Column &)> &plain) {
        QList<QVariant> values;
        for (int i = 0; i < columns.size(); ++i) {
            if (expressions[i]) {
                const std::optional<double> result = expressions[i]->evaluate(value);
                values.append(result ? QVariant(*result) : QVariant());
            } else {
                values.append(plain(columns[i]));
            }
        }
        return values;
    };
    auto totalValues = [&](const Totals &totals) {
        const auto value = [&](const QString &field) {
            return totals.values.contains(field) ? std::optional<double>(totals.values.value(field)) : std::nullopt;
        };
        QList<QVariant> values = lineValues(value, [&](const ReportLayout::Column &column) {
            return totals.values.contains(column.field) ? QVariant(totals.values.value(column.field)) : QVariant();
        });
        for (int i = 0; i < columns.size(); ++i) {
            if (!columns[i].total)
                values[i] = QVariant();
        }
        return values;
    };

    const int levels = int(layout.groups.size());
    QList<Totals> totals(levels + 1); // one per open group; the last one is the whole report
    QList<QVariantMap> openedBy(levels);
    QStringList captions(levels);
    auto caption = [&](int level, const QVariantMap &row) { return filled(layout.groups[level].text, row, params); };
    auto close = [&](int level) {
        const ReportLayout::Group &group = layout.groups[level];
        const QString footer = group.footer.isEmpty() ? QStringLiteral("Total - %1 %2").arg(group.label, captions[level])
                                                      : filled(group.footer, openedBy[level], params);
        document.addBand({ReportDocument::BandKind::GroupFooter, level, footer, totalValues(totals[level]), {}});
        totals[level == 0 ? levels : level - 1].add(totals[level].values);
    };
    for (int i = 0; i < data.size(); ++i) {
        const QVariantMap &row = data[i];
        int changed = i == 0 ? 0 : levels;
        for (int level = 0; i > 0 && level < levels; ++level) {
            const QString field = layout.groups[level].field.toUpper();
            if (row.value(field).toString() != openedBy[level].value(field).toString()) {
                changed = level;
                break;
            }
        }
        for (int level = levels - 1; i > 0 && level >= changed; --level)
            close(level);
        for (int level = changed; level < levels; ++level) {
            const ReportLayout::Group &group = layout.groups[level];
            openedBy[level] = row;
            captions[level] = caption(level, row);
            QString heading = group.label.isEmpty() ? captions[level] : group.label + QStringLiteral(": ") + captions[level];
            if (!group.note.isEmpty())
                heading += QStringLiteral(" (") + filled(group.note, row, params) + QLatin1Char(')');
            document.addBand({ReportDocument::BandKind::GroupHeader, level, heading, {}, {}});
            totals[level] = Totals();
        }
        // Values that belong to the innermost group (its meals, say) count once for it.
        if (changed < levels || (levels == 0 && i == 0))
            totals[levels == 0 ? 0 : levels - 1].add(numbers(row, layout.groupValues));
        totals[levels == 0 ? 0 : levels - 1].add(numbers(row, layout.sums));
        const auto value = [&row](const QString &field) { return numberOf(row.value(field.toUpper())); };
        document.addBand({ReportDocument::BandKind::Detail, levels, QString(),
                          lineValues(value, [&row](const ReportLayout::Column &column) { return row.value(column.field.toUpper()); }),
                          captions});
    }
    for (int level = levels - 1; level >= 0; --level)
        close(level);
    document.addBand({ReportDocument::BandKind::GrandTotal, 0, layout.grandTotal, totalValues(totals[levels]), {}});
    return document;
}

} // namespace host
