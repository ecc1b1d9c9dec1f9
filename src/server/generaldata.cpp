#include "server/generaldata.h"

#include "server/audit.h"
#include "server/refusal.h"
#include "server/rights.h"
#include "wire/wirevalue.h"

#include <QJsonArray>
#include <QSqlRecord>

namespace server {

namespace {

// Rows of FILIAL the caller may see: a school its own branch and its central, a central's
// operator the central and its branches, the others every branch.
void restrictVisibleBranches(Sql &sql, const QString &alias, const Caller &caller)
{
    if (!caller.isOperator() || caller.account.role == Role::Administrator)
        return;
    if (caller.account.role == Role::School)
        sql.add(QStringLiteral(" AND (%1.CDFILIAL = ? OR %1.CDFILIAL = ?)").arg(alias)).bind(caller.account.branch).bind(caller.account.central);
    else
        sql.add(QStringLiteral(" AND (%1.CDFILCENTZUB = ? OR %1.CDFILIAL = ?)").arg(alias)).bind(caller.account.central).bind(caller.account.central);
}

struct Lookup {
    QStringList parameters;
    QList<wire::FieldDef> fields;
    std::function<Sql(const QJsonObject &, const Caller &)> statement;
};

const QHash<QString, Lookup> &lookups()
{
    using F = wire::FieldDef;
    static const QHash<QString, Lookup> table = {
        // The host's local cache of branches.
        {QStringLiteral("FILIAL"),
         {{},
          {F{"CDFILIAL", "string", 4}, F{"NMFILIAL", "string", 30}, F{"IDCNTRRESC", "string", 1}, F{"IDFILCENTZUB", "string", 1},
           F{"CDFILCENTZUB", "string", 4}, F{"IDMATRFILI", "string", 1}, F{"DTPROCESSA", "date", 0}},
          [](const QJsonObject &, const Caller &caller) {
              Sql sql(QStringLiteral("SELECT F.CDFILIAL, F.NMFILIAL, F.IDCNTRRESC, F.IDFILCENTZUB, F.CDFILCENTZUB, F.IDMATRFILI, F.DTPROCESSA"
                                     " FROM FILIAL F WHERE 1 = 1"));
              restrictVisibleBranches(sql, QStringLiteral("F"), caller);
              return sql.add(QStringLiteral(" ORDER BY F.CDFILIAL"));
          }}},
        // The report screen's branch and its central.
        {QStringLiteral("qryFilial"),
         {{QStringLiteral("P_CDFILIAL")},
          {F{"CDFILIAL", "string", 4}, F{"NMFILIAL", "string", 30}, F{"IDCNTRRESC", "string", 1}, F{"IDFILCENTZUB", "string", 1},
           F{"CDFILCENTZUB", "string", 4}, F{"NMFILCENTZUB", "string", 30}},
          [](const QJsonObject &parameters, const Caller &caller) {
              Sql sql(QStringLiteral("SELECT A.CDFILIAL, A.NMFILIAL, A.IDCNTRRESC, A.IDFILCENTZUB, A.CDFILCENTZUB,"
                                     " (SELECT C.NMFILIAL FROM FILIAL C WHERE C.CDFILIAL = A.CDFILCENTZUB) AS NMFILCENTZUB"
                                     " FROM FILIAL A WHERE A.CDFILIAL = ?"));
              sql.bind(checkedCodeParameter(parameters.value(QStringLiteral("P_CDFILIAL")), QStringLiteral("P_CDFILIAL"), 4, false));
              restrictVisibleBranches(sql, QStringLiteral("A"), caller);
              return sql;
          }}},
        {QStringLiteral("qryGrupServ"),
         {{},
          {F{"CDGRUPSERV", "string", 3}, F{"NMGRUPSERV", "string", 30}},
          [](const QJsonObject &, const Caller &) { return Sql(QStringLiteral("SELECT CDGRUPSERV, NMGRUPSERV FROM GRUPSERV ORDER BY CDGRUPSERV")); }}},
        // The active menu types of a central the caller may see.
        {QStringLiteral("qryTipoCard"),
         {{QStringLiteral("P_CDFILCENTZUB")},
          {F{"CDTIPOCARD", "string", 10}, F{"NMTIPOCARD", "string", 100}},
          [](const QJsonObject &parameters, const Caller &caller) {
              const QString central = checkedCodeParameter(parameters.value(QStringLiteral("P_CDFILCENTZUB")), QStringLiteral("P_CDFILCENTZUB"), 4, false);
              allow(centralRefusal(caller, central));
              return Sql(QStringLiteral("SELECT CDTIPOCARD, NMTIPOCARD FROM TIPOCARD WHERE CDFILCENTZUB = ? AND IDTPCARDATIV = 'S'"
                                        " ORDER BY CDTIPOCARD"))
                  .bind(central);
          }}},
    };
    return table;
}

QJsonObject parametersOf(const Args &args, int position)
{
    if (!args.raw(position).isObject())
        throw Refusal{QStringLiteral("Os parâmetros devem ser um objeto JSON {\"NOME\": valor}.")};
    return args.raw(position).toObject();
}

} // namespace

QList<MethodSpec> GeneralData::methods() const
{
    const ArgSpec parameters{QStringLiteral("parâmetros"), ArgKind::Any};
    return {
        {QStringLiteral("AbreConsulta"), {{QStringLiteral("consulta")}, parameters}, enveloped(this, &GeneralData::openLookup)},
        {QStringLiteral("DadosRelatorio"),
         {{QStringLiteral("relatório")}, {QStringLiteral("layout")}, {QStringLiteral("consulta")}, parameters},
         audited(m_settings, QStringLiteral("DadosRelatorio"), enveloped(this, &GeneralData::reportRows), AuditOnly::Refusals),
         Lane::Slow},
    };
}

CallResult GeneralData::openLookup(const Args &args) const
{
    const QString name = args.text(0);
    const auto lookup = lookups().constFind(name);
    if (lookup == lookups().constEnd())
        throw Refusal{QStringLiteral("Consulta desconhecida pelo servidor: \"%1\".").arg(name.left(60))};
    const QJsonObject parameters = parametersOf(args, 1);
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (!lookup->parameters.contains(it.key()))
            throw Refusal{QStringLiteral("A consulta %1 não tem o parâmetro %2.").arg(name, it.key().left(40))};
    }
    const Sql sql = lookup->statement(parameters, Caller::current());
    QSqlDatabase db = readOnlyThreadConnection(m_settings);
    QSqlQuery query = exec(db, sql, QStringLiteral("ler a consulta %1").arg(name));
    return envelopeOk(readPacket(db, query, lookup->fields).toJson());
}

// The statement is the server's layout's; only the parameter values come from the caller, bound,
// after checking each against the caller's rights.
CallResult GeneralData::reportRows(const Args &args) const
{
    const wire::LayoutQuery query = m_reports.find(args.text(0), args.text(1), args.text(2));
    const QJsonObject given = parametersOf(args, 3);
    QSqlDatabase db = readOnlyThreadConnection(m_settings);
    const QString text = query.sqlFor(dialectOf(db) == Dialect::Postgres ? QStringLiteral("postgresql") : QStringLiteral("sqlite"));
    const QStringList names = wire::statementParameters(text);
    const QHash<QString, QVariant> values = checkedReportParameters(db, Caller::current(), names, given);

    // Positional binding: the driver's named placeholders would differ between SQLite and PostgreSQL.
    const auto [positional, order] = wire::positionalStatement(text);
    Sql sql(positional);
    for (const QString &name : order)
        sql.bind(values.value(name));
    const QString what = QStringLiteral("ler a consulta %1 do relatório %2").arg(query.name, args.text(0));
    QSqlQuery rows = exec(db, sql, what);

    QJsonArray fields;
    const QSqlRecord record = rows.record();
    for (int i = 0; i < record.count(); ++i)
        fields.append(QJsonObject{{QStringLiteral("name"), record.fieldName(i).toUpper()}, {QStringLiteral("type"), QStringLiteral("any")}});
    QJsonArray data;
    while (nextRow(db, rows, what)) {
        QJsonArray row;
        for (int i = 0; i < record.count(); ++i)
            row.append(wire::toJson(rows.value(i)));
        data.append(row);
    }
    return envelopeOk(QJsonObject{{QStringLiteral("fields"), fields}, {QStringLiteral("rows"), data}});
}

} // namespace server
