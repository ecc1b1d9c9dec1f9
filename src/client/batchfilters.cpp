#include "client/batchfilters.h"

#include "host/data/errors.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace client {

using host::HostError;

QJsonValue BatchFilters::valueFor(const QString &key, const QString &text)
{
    static const QStringList lists{QStringLiteral("filiais"), QStringLiteral("tiposCardapio"), QStringLiteral("gruposServico"),
                                   QStringLiteral("servicos")};
    static const QStringList numbers{QStringLiteral("nivel"), QStringLiteral("relatorio")};
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    const QString value = text.trimmed();
    if (value == QLatin1String("true") || value == QLatin1String("false"))
        return value == QLatin1String("true");
    if (numbers.contains(key) && digits.match(value).hasMatch())
        return value.toInt();
    if (value.startsWith(QLatin1Char('['))) {
        const QJsonDocument array = QJsonDocument::fromJson(value.toUtf8());
        if (!array.isArray())
            throw HostError(QStringLiteral("Filtro \"%1\": lista JSON malformada.").arg(key));
        return array.array();
    }
    // "todos"/"todas" stands for all; anything else is a list, of one code or more.
    const bool all = value.compare(QLatin1String("todos"), Qt::CaseInsensitive) == 0
                  || value.compare(QLatin1String("todas"), Qt::CaseInsensitive) == 0;
    if (lists.contains(key) && !all) {
        QJsonArray codes;
        for (const QString &code : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            codes.append(code.trimmed());
        return codes;
    }
    return value;
}

QJsonObject BatchFilters::read(const QString &file, const QStringList &assignments)
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
        filters.insert(key, valueFor(key, assignment.mid(equals + 1)));
    }
    return filters;
}

} // namespace client
