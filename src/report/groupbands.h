#pragma once

#include "host/data/params.h"
#include "report/reportdocument.h"
#include "report/reportexpression.h"
#include "report/reportlayout.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace host {

// The bands of the detail rows, in order: a header when a group opens, each row's line, and a
// footer with the group's totals when it closes, then the grand total. The rows are in memory,
// already sorted by the groups' fields; nothing here reads a database.
class GroupBands
{
public:
    // `columns` are the shown ones; the bands go into `document`. All four must outlive this.
    GroupBands(const ReportLayout &layout, const TParams &params, const QList<ReportLayout::Column> &columns, ReportDocument &document);

    void add(const QVariantMap &row);
    // Closes the open groups and adds the grand total.
    void finish();

private:
    // The unit of a sum of quantities: known while every row added carried the same one.
    struct Unit {
        bool seen = false;
        bool mixed = false;
        QString name;

        static Unit of(const QVariant &value);
        void add(const Unit &more);
        bool single() const { return seen && !mixed; }
    };

    // Running totals of one group (or of the whole report).
    struct Totals {
        QMap<QString, double> values;
        QMap<QString, Unit> units; // by unit field
        void add(const QMap<QString, double> &more);
        void add(const Totals &more);
        void addUnits(const QVariantMap &row, const QStringList &unitFields);
    };

    using FieldValue = std::function<std::optional<double>(const QString &)>;
    static FieldValue valueOfTotals(const Totals &totals);

    // A field's name as the rows spell it (upper case), made once per name rather than per row.
    const QString &upper(const QString &name) const;
    int firstChangedLevel(const QVariantMap &row) const;
    void open(int level, const QVariantMap &row);
    void close(int level);
    // Values of a line: each column's field, or its expression over `value`.
    QList<QVariant> lineValues(const FieldValue &value, const std::function<QVariant(const ReportLayout::Column &)> &plain) const;
    QList<QVariant> totalValues(const Totals &totals) const;
    bool overPlan(const FieldValue &value) const;

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

} // namespace host
