#include "host/data/adoibquery.h"

#include "host/data/errors.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlField>
#include <QSqlRecord>

namespace host {

TADOIBQuery::TADOIBQuery(TdtmDBGeral *database, const QString &name, QObject *parent)
    : TDataSet(name, parent), m_database(database)
{
}

const QStringList &TADOIBQuery::sqlFor(SqlDialect dialect) const
{
    const QStringList *text = &SQL;
    switch (dialect) {
    case SqlDialect::Oracle: text = &SQL_ORACLE; break;
    case SqlDialect::MsSql: text = &SQL_MSSQL; break;
    case SqlDialect::InterBase: text = &SQL_IB; break;
    case SqlDialect::Generic:
    case SqlDialect::Sqlite:
    case SqlDialect::Postgres: break;
    }
    // A dialect without its own text runs the generic one.
    return text->join(QString()).trimmed().isEmpty() ? SQL : *text;
}

QStringList TADOIBQuery::parameterNames(const QString &sql)
{
    QStringList names;
    bool inQuote = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote || c != QLatin1Char(':'))
            continue;
        if (i + 1 < sql.size() && sql[i + 1] == QLatin1Char(':')) {
            ++i;
            continue;
        }
        if (i > 0 && sql[i - 1] == QLatin1Char(':'))
            continue;
        qsizetype end = i + 1;
        while (end < sql.size() && (sql[end].isLetterOrNumber() || sql[end] == QLatin1Char('_')))
            ++end;
        const QString name = sql.mid(i + 1, end - i - 1);
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names.append(name);
        i = end - 1;
    }
    return names;
}

void TADOIBQuery::refreshParams()
{
    for (const QStringList *text : {&SQL, &SQL_ORACLE, &SQL_MSSQL, &SQL_IB}) {
        for (const QString &name : parameterNames(text->join(QLatin1Char('\n'))))
            m_params.declare(name, ParamType::String);
    }
}

TParam &TADOIBQuery::ParamByName(const QString &name)
{
    refreshParams();
    return m_params.ParamByName(name);
}

TParams &TADOIBQuery::Params()
{
    refreshParams();
    return m_params;
}

wire::DataPacket TADOIBQuery::serverRows(GeneralDataSource &server)
{
    refreshParams();
    QVariantMap values;
    for (const QString &name : parameterNames(SQL.join(QLatin1Char('\n')))) {
        const TParam &param = m_params.ParamByName(name);
        values.insert(name, param.IsNull() ? QVariant(QString()) : param.Value);
    }
    return server.lookup(objectName(), values);
}

wire::DataPacket TADOIBQuery::databaseRows()
{
    QSqlDatabase db = m_database->adcGeral();
    const QString text = sqlFor(dialectForDriver(db.driverName())).join(QLatin1Char('\n'));
    static const QRegularExpression readOnlyStart(QStringLiteral("^\\s*(SELECT|WITH)\\b"),
                                                  QRegularExpression::CaseInsensitiveOption);
    if (!readOnlyStart.match(text).hasMatch())
        throw HostError(QStringLiteral("A consulta %1 é somente de leitura e aceita apenas SELECT.").arg(objectName()));

    refreshParams();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw HostError(QStringLiteral("Erro ao preparar a consulta %1: %2").arg(objectName(), query.lastError().text()));
    for (const QString &name : parameterNames(text)) {
        const TParam &param = m_params.ParamByName(name);
        query.bindValue(QLatin1Char(':') + name, param.IsNull() ? QVariant(QString()) : param.Value);
    }
    if (!query.exec())
        throw HostError(QStringLiteral("Erro ao abrir a consulta %1: %2").arg(objectName(), query.lastError().text()));

    return packetOf(query);
}

wire::DataPacket packetOf(QSqlQuery &query)
{
    wire::DataPacket packet;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) {
        const auto typeId = record.field(i).metaType().id();
        const QString type = typeId == QMetaType::Int || typeId == QMetaType::LongLong ? QStringLiteral("integer")
                           : typeId == QMetaType::Double                                ? QStringLiteral("number")
                           : typeId == QMetaType::QDate                                 ? QStringLiteral("date")
                                                                                        : QStringLiteral("string");
        packet.fields.append({record.fieldName(i), type, 0});
    }
    while (query.next()) {
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query.value(i));
        packet.rows.append(row);
    }
    return packet;
}

void TADOIBQuery::Open()
{
    if (BeforeOpen)
        BeforeOpen(this);
    GeneralDataSource *server = m_database->server();
    const wire::DataPacket packet = server ? serverRows(*server) : databaseRows();
    if (Fields().isEmpty()) {
        for (const wire::FieldDef &field : packet.fields) {
            const FieldType type = field.type == QLatin1String("integer") ? FieldType::Integer
                                 : field.type == QLatin1String("number")  ? FieldType::Float
                                 : field.type == QLatin1String("date")    ? FieldType::Date
                                                                          : FieldType::String;
            AddField(field.name.toUpper(), type, field.size);
        }
    }
    const QList<TField *> fields = Fields();
    QList<int> columns;
    for (TField *field : fields) {
        const int column = packet.fieldIndex(field->FieldName);
        if (column < 0)
            throw HostError(QStringLiteral("A consulta %1 não traz o campo %2.").arg(objectName(), field->FieldName));
        columns.append(column);
    }
    QList<QVariantList> rows;
    rows.reserve(packet.rows.size());
    for (const QVariantList &source : packet.rows) {
        QVariantList row;
        row.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            row.append(convert(source.value(columns[i]), *fields[i]));
        rows.append(row);
    }
    resetRows(std::move(rows));
}

} // namespace host
