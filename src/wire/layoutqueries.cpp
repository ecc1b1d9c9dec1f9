#include "wire/layoutqueries.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace wire {

namespace {

QString sqlText(const QJsonValue &value)
{
    if (!value.isArray())
        return value.toString();
    QStringList lines;
    for (const QJsonValue &line : value.toArray())
        lines.append(line.toString());
    return lines.join(QLatin1Char('\n'));
}

} // namespace

std::optional<QList<LayoutQuery>> readLayoutQueries(const QJsonObject &root, QString *error)
{
    QList<LayoutQuery> queries;
    for (const QJsonValue &value : root.value(QLatin1String("queries")).toArray()) {
        const QJsonObject object = value.toObject();
        LayoutQuery query;
        query.name = object.value(QLatin1String("name")).toString();
        const QJsonObject texts = object.value(QLatin1String("sql")).toObject();
        for (const QString &key : kLayoutDialectKeys) {
            if (texts.contains(key))
                query.sql.insert(key, sqlText(texts.value(key)));
        }
        if (!query.sql.contains(QStringLiteral("generic"))) {
            *error = QStringLiteral("a consulta \"%1\" não tem o texto genérico (\"generic\").").arg(query.name);
            return std::nullopt;
        }
        queries.append(query);
    }
    return queries;
}

namespace {
const QRegularExpression &placeholder()
{
    static const QRegularExpression pattern(QStringLiteral("(?<![:\\w]):([A-Za-z_]\\w*)"));
    return pattern;
}
} // namespace

QStringList statementParameters(const QString &sql)
{
    QStringList names;
    for (auto it = placeholder().globalMatch(sql); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

std::pair<QString, QStringList> positionalStatement(const QString &sql)
{
    QString text;
    QStringList order;
    qsizetype last = 0;
    for (auto it = placeholder().globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        text += sql.mid(last, match.capturedStart() - last) + QLatin1Char('?');
        order.append(match.captured(1));
        last = match.capturedEnd();
    }
    return {text + sql.mid(last), order};
}

} // namespace wire
