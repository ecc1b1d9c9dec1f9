#include "host/reportlayout.h"

#include "host/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace host {

static const QList<std::pair<QString, SqlDialect>> kDialects = {
    {QStringLiteral("generic"), SqlDialect::Generic},
    {QStringLiteral("oracle"), SqlDialect::Oracle},
    {QStringLiteral("mssql"), SqlDialect::MsSql},
    {QStringLiteral("interbase"), SqlDialect::InterBase},
};

static const QList<std::pair<QString, ParamType>> kParamTypes = {
    {QStringLiteral("string"), ParamType::String},
    {QStringLiteral("datetime"), ParamType::DateTime},
    {QStringLiteral("integer"), ParamType::Integer},
};

QString ReportLayout::Query::sqlFor(SqlDialect dialect) const
{
    return sql.value(dialect, sql.value(SqlDialect::Generic));
}

static QString sqlText(const QJsonValue &value)
{
    if (value.isArray()) {
        QStringList lines;
        for (const QJsonValue &line : value.toArray())
            lines.append(line.toString());
        return lines.join(QLatin1Char('\n'));
    }
    return value.toString();
}

ReportLayout ReportLayout::load(const QString &path)
{
    auto fail = [&path](const QString &why) {
        return HostError(QStringLiteral("Layout de relatório inválido (%1): %2").arg(QDir::toNativeSeparators(path), why));
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw fail(file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        throw fail(QStringLiteral("JSON malformado na posição %1: %2").arg(error.offset).arg(error.errorString()));
    const QJsonObject root = document.object();

    ReportLayout layout;
    layout.fileName = path;
    layout.title = root.value(QLatin1String("title")).toString().trimmed();
    if (layout.title.isEmpty())
        throw fail(QStringLiteral("falta o título (\"title\")."));
    layout.standard = root.value(QLatin1String("standard")).toBool();
    for (const QJsonValue &value : root.value(QLatin1String("parameters")).toArray()) {
        const QJsonObject object = value.toObject();
        Parameter parameter;
        parameter.name = object.value(QLatin1String("name")).toString();
        const QString type = object.value(QLatin1String("type")).toString(QStringLiteral("string"));
        const auto known = std::find_if(kParamTypes.begin(), kParamTypes.end(), [&](const auto &p) { return p.first == type; });
        if (parameter.name.isEmpty() || known == kParamTypes.end())
            throw fail(QStringLiteral("parâmetro sem nome ou de tipo desconhecido (\"%1\").").arg(type));
        parameter.type = known->second;
        layout.parameters.append(parameter);
    }
    for (const QJsonValue &value : root.value(QLatin1String("queries")).toArray()) {
        const QJsonObject object = value.toObject();
        Query query;
        query.name = object.value(QLatin1String("name")).toString();
        const QJsonObject texts = object.value(QLatin1String("sql")).toObject();
        for (const auto &[key, dialect] : kDialects) {
            if (texts.contains(key))
                query.sql.insert(dialect, sqlText(texts.value(key)));
        }
        if (!query.sql.contains(SqlDialect::Generic))
            throw fail(QStringLiteral("a consulta \"%1\" não tem o texto genérico (\"generic\").").arg(query.name));
        layout.queries.append(query);
    }
    for (const QJsonValue &value : root.value(QLatin1String("columns")).toArray()) {
        const QJsonObject object = value.toObject();
        layout.columns.append({object.value(QLatin1String("field")).toString(),
                               object.value(QLatin1String("label")).toString(),
                               object.value(QLatin1String("width")).toInt()});
    }
    return layout;
}

QList<ReportLayout> ReportLayout::loadFolder(const QString &folder)
{
    QList<ReportLayout> layouts;
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &file : files)
        layouts.append(load(dir.filePath(file)));
    return layouts;
}

void ReportLayout::save(const QString &path) const
{
    QJsonObject root;
    root.insert(QLatin1String("title"), title);
    if (standard)
        root.insert(QLatin1String("standard"), true);
    QJsonArray params;
    for (const Parameter &parameter : parameters) {
        const auto known = std::find_if(kParamTypes.begin(), kParamTypes.end(),
                                        [&](const auto &p) { return p.second == parameter.type; });
        params.append(QJsonObject{{QLatin1String("name"), parameter.name},
                                  {QLatin1String("type"), known == kParamTypes.end() ? QStringLiteral("string") : known->first}});
    }
    root.insert(QLatin1String("parameters"), params);
    QJsonArray queryArray;
    for (const Query &query : queries) {
        QJsonObject texts;
        for (const auto &[key, dialect] : kDialects) {
            if (query.sql.contains(dialect))
                texts.insert(key, query.sql.value(dialect));
        }
        queryArray.append(QJsonObject{{QLatin1String("name"), query.name}, {QLatin1String("sql"), texts}});
    }
    root.insert(QLatin1String("queries"), queryArray);
    QJsonArray columnArray;
    for (const Column &column : columns) {
        columnArray.append(QJsonObject{{QLatin1String("field"), column.field},
                                       {QLatin1String("label"), column.label},
                                       {QLatin1String("width"), column.width}});
    }
    root.insert(QLatin1String("columns"), columnArray);

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit())
        throw HostError(QStringLiteral("Não foi possível gravar o layout %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

TParams ReportLayout::declaredParams() const
{
    TParams params;
    for (const Parameter &parameter : parameters)
        params.declare(parameter.name, parameter.type);
    return params;
}

} // namespace host
