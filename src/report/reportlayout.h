#pragma once

#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/data/params.h"

#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

namespace host {

// A report layout file (JSON, one per file, under <reports dir>/<report code>/). The README's
// "Report layouts" section documents every key; in short:
//   title, standard, orientation            what the report is called and how it is printed
//   parameters                              the P_ names the screen must fill, with their types
//   queries                                 named SQL, one text per dialect where they differ
//   header                                  the filter lines of the first page
//   detail, lookups, groups, columns, sums, the body: rows of the detail query, grouped, with
//   groupValues, grandTotal, empty          subtotals, grand totals and the no-rows line
//   notices                                 warnings under the filter lines (missing records)
//   overPlan                                the lines over plan that stand out, and by how much
//   chart                                   planned and actual per month as bars above the body
class ReportLayout
{
public:
    struct Parameter {
        QString name;
        ParamType type = ParamType::String;
    };
    struct Query {
        QString name;
        QMap<SqlDialect, QString> sql;
        QString sqlFor(SqlDialect dialect) const;
    };
    // Code: a hierarchical code, shown through the code picture of the run ("0102002" as "01.02.002").
    enum class Format { Text, Number, Integer, Date, Code };
    struct Column {
        QString field;
        QString label;
        int width = 0;                // characters
        Format format = Format::Text;
        int decimals = 2;             // Number only
        QString expression = {};      // computed from the row's (or the total's) numeric fields
        bool total = false;           // shown in subtotals and grand totals
        QString unitField = {};       // a quantity in this unit: blank where the unit is unknown or
                                      // where a total adds rows of different units
        bool visible = true;
        QMap<QString, QString> when = {}; // shown only when each parameter has the given value

        // Read left to right and aligned left, unlike numbers and dates.
        bool isTextual() const { return format == Format::Text || format == Format::Code; }
    };
    struct Group {
        QString field;                // a new value starts a new group
        QString label;                // "Serviço"
        QString text;                 // "{CDSERVFILI} - {NMSERVICO}"
        QString note;                 // added in parentheses to the group's heading
        QString footer;               // subtotal line; default "Total - <label> <text>"
    };
    struct HeaderLine {
        QString label;
        QString text;                 // fields of the query's row and parameters, "{NAME}"
        QString query;                // empty: parameters only
        QString join;                 // set: one text per row of the query, joined with it
        QMap<QString, QString> map;   // replaces a whole text by another ("P" -> "Per capita")
        int limit = 0;                // with join: at most this many rows, then "e mais K"
    };
    // Warnings printed under the filter lines of the first page, e.g. records missing in the
    // period. Each line counts the rows of the notices' query whose fields hold the `match`
    // values and names the first `limit` of them; a line without rows is left out, and without
    // any line there is no notice at all.
    struct NoticeLine {
        QString label;                // "Refeições planejadas sem consumo registrado"
        QMap<QString, QString> match; // {"IDFALTA": "C"}
        QString text;                 // one row: "{CDFILIAL} em {DTREFEICAO}"
        QString count;                // the count's unit, singular|plural: "dia de filial|dias de filiais"
        int limit = 0;                // rows named before "e mais K"; 0 names them all
    };
    struct Notices {
        QString title;                // "Atenção: dados incompletos no período"
        QString query;
        QList<NoticeLine> lines;
        static Notices fromJson(const QJsonValue &value, const std::function<HostError(const QString &)> &fail);
        QJsonValue toJson() const;
    };
    // Lines whose actual value exceeds the planned one by more than `percent` stand out: bold, a
    // marker on the difference columns and a light fill besides a colour, so they still read in
    // black and white. A line planned at zero with something actual is over plan too.
    struct OverPlan {
        QString planned;              // "VRPLAN"
        QString actual;               // "VRREAL"
        double percent = 10;
        QStringList marked;           // the difference columns that carry the marker
        bool isSet() const { return !planned.isEmpty() && !actual.isEmpty(); }
        bool exceeded(double plannedValue, double actualValue) const;
        // "10 %", as legends write it.
        QString percentText() const;
    };
    // Planned against actual per row of a query (one per month, say), drawn as bars with the
    // difference as a line above the body.
    struct Chart {
        QString query;
        QString label;                // the field that names each row ("DSMES")
        QString planned;
        QString actual;
        QString title;
        bool isSet() const { return !query.isEmpty(); }
    };
    // A query whose rows complete the detail rows: matched on `key`, a row's empty fields take
    // the lookup row's values.
    struct Lookup {
        QString query;
        QString key;
    };

    // Raises HostError naming the file and the fault.
    static ReportLayout load(const QString &path);
    // The layouts of a folder, ordered by file name; none for a missing folder. A file that cannot
    // be read raises, or, when `unreadable` is given, is left out and its fault added there.
    static QList<ReportLayout> loadFolder(const QString &folder, QStringList *unreadable = nullptr);

    void save(const QString &path) const;

    QString fileName;
    // A user's copy: the file name of the installed layout it was made from, whose queries the
    // application server runs for it (a copy's own query text is never run).
    QString origin;
    QString title;
    bool standard = false;
    bool landscape = false;
    QList<Parameter> parameters;
    QList<Query> queries;
    QList<HeaderLine> header;
    QString detail;                   // name of the query that feeds the body; default the first
    QList<Lookup> lookups;
    QList<Group> groups;
    QList<Column> columns;
    QStringList sums;                 // numeric fields added up in subtotals and totals
    QStringList groupValues;          // the same on every row of an innermost group: added once per group
    QString grandTotal = QStringLiteral("Total geral"); // "": no grand total line
    QString empty = QStringLiteral("Nenhum registro encontrado para os filtros informados.");
    Notices notices;                  // none when it has no query
    OverPlan overPlan;                // none when unset
    Chart chart;                      // none when it has no query

    // A parameter list with the declared names and types, without values.
    TParams declaredParams() const;
    const Query *query(const QString &name) const;
    // The query of the body, or none when the layout has no queries.
    const Query *detailQuery() const;
};

} // namespace host
