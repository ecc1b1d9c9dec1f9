#include "server/reportqueries.h"

#include "server/refusal.h"
#include "server/rights.h"
#include "wire/keylist.h"
#include "wire/periodparts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace server {

namespace {

enum class ParameterKind { Plan, List, Central, Date, Flag, SmallNumber };

// Every parameter a layout query of the server may take, and what it must be.
const QHash<QString, ParameterKind> kParameterKinds = [] {
    QHash<QString, ParameterKind> kinds = {
        {QStringLiteral("P_NRCONSPLAN"), ParameterKind::Plan},      {QStringLiteral("P_NRLISTA"), ParameterKind::List},
        {QStringLiteral("P_NRLISTAFILI"), ParameterKind::List},     {QStringLiteral("P_LISTATIPOCARD"), ParameterKind::List},
        {QStringLiteral("P_LISTASERVICO"), ParameterKind::List},    {QStringLiteral("P_CDFILCENTZUB"), ParameterKind::Central},
        {QStringLiteral("P_DTINICIAL"), ParameterKind::Date},       {QStringLiteral("P_DTFINAL"), ParameterKind::Date},
        {QStringLiteral("P_DTMESINIC"), ParameterKind::Date},       {QStringLiteral("P_DTMESFINA"), ParameterKind::Date},
        {QStringLiteral("P_IDESTOCAVEIS"), ParameterKind::Flag},    {QStringLiteral("P_IDNESTOCAVEIS"), ParameterKind::Flag},
        {QStringLiteral("P_NIVEL"), ParameterKind::Flag},           {QStringLiteral("P_NRTIPOCUSTO"), ParameterKind::SmallNumber},
        {QStringLiteral("P_NRTAMACNIVEL"), ParameterKind::SmallNumber},
    };
    for (const QString &name : wire::periodPartNames())
        kinds.insert(name, ParameterKind::Date);
    return kinds;
}();

bool ownsNumber(QSqlDatabase &db, const QString &table, const QString &column, const QString &number, const QString &owner)
{
    const QString what = QStringLiteral("verificar o dono de %1").arg(table);
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND CDDONO = ?").arg(table, column)).bind(number).bind(owner),
                           what);
    return nextRow(db, query, what);
}

QVariant checkedValue(QSqlDatabase &db, const Caller &caller, const QString &name, ParameterKind kind, const QJsonValue &value)
{
    const auto invalid = [&name](const QString &why) { return Refusal{QStringLiteral("Parâmetro %1 inválido: %2").arg(name, why)}; };
    static const QRegularExpression number10(QStringLiteral("\\A\\d{10}\\z"));
    static const QRegularExpression isoDate(QStringLiteral("\\A\\d{4}-\\d{2}-\\d{2}\\z"));
    const QString text = value.isString() ? value.toString() : QString();
    switch (kind) {
    case ParameterKind::Plan:
    case ParameterKind::List: {
        const bool plan = kind == ParameterKind::Plan;
        // With only non-stockables nothing is prepared: no plan names no rows of one.
        if (plan && value.isString() && text.isEmpty())
            return text;
        if (!number10.match(text).hasMatch())
            throw invalid(QStringLiteral("esperado um número de %1 com 10 dígitos.").arg(plan ? QStringLiteral("plano") : QStringLiteral("lista")));
        if (!ownsNumber(db, plan ? QStringLiteral("CONSPLAN") : QStringLiteral("LISTA"), plan ? QStringLiteral("NRCONSPLAN") : QStringLiteral("NRLISTA"),
                        text, caller.owner()))
            // Plans and lists are not replicated: after a switch of database server they are gone.
            throw invalid((plan ? QStringLiteral("o plano %1 não existe ou não foi preparado nesta sessão")
                                : QStringLiteral("a lista %1 não existe ou não foi gravada nesta sessão"))
                              .arg(text)
                          + QStringLiteral(" (os dados preparados para um relatório se perdem quando o banco de dados é trocado); "
                                           "emita o relatório de novo."));
        return text;
    }
    case ParameterKind::Central: {
        const QString central = checkedCodeParameter(value, name, 4, true);
        allow(centralRefusal(caller, central));
        return central;
    }
    case ParameterKind::Date: {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!isoDate.match(text).hasMatch() || !date.isValid())
            throw invalid(QStringLiteral("esperada uma data AAAA-MM-DD."));
        return date;
    }
    case ParameterKind::Flag:
        if (text != QLatin1String("S") && text != QLatin1String("N"))
            throw invalid(QStringLiteral("esperado S ou N."));
        return text;
    case ParameterKind::SmallNumber:
        if (!value.isDouble() || value.toDouble() != double(value.toInt()) || value.toInt() < 0 || value.toInt() > 999)
            throw invalid(QStringLiteral("esperado um número inteiro de 0 a 999."));
        return qlonglong(value.toInt());
    }
    return {};
}

} // namespace

QString checkedCodeParameter(const QJsonValue &value, const QString &name, int maxLength, bool required)
{
    QString why;
    const std::optional<QString> code = value.isString() ? wire::parseCode(value.toString(), name, maxLength, &why) : std::nullopt;
    // Exactly as sent: blanks around a code are refused here, not trimmed away.
    if (!code || *code != value.toString() || (required && code->isEmpty()))
        throw Refusal{QStringLiteral("Parâmetro %1 inválido: esperado um código de até %2 letras ou dígitos.").arg(name).arg(maxLength)};
    return *code;
}

wire::LayoutQuery ReportQueries::find(const QString &reportCode, const QString &layoutFile, const QString &queryName) const
{
    static const QRegularExpression code(QStringLiteral("\\A[A-Za-z0-9]{1,10}\\z"));
    static const QRegularExpression file(QStringLiteral("\\A[A-Za-z0-9][A-Za-z0-9_-]{0,80}\\.json\\z"));
    if (!code.match(reportCode).hasMatch())
        throw Refusal{QStringLiteral("Código de relatório inválido: \"%1\".").arg(reportCode.left(40))};
    if (!file.match(layoutFile).hasMatch())
        throw Refusal{QStringLiteral("Nome de layout inválido: \"%1\" (apenas o nome de um arquivo .json do relatório).").arg(layoutFile.left(100))};
    const QString path = QDir(m_folder).filePath(reportCode + QLatin1Char('/') + layoutFile);
    const QFileInfo info(path);
    if (!info.isFile())
        throw Refusal{QStringLiteral("O layout \"%1\" do relatório %2 não está instalado no servidor.").arg(layoutFile, reportCode)};
    std::lock_guard lock(m_mutex);
    Loaded &loaded = m_files[path];
    if (loaded.modified != info.lastModified()) {
        QFile source(path);
        QString error;
        const QJsonDocument document = source.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(source.readAll()) : QJsonDocument();
        const auto queries = wire::readLayoutQueries(document.object(), &error);
        if (!document.isObject() || !queries) {
            m_files.remove(path);
            throw ServerFailure(QStringLiteral("layout de relatório do servidor ilegível (%1): %2").arg(path, error));
        }
        loaded = Loaded{info.lastModified(), *queries};
    }
    for (const wire::LayoutQuery &query : std::as_const(loaded.queries)) {
        if (query.name == queryName)
            return query;
    }
    throw Refusal{QStringLiteral("O layout \"%1\" do relatório %2 não tem a consulta \"%3\".").arg(layoutFile, reportCode, queryName.left(60))};
}

QHash<QString, QVariant> checkedReportParameters(QSqlDatabase &db, const Caller &caller, const QStringList &names, const QJsonObject &given)
{
    for (auto it = given.begin(); it != given.end(); ++it) {
        if (!names.contains(it.key()))
            throw Refusal{QStringLiteral("Parâmetro %1 não é usado por esta consulta.").arg(it.key().left(40))};
    }
    QHash<QString, QVariant> values;
    for (const QString &name : names) {
        const auto kind = kParameterKinds.constFind(name);
        if (kind == kParameterKinds.constEnd())
            throw ServerFailure(QStringLiteral("a consulta usa o parâmetro %1, para o qual o servidor não tem regra").arg(name));
        if (!given.contains(name))
            throw Refusal{QStringLiteral("Parâmetro %1 não informado.").arg(name)};
        values.insert(name, checkedValue(db, caller, name, *kind, given.value(name)));
    }
    return values;
}

} // namespace server
