#include "report/groupbands.h"

#include "report/rowvalues.h"

namespace host {

namespace {

QMap<QString, double> numbers(const QVariantMap &row, const QStringList &fields)
{
    QMap<QString, double> result;
    for (const QString &field : fields)
        result.insert(field, row.value(field).toDouble());
    return result;
}

} // namespace

GroupBands::Unit GroupBands::Unit::of(const QVariant &value)
{
    const QString name = value.toString().trimmed();
    return {true, name.isEmpty(), name};
}

void GroupBands::Unit::add(const Unit &more)
{
    if (!more.seen)
        return;
    if (!seen)
        *this = more;
    else if (more.mixed || more.name != name)
        mixed = true;
}

void GroupBands::Totals::add(const QMap<QString, double> &more)
{
    for (auto it = more.begin(); it != more.end(); ++it)
        values[it.key()] += it.value();
}

void GroupBands::Totals::add(const Totals &more)
{
    add(more.values);
    for (auto it = more.units.begin(); it != more.units.end(); ++it)
        units[it.key()].add(it.value());
}

void GroupBands::Totals::addUnits(const QVariantMap &row, const QStringList &unitFields)
{
    for (const QString &field : unitFields)
        units[field].add(Unit::of(row.value(field)));
}

GroupBands::FieldValue GroupBands::valueOfTotals(const Totals &totals)
{
    return [&totals](const QString &field) {
        return totals.values.contains(field) ? std::optional<double>(totals.values.value(field)) : std::nullopt;
    };
}

GroupBands::GroupBands(const ReportLayout &layout, const TParams &params, const QList<ReportLayout::Column> &columns, ReportDocument &document)
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

void GroupBands::add(const QVariantMap &row)
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

void GroupBands::finish()
{
    for (int level = m_levels - 1; level >= 0; --level)
        close(level);
    if (m_layout.grandTotal.isEmpty())
        return;
    ReportDocument::Band grand{ReportDocument::BandKind::GrandTotal, 0, m_layout.grandTotal, totalValues(m_totals[m_levels]), {}, {}};
    grand.overPlan = overPlan(valueOfTotals(m_totals[m_levels]));
    m_document.addBand(grand);
}

const QString &GroupBands::upper(const QString &name) const
{
    const auto found = m_upper.constFind(name);
    return found != m_upper.constEnd() ? *found : *m_upper.insert(name, name.toUpper());
}

int GroupBands::firstChangedLevel(const QVariantMap &row) const
{
    for (int level = 0; level < m_levels; ++level) {
        const QString &field = upper(m_layout.groups[level].field);
        if (row.value(field).toString() != m_openedBy[level].value(field).toString())
            return level;
    }
    return m_levels;
}

void GroupBands::open(int level, const QVariantMap &row)
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

void GroupBands::close(int level)
{
    const ReportLayout::Group &group = m_layout.groups[level];
    const QString footer = group.footer.isEmpty() ? QStringLiteral("Total - %1 %2").arg(group.label, m_captions[level])
                                                  : filled(group.footer, m_openedBy[level], m_params);
    ReportDocument::Band band{ReportDocument::BandKind::GroupFooter, level, footer, totalValues(m_totals[level]), {}, {}};
    band.overPlan = overPlan(valueOfTotals(m_totals[level]));
    m_document.addBand(band);
    m_totals[level == 0 ? m_levels : level - 1].add(m_totals[level]);
}

QList<QVariant> GroupBands::lineValues(const FieldValue &value, const std::function<QVariant(const ReportLayout::Column &)> &plain) const
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

QList<QVariant> GroupBands::totalValues(const Totals &totals) const
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

bool GroupBands::overPlan(const FieldValue &value) const
{
    return m_layout.overPlan.isSet()
        && m_layout.overPlan.exceeded(value(m_layout.overPlan.planned).value_or(0), value(m_layout.overPlan.actual).value_or(0));
}

} // namespace host
