// The notices of a report (warnings under the filter lines): how a layout declares them and
// how the outputs read them; the engine fills them (ReportEngine::noticeLines).
#include "report/reportdocument.h"
#include "report/reportlayout.h"

#include <QJsonArray>
#include <QJsonObject>

namespace host {

namespace {

QMap<QString, QString> matchOf(const QJsonValue &value)
{
    QMap<QString, QString> match;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        match.insert(it.key().toUpper(), it.value().toString());
    return match;
}

} // namespace

ReportLayout::Notices ReportLayout::Notices::fromJson(const QJsonValue &value, const std::function<HostError(const QString &)> &fail)
{
    Notices notices;
    if (value.isUndefined() || value.isNull())
        return notices;
    const QJsonObject object = value.toObject();
    notices.title = object.value(QLatin1String("title")).toString();
    notices.query = object.value(QLatin1String("query")).toString();
    if (notices.query.isEmpty())
        throw fail(QStringLiteral("os avisos (\"notices\") não dizem a sua consulta (\"query\")."));
    for (const QJsonValue &item : object.value(QLatin1String("lines")).toArray()) {
        const QJsonObject line = item.toObject();
        NoticeLine notice{line.value(QLatin1String("label")).toString(), matchOf(line.value(QLatin1String("match"))),
                          line.value(QLatin1String("text")).toString(), line.value(QLatin1String("count")).toString(),
                          line.value(QLatin1String("limit")).toInt()};
        if (notice.limit < 0)
            throw fail(QStringLiteral("o aviso \"%1\" tem um limite negativo.").arg(notice.label));
        notices.lines.append(notice);
    }
    return notices;
}

QJsonValue ReportLayout::Notices::toJson() const
{
    QJsonArray lineArray;
    for (const NoticeLine &line : lines) {
        QJsonObject match;
        for (auto it = line.match.begin(); it != line.match.end(); ++it)
            match.insert(it.key(), it.value());
        QJsonObject object{{QLatin1String("label"), line.label}, {QLatin1String("match"), match}, {QLatin1String("text"), line.text}};
        if (!line.count.isEmpty())
            object.insert(QLatin1String("count"), line.count);
        if (line.limit > 0)
            object.insert(QLatin1String("limit"), line.limit);
        lineArray.append(object);
    }
    return QJsonObject{{QLatin1String("title"), title}, {QLatin1String("query"), query}, {QLatin1String("lines"), lineArray}};
}

QStringList ReportDocument::noticeTexts() const
{
    QStringList texts;
    if (m_notices.isEmpty())
        return texts;
    texts.append(m_noticeTitle);
    for (const HeaderLine &line : m_notices)
        texts.append(line.label + QStringLiteral(": ") + line.text);
    return texts;
}

} // namespace host
