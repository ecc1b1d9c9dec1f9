#include "report/reportlayout.h"

#include "host/data/errors.h"
#include "wire/layoutqueries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace host {

namespace {

const QList<std::pair<QString, SqlDialect>> kDialects = {
    {QStringLiteral("generic"), SqlDialect::Generic},
    {QStringLiteral("oracle"), SqlDialect::Oracle},
    {QStringLiteral("mssql"), SqlDialect::MsSql},
    {QStringLiteral("interbase"), SqlDialect::InterBase},
    {QStringLiteral("sqlite"), SqlDialect::Sqlite},
    {QStringLiteral("postgresql"), SqlDialect::Postgres},
};

const QList<std::pair<QString, ParamType>> kParamTypes = {
    {QStringLiteral("string"), ParamType::String},
    {QStringLiteral("datetime"), ParamType::DateTime},
    {QStringLiteral("integer"), ParamType::Integer},
};

const QList<std::pair<QString, ReportLayout::Format>> kFormats = {
    {QStringLiteral("text"), ReportLayout::Format::Text},
    {QStringLiteral("number"), ReportLayout::Format::Number},
    {QStringLiteral("integer"), ReportLayout::Format::Integer},
    {QStringLiteral("date"), ReportLayout::Format::Date},
    {QStringLiteral("code"), ReportLayout::Format::Code},
};

template <typename T>
std::optional<T> byName(const QList<std::pair<QString, T>> &names, const QString &name)
{
    for (const auto &[key, value] : names) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

template <typename T>
QString nameOf(const QList<std::pair<QString, T>> &names, T value)
{
    for (const auto &[key, known] : names) {
        if (known == value)
            return key;
    }
    return names.first().first;
}

QMap<QString, QString> stringMap(const QJsonValue &value)
{
    QMap<QString, QString> map;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        map.insert(it.key(), it.value().toString());
    return map;
}

QJsonObject mapObject(const QMap<QString, QString> &map)
{
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QStringList stringList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString());
    return list;
}

// Writes `value` under `key` unless it is the default, so saved layouts stay short.
template <typename T>
void insertIfSet(QJsonObject &object, const QString &key, const T &value, const T &unset = T())
{
    if (value != unset)
        object.insert(key, QJsonValue::fromVariant(QVariant::fromValue(value)));
}

} // namespace

bool ReportLayout::OverPlan::exceeded(double plannedValue, double actualValue) const
{
    if (plannedValue <= 0)
        return actualValue > 0;
    return actualValue - plannedValue > plannedValue * percent / 100;
}

QString ReportLayout::OverPlan::percentText() const
{
    return QString::number(percent, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(',')) + QStringLiteral(" %");
}

QString ReportLayout::Query::sqlFor(SqlDialect dialect) const
{
    return sql.value(dialect, sql.value(SqlDialect::Generic));
}


// The sections of a layout file, read in the order they may refer to each other (a header line,
// the notices, the body and the lookups name queries declared before them).
namespace {

using Fail = std::function<HostError(const QString &)>;

QJsonObject readLayoutFile(const QString &path, const Fail &fail)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw fail(file.errorString());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        throw fail(QStringLiteral("JSON malformado na posição %1: %2").arg(error.offset).arg(error.errorString()));
    const QJsonObject root = document.object();

    return document.object();
}

void readParametersAndQueries(const QJsonObject &root, ReportLayout &layout, const Fail &fail)
{
    for (const QJsonValue &value : root.value(QLatin1String("parameters")).toArray()) {
        const QJsonObject object = value.toObject();
        ReportLayout::Parameter parameter;
        parameter.name = object.value(QLatin1String("name")).toString();
        const QString type = object.value(QLatin1String("type")).toString(QStringLiteral("string"));
        const auto known = byName(kParamTypes, type);
        if (parameter.name.isEmpty() || !known)
            throw fail(QStringLiteral("parâmetro sem nome ou de tipo desconhecido (\"%1\").").arg(type));
        parameter.type = *known;
        layout.parameters.append(parameter);
    }
    QString queryError;
    const auto queries = wire::readLayoutQueries(root, &queryError);
    if (!queries)
        throw fail(queryError);
    for (const wire::LayoutQuery &read : *queries) {
        ReportLayout::Query query;
        query.name = read.name;
        for (auto it = read.sql.begin(); it != read.sql.end(); ++it)
            query.sql.insert(*byName(kDialects, it.key()), it.value());
        layout.queries.append(query);
    }
}

void readHeaderAndBody(const QJsonObject &root, ReportLayout &layout, const Fail &fail)
{
    for (const QJsonValue &value : root.value(QLatin1String("header")).toArray()) {
        const QJsonObject object = value.toObject();
        ReportLayout::HeaderLine line{object.value(QLatin1String("label")).toString(), object.value(QLatin1String("text")).toString(),
                        object.value(QLatin1String("query")).toString(), object.value(QLatin1String("join")).toString(),
                        stringMap(object.value(QLatin1String("map"))), object.value(QLatin1String("limit")).toInt()};
        if (line.limit < 0)
            throw fail(QStringLiteral("a linha de cabeçalho \"%1\" tem um limite negativo.").arg(line.label));
        if (!line.query.isEmpty() && !layout.query(line.query))
            throw fail(QStringLiteral("a linha de cabeçalho \"%1\" usa a consulta \"%2\", que não existe.").arg(line.label, line.query));
        layout.header.append(line);
    }
    layout.notices = ReportLayout::Notices::fromJson(root.value(QLatin1String("notices")), fail);
    if (!layout.notices.query.isEmpty() && !layout.query(layout.notices.query))
        throw fail(QStringLiteral("a consulta dos avisos \"%1\" não existe.").arg(layout.notices.query));
    layout.detail = root.value(QLatin1String("detail")).toString();
    if (!layout.detail.isEmpty() && !layout.query(layout.detail))
        throw fail(QStringLiteral("a consulta do corpo \"%1\" não existe.").arg(layout.detail));
    for (const QJsonValue &value : root.value(QLatin1String("lookups")).toArray()) {
        const QJsonObject object = value.toObject();
        ReportLayout::Lookup lookup{object.value(QLatin1String("query")).toString(), object.value(QLatin1String("key")).toString()};
        if (!layout.query(lookup.query) || lookup.key.isEmpty())
            throw fail(QStringLiteral("consulta complementar (\"lookups\") inexistente ou sem chave: \"%1\".").arg(lookup.query));
        layout.lookups.append(lookup);
    }
}

void readGroupsAndColumns(const QJsonObject &root, ReportLayout &layout, const Fail &fail)
{
    for (const QJsonValue &value : root.value(QLatin1String("groups")).toArray()) {
        const QJsonObject object = value.toObject();
        ReportLayout::Group group{object.value(QLatin1String("field")).toString(), object.value(QLatin1String("label")).toString(),
                    object.value(QLatin1String("text")).toString(), object.value(QLatin1String("note")).toString(),
                    object.value(QLatin1String("footer")).toString()};
        if (group.field.isEmpty())
            throw fail(QStringLiteral("grupo sem campo (\"field\")."));
        layout.groups.append(group);
    }
    for (const QJsonValue &value : root.value(QLatin1String("columns")).toArray()) {
        const QJsonObject object = value.toObject();
        ReportLayout::Column column;
        column.field = object.value(QLatin1String("field")).toString();
        column.label = object.value(QLatin1String("label")).toString();
        column.width = object.value(QLatin1String("width")).toInt();
        const QString format = object.value(QLatin1String("format")).toString(QStringLiteral("text"));
        const auto known = byName(kFormats, format);
        if (column.field.isEmpty() || !known)
            throw fail(QStringLiteral("coluna sem campo ou de formato desconhecido (\"%1\").").arg(format));
        column.format = *known;
        column.decimals = object.value(QLatin1String("decimals")).toInt(2);
        column.expression = object.value(QLatin1String("expression")).toString();
        column.total = object.value(QLatin1String("total")).toBool();
        column.unitField = object.value(QLatin1String("unitField")).toString();
        column.visible = object.value(QLatin1String("visible")).toBool(true);
        column.when = stringMap(object.value(QLatin1String("when")));
        layout.columns.append(column);
    }
    layout.sums = stringList(root.value(QLatin1String("sums")));
    layout.groupValues = stringList(root.value(QLatin1String("groupValues")));
    layout.grandTotal = root.value(QLatin1String("grandTotal")).toString(layout.grandTotal);
    layout.empty = root.value(QLatin1String("empty")).toString(layout.empty);
}

void readHighlights(const QJsonObject &root, ReportLayout &layout, const Fail &fail)
{
    const QJsonObject overPlan = root.value(QLatin1String("overPlan")).toObject();
    if (!overPlan.isEmpty()) {
        layout.overPlan.planned = overPlan.value(QLatin1String("planned")).toString().toUpper();
        layout.overPlan.actual = overPlan.value(QLatin1String("actual")).toString().toUpper();
        layout.overPlan.percent = overPlan.value(QLatin1String("percent")).toDouble(layout.overPlan.percent);
        layout.overPlan.marked = stringList(overPlan.value(QLatin1String("columns")));
        if (!layout.overPlan.isSet() || layout.overPlan.percent < 0)
            throw fail(QStringLiteral("o destaque acima do planejado (\"overPlan\") precisa dos campos \"planned\" e \"actual\" e de um "
                                      "percentual (\"percent\") não negativo."));
    }
    const QJsonObject chart = root.value(QLatin1String("chart")).toObject();
    if (!chart.isEmpty()) {
        layout.chart = ReportLayout::Chart{chart.value(QLatin1String("query")).toString(), chart.value(QLatin1String("label")).toString().toUpper(),
                             chart.value(QLatin1String("planned")).toString().toUpper(), chart.value(QLatin1String("actual")).toString().toUpper(),
                             chart.value(QLatin1String("title")).toString()};
        if (!layout.query(layout.chart.query) || layout.chart.label.isEmpty() || layout.chart.planned.isEmpty() || layout.chart.actual.isEmpty())
            throw fail(QStringLiteral("o gráfico (\"chart\") precisa de uma consulta do layout e dos campos \"label\", \"planned\" e \"actual\"."));
    }
}

} // namespace

ReportLayout ReportLayout::load(const QString &path)
{
    const Fail fail = [&path](const QString &why) {
        return HostError(QStringLiteral("Layout de relatório inválido (%1): %2").arg(QDir::toNativeSeparators(path), why));
    };
    const QJsonObject root = readLayoutFile(path, fail);
    ReportLayout layout;
    layout.fileName = path;
    layout.title = root.value(QLatin1String("title")).toString().trimmed();
    if (layout.title.isEmpty())
        throw fail(QStringLiteral("falta o título (\"title\")."));
    layout.standard = root.value(QLatin1String("standard")).toBool();
    layout.landscape = root.value(QLatin1String("orientation")).toString() == QLatin1String("landscape");
    readParametersAndQueries(root, layout, fail);
    layout.origin = root.value(QLatin1String("origin")).toString();
    readHeaderAndBody(root, layout, fail);
    readGroupsAndColumns(root, layout, fail);
    readHighlights(root, layout, fail);
    return layout;
}

QList<ReportLayout> ReportLayout::loadFolder(const QString &folder, QStringList *unreadable)
{
    QList<ReportLayout> layouts;
    const QDir dir(folder);
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &file : files) {
        try {
            layouts.append(load(dir.filePath(file)));
        } catch (const HostError &error) {
            if (!unreadable)
                throw;
            unreadable->append(error.text());
        }
    }
    return layouts;
}


// The sections of a layout file as save() writes them; a value at its default is left out.
namespace {

void writeParametersAndQueries(const ReportLayout &layout, QJsonObject &root)
{
    QJsonArray params;
    for (const ReportLayout::Parameter &parameter : layout.parameters)
        params.append(QJsonObject{{QLatin1String("name"), parameter.name}, {QLatin1String("type"), nameOf(kParamTypes, parameter.type)}});
    root.insert(QLatin1String("parameters"), params);
    QJsonArray queryArray;
    for (const ReportLayout::Query &query : layout.queries) {
        QJsonObject texts;
        for (const auto &[key, dialect] : kDialects) {
            if (query.sql.contains(dialect))
                texts.insert(key, QJsonArray::fromStringList(query.sql.value(dialect).split(QLatin1Char('\n'))));
        }
        queryArray.append(QJsonObject{{QLatin1String("name"), query.name}, {QLatin1String("sql"), texts}});
    }
    root.insert(QLatin1String("queries"), queryArray);
}

void writeHeaderAndBody(const ReportLayout &layout, QJsonObject &root)
{
    QJsonArray headerArray;
    for (const ReportLayout::HeaderLine &line : layout.header) {
        QJsonObject object{{QLatin1String("label"), line.label}, {QLatin1String("text"), line.text}};
        insertIfSet(object, QStringLiteral("query"), line.query);
        insertIfSet(object, QStringLiteral("join"), line.join);
        if (!line.map.isEmpty())
            object.insert(QLatin1String("map"), mapObject(line.map));
        insertIfSet(object, QStringLiteral("limit"), line.limit);
        headerArray.append(object);
    }
    if (!headerArray.isEmpty())
        root.insert(QLatin1String("header"), headerArray);
    if (!layout.notices.query.isEmpty())
        root.insert(QLatin1String("notices"), layout.notices.toJson());
    insertIfSet(root, QStringLiteral("detail"), layout.detail);
    QJsonArray lookupArray;
    for (const ReportLayout::Lookup &lookup : layout.lookups)
        lookupArray.append(QJsonObject{{QLatin1String("query"), lookup.query}, {QLatin1String("key"), lookup.key}});
    if (!lookupArray.isEmpty())
        root.insert(QLatin1String("lookups"), lookupArray);
}

void writeGroupsAndColumns(const ReportLayout &layout, QJsonObject &root)
{
    QJsonArray groupArray;
    for (const ReportLayout::Group &group : layout.groups) {
        QJsonObject object{{QLatin1String("field"), group.field}};
        insertIfSet(object, QStringLiteral("label"), group.label);
        insertIfSet(object, QStringLiteral("text"), group.text);
        insertIfSet(object, QStringLiteral("note"), group.note);
        insertIfSet(object, QStringLiteral("footer"), group.footer);
        groupArray.append(object);
    }
    if (!groupArray.isEmpty())
        root.insert(QLatin1String("groups"), groupArray);
    QJsonArray columnArray;
    const ReportLayout::Column plain;
    for (const ReportLayout::Column &column : layout.columns) {
        QJsonObject object{{QLatin1String("field"), column.field}, {QLatin1String("label"), column.label},
                           {QLatin1String("width"), column.width}};
        if (column.format != plain.format)
            object.insert(QLatin1String("format"), nameOf(kFormats, column.format));
        insertIfSet(object, QStringLiteral("decimals"), column.decimals, plain.decimals);
        insertIfSet(object, QStringLiteral("expression"), column.expression);
        insertIfSet(object, QStringLiteral("total"), column.total);
        insertIfSet(object, QStringLiteral("unitField"), column.unitField);
        insertIfSet(object, QStringLiteral("visible"), column.visible, plain.visible);
        if (!column.when.isEmpty())
            object.insert(QLatin1String("when"), mapObject(column.when));
        columnArray.append(object);
    }
    root.insert(QLatin1String("columns"), columnArray);
}

void writeTotalsAndHighlights(const ReportLayout &layout, QJsonObject &root)
{
    const ReportLayout defaults;
    if (!layout.sums.isEmpty())
        root.insert(QLatin1String("sums"), QJsonArray::fromStringList(layout.sums));
    if (!layout.groupValues.isEmpty())
        root.insert(QLatin1String("groupValues"), QJsonArray::fromStringList(layout.groupValues));
    insertIfSet(root, QStringLiteral("grandTotal"), layout.grandTotal, defaults.grandTotal);
    insertIfSet(root, QStringLiteral("empty"), layout.empty, defaults.empty);
    if (layout.chart.isSet())
        root.insert(QLatin1String("chart"), QJsonObject{{QLatin1String("query"), layout.chart.query}, {QLatin1String("label"), layout.chart.label},
                                                        {QLatin1String("planned"), layout.chart.planned}, {QLatin1String("actual"), layout.chart.actual},
                                                        {QLatin1String("title"), layout.chart.title}});
    if (layout.overPlan.isSet())
        root.insert(QLatin1String("overPlan"), QJsonObject{{QLatin1String("planned"), layout.overPlan.planned},
                                                           {QLatin1String("actual"), layout.overPlan.actual},
                                                           {QLatin1String("percent"), layout.overPlan.percent},
                                                           {QLatin1String("columns"), QJsonArray::fromStringList(layout.overPlan.marked)}});
}

} // namespace

void ReportLayout::save(const QString &path) const
{
    QJsonObject root;
    root.insert(QLatin1String("title"), title);
    insertIfSet(root, QStringLiteral("standard"), standard);
    insertIfSet(root, QStringLiteral("origin"), origin);
    if (landscape)
        root.insert(QLatin1String("orientation"), QStringLiteral("landscape"));
    writeParametersAndQueries(*this, root);
    writeHeaderAndBody(*this, root);
    writeGroupsAndColumns(*this, root);
    writeTotalsAndHighlights(*this, root);

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

const ReportLayout::Query *ReportLayout::query(const QString &name) const
{
    for (const Query &candidate : queries) {
        if (candidate.name == name)
            return &candidate;
    }
    return nullptr;
}

const ReportLayout::Query *ReportLayout::detailQuery() const
{
    if (!detail.isEmpty())
        return query(detail);
    return queries.isEmpty() ? nullptr : &queries.first();
}

} // namespace host
