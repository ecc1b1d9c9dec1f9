#include "client/batchfilters.h"

#include "client/moduleloader.h"
#include "host/data/errors.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace client {

using host::HostError;

QList<BatchFilterKey> BatchFilters::keysOf(ModuleLoader &loader, const QString &module)
{
    using KeysFunction = const char *(*)();
    const auto describe = reinterpret_cast<KeysFunction>(loader.resolve(module, "ChavesFiltroLote"));
    const QJsonArray described = QJsonDocument::fromJson(QByteArray(describe())).array();
    QList<BatchFilterKey> keys;
    for (const QJsonValue &entry : described) {
        const QJsonObject key = entry.toObject();
        keys.append({key[QLatin1String("chave")].toString(), key[QLatin1String("tipo")].toString(),
                     key[QLatin1String("valores")].toString(), key[QLatin1String("campo")].toString()});
    }
    if (keys.isEmpty())
        throw HostError(QStringLiteral("O módulo %1 não descreve as chaves dos filtros do modo lote.").arg(module));
    return keys;
}

QJsonValue BatchFilters::valueFor(const QString &key, const QString &text, const QList<BatchFilterKey> &keys)
{
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    QString kind;
    for (const BatchFilterKey &known : keys) {
        if (known.key == key)
            kind = known.kind;
    }
    const QString value = text.trimmed();
    if (kind == QLatin1String("logico") && (value == QLatin1String("true") || value == QLatin1String("false")))
        return value == QLatin1String("true");
    if (kind == QLatin1String("numero") && digits.match(value).hasMatch())
        return value.toInt();
    if (kind != QLatin1String("codigos"))
        return value;
    if (value.startsWith(QLatin1Char('['))) {
        const QJsonDocument array = QJsonDocument::fromJson(value.toUtf8());
        if (!array.isArray())
            throw HostError(QStringLiteral("Filtro \"%1\": lista JSON malformada.").arg(key));
        return array.array();
    }
    // "todos"/"todas" stands for all; anything else is a list, of one code or more.
    if (value.compare(QLatin1String("todos"), Qt::CaseInsensitive) == 0 || value.compare(QLatin1String("todas"), Qt::CaseInsensitive) == 0)
        return value;
    QJsonArray codes;
    for (const QString &code : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
        codes.append(code.trimmed());
    return codes;
}

QJsonObject BatchFilters::read(const QString &file, const QStringList &assignments, const QList<BatchFilterKey> &keys)
{
    QJsonObject filters;
    if (!file.isEmpty()) {
        QFile input(file);
        if (!input.open(QIODevice::ReadOnly))
            throw HostError(QStringLiteral("Não foi possível ler o arquivo de filtros %1: %2").arg(QDir::toNativeSeparators(file), input.errorString()));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            throw HostError(QStringLiteral("Arquivo de filtros %1 inválido: %2 (espera-se um objeto JSON).")
                                .arg(QDir::toNativeSeparators(file), error.errorString()));
        filters = document.object();
    }
    for (const QString &assignment : assignments) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0)
            throw HostError(QStringLiteral("Filtro inválido \"%1\": use --filter chave=valor.").arg(assignment));
        const QString key = assignment.left(equals).trimmed();
        filters.insert(key, valueFor(key, assignment.mid(equals + 1), keys));
    }
    return filters;
}

QString BatchFilters::helpText(const QList<BatchFilterKey> &keys)
{
    QStringList lines{QStringLiteral("Chaves dos filtros do modo lote (--filter chave=valor, ou um objeto JSON em --filters):")};
    qsizetype width = 0;
    for (const BatchFilterKey &key : keys)
        width = qMax(width, key.key.size() + 1 + key.values.size());
    for (const BatchFilterKey &key : keys)
        lines << QStringLiteral("  %1  %2").arg(QStringLiteral("%1=%2").arg(key.key, key.values), -int(width)).arg(key.field);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace client
