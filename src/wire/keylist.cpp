#include "wire/keylist.h"

#include <QLocale>
#include <QSet>

namespace wire {

namespace {

bool isKeyCharacter(QChar c)
{
    return c.unicode() < 128 && c.isLetterOrNumber();
}

// Checks one key; an empty optional means it is fine.
std::optional<QString> keyProblem(const QString &key, const QString &what, int maxLength)
{
    if (key.isEmpty())
        return QStringLiteral("%1 com chave vazia (dois \"_\" seguidos).").arg(what);
    for (const QChar c : key) {
        if (!isKeyCharacter(c))
            return QStringLiteral("%1 com caractere inválido na chave \"%2\": use só letras e dígitos.").arg(what, key.left(20));
    }
    if (key.size() > maxLength)
        return QStringLiteral("%1 com a chave \"%2\" maior que %3 caracteres.").arg(what, key.left(20)).arg(maxLength);
    return std::nullopt;
}

std::optional<KeySelection> refuse(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

QString joinKeyList(const QStringList &keys, bool leadingSeparator)
{
    if (keys.isEmpty())
        return QString();
    QString list = leadingSeparator ? QStringLiteral("_") : QString();
    for (const QString &key : keys)
        list += key + QLatin1Char('_');
    return list;
}

QStringList splitKeyList(const QString &keyList)
{
    return keyList.split(QLatin1Char('_'), Qt::SkipEmptyParts);
}

QString markedKeyList(const QStringList &keys, const QList<bool> &marks)
{
    QStringList marked;
    for (int i = 0; i < keys.size() && i < marks.size(); ++i) {
        if (marks[i])
            marked.append(keys[i]);
    }
    return joinKeyList(marked);
}

QString reduceToServiceCodes(const QString &keyList, int serviceWidth, int branchWidth)
{
    QStringList codes;
    for (const QString &key : splitKeyList(keyList)) {
        const QString code = key.size() > serviceWidth ? key.mid(branchWidth) : key;
        // Whole keys only: a code that is part of another code is a service of its own.
        if (!codes.contains(code))
            codes.append(code);
    }
    return QLatin1Char('_') + joinKeyList(codes, false);
}

std::optional<KeySelection> parseKeyList(const QString &text, const KeyListRules &rules, QString *error)
{
    KeySelection selection;
    if (text.isEmpty()) {
        selection.all = rules.empty == EmptyMeans::All;
        return selection;
    }
    if (text == QLatin1String("T")) {
        if (!rules.allowAll)
            return refuse(error, QStringLiteral("%1: \"T\" (todos) não é aceito aqui.").arg(rules.what));
        selection.all = true;
        return selection;
    }
    if (!text.contains(QLatin1Char('_'))) {
        if (!rules.allowSingle)
            return refuse(error, QStringLiteral("%1 malformada: cada chave deve terminar com \"_\" (por exemplo _0101_0102_).").arg(rules.what));
        if (const auto problem = keyProblem(text, rules.what, rules.maxKeyLength))
            return refuse(error, *problem);
        selection.keys << text;
        return selection;
    }
    if (text == QLatin1String("_"))
        return selection; // the list form of "nothing marked"
    if (!text.endsWith(QLatin1Char('_')))
        return refuse(error, QStringLiteral("%1 malformada: deve terminar com \"_\".").arg(rules.what));
    QStringView body(text);
    if (body.startsWith(QLatin1Char('_')))
        body = body.mid(1);
    body.chop(1);
    const qsizetype expected = qMin<qsizetype>(body.count(QLatin1Char('_')) + 1, rules.maxKeys + 1);
    QSet<QString> seen;
    seen.reserve(expected);
    selection.keys.reserve(expected);
    for (const QStringView part : body.split(QLatin1Char('_'))) {
        const QString key = part.toString();
        if (const auto problem = keyProblem(key, rules.what, rules.maxKeyLength))
            return refuse(error, *problem);
        if (seen.contains(key))
            continue;
        if (selection.keys.size() >= rules.maxKeys)
            return refuse(error, QStringLiteral("%1 com mais de %2 chaves: divida a seleção.").arg(rules.what, QLocale(QLocale::Portuguese, QLocale::Brazil).toString(rules.maxKeys)));
        seen.insert(key);
        selection.keys << key;
    }
    return selection;
}

std::optional<QString> parseCode(const QString &text, const QString &what, int maxLength, QString *error)
{
    const QString code = text.trimmed();
    if (code.isEmpty())
        return code;
    if (const auto problem = keyProblem(code, what, maxLength)) {
        if (error)
            *error = *problem;
        return std::nullopt;
    }
    return code;
}

} // namespace wire
