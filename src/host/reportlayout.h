#pragma once

#include "host/dbgeral.h"
#include "host/params.h"

#include <QMap>
#include <QList>
#include <QString>

namespace host {

// A report layout file (JSON, one per file, under <reports dir>/<report code>/):
//   {
//     "title": "Custo por serviço",                 required, shown in the report list
//     "standard": true,                             optional: the layout of "Relatório padrão"
//     "parameters": [ {"name": "P_CDFILIAL", "type": "string"}, ...],
//                                                   types: "string", "datetime", "integer"
//     "queries": [ {"name": "itens", "sql": {"generic": "...", "oracle": "...",
//                                            "mssql": "...", "interbase": "..."}} ],
//     "columns": [ {"field": "NMPRODUTO", "label": "Produto", "width": 30}, ... ]
//   }
// "generic" is the text of any dialect that has none of its own. A query's SQL may also be an
// array of lines.
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
    struct Column {
        QString field;
        QString label;
        int width = 0;
    };

    // Raises HostError naming the file and the fault.
    static ReportLayout load(const QString &path);
    // The layouts of a folder, ordered by file name; none for a missing folder.
    static QList<ReportLayout> loadFolder(const QString &folder);

    void save(const QString &path) const;

    QString fileName;
    QString title;
    bool standard = false;
    QList<Parameter> parameters;
    QList<Query> queries;
    QList<Column> columns;

    // A parameter list with the declared names and types, without values.
    TParams declaredParams() const;
};

} // namespace host
