#pragma once

#include "host/data/dbgeral.h"
#include "report/reportdocument.h"
#include "report/reportlayout.h"

#include <QSqlDatabase>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace host {

class QueryRunner;

// Feeds a report document from a layout: runs its queries on the given (read-only) database
// with the run's parameters bound by name (":P_NAME"), and turns the rows of the detail query
// into group headings, detail lines, subtotals and grand totals.
class ReportEngine
{
public:
    // The rows of one of the layout's queries, for the run's parameters.
    using RowSource = std::function<QList<QVariantMap>(const ReportLayout::Query &query, const TParams &params)>;

    // The queries run on `database` (tools and tests; it may be invalid for a layout without
    // queries). `codePicture` shows the layout's "code" columns.
    explicit ReportEngine(const QSqlDatabase &database, const TPictObj &codePicture = TPictObj());
    // The rows come from `source` (the client's: the application server runs the queries).
    explicit ReportEngine(RowSource source, const TPictObj &codePicture = TPictObj());
    // Rows from the application server, which runs the queries of `installed` (a layout installed
    // with it) by their names; the values sent are those of the parameters each query names.
    static RowSource fromServer(GeneralDataSource &server, const QString &reportCode, const ReportLayout &installed);

    // Raises HostError naming the query and the database's reason when a query fails.
    ReportDocument build(const QString &reportCode, const ReportLayout &layout, const TParams &params) const;

    // The rows of one query, field names in upper case (PostgreSQL answers them in lower case).
    QList<QVariantMap> rows(const ReportLayout::Query &query, const TParams &params) const;

    // The columns a run shows: visible ones whose "when" matches the parameters.
    static QList<ReportLayout::Column> shownColumns(const ReportLayout &layout, const TParams &params);

private:
    QList<ReportDocument::HeaderLine> headerLines(const ReportLayout &layout, const TParams &params) const;
    QList<ReportDocument::HeaderLine> noticeLines(const ReportLayout &layout, const TParams &params) const;
    // Fills the empty fields of the detail rows from the lookup query's row with the same key.
    void complete(QList<QVariantMap> &data, const ReportLayout::Lookup &lookup, const ReportLayout::Query &query,
                  const TParams &params) const;
    RowSource m_source;
    QSqlDatabase m_database;
    SqlDialect m_dialect = SqlDialect::Generic;
    TPictObj m_codePicture;
    // Runs the queries on m_database; none when the rows come from a RowSource.
    std::shared_ptr<QueryRunner> m_runner;
};

} // namespace host
