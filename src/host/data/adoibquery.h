#pragma once

#include "host/data/dataset.h"
#include "host/data/dbgeral.h"
#include "host/data/params.h"

#include <QSqlQuery>
#include <QStringList>
#include <functional>

namespace host {

// A read-only lookup query of the general data, with one SQL text per dialect and named
// parameters (":P_NAME"). In the client the application server answers it by the query's name
// (its SQL is the server's); on a database opened directly the text runs. Rows are fetched whole
// into memory on Open.
class TADOIBQuery : public TDataSet
{
    Q_OBJECT
public:
    TADOIBQuery(TdtmDBGeral *database, const QString &name, QObject *parent = nullptr);

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;

    // Runs at the start of every Open, before the parameters are bound.
    std::function<void(TDataSet *)> BeforeOpen;

    // The parameters named in the SQL texts; values survive Close.
    TParam &ParamByName(const QString &name);
    TParams &Params();

    void Open();
    void Close() { closeRows(); }

    const QStringList &sqlFor(SqlDialect dialect) const;
    // Parameter names in order of first appearance (":NAME", not "::" casts nor quoted text).
    static QStringList parameterNames(const QString &sql);

private:
    void refreshParams();
    // The server runs its own SQL for the query of this name; the text here names the parameters.
    wire::DataPacket serverRows(GeneralDataSource &server);
    // The text itself, on a database opened directly.
    wire::DataPacket databaseRows();
    TdtmDBGeral *m_database;
    TParams m_params;
};

// The rows of an executed statement as a packet, its fields typed from the driver's columns.
wire::DataPacket packetOf(QSqlQuery &query);

} // namespace host
