#include "host/data/keylist.h"

namespace host {

QString JoinKeyList(const QStringList &keys)
{
    if (keys.isEmpty())
        return QString();
    return QLatin1Char('_') + keys.join(QLatin1Char('_')) + QLatin1Char('_');
}

QStringList SplitKeyList(const QString &keyList)
{
    QStringList keys = keyList.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    return keys;
}

QString MarkedKeyList(const QStringList &keys, const QList<bool> &marks)
{
    QStringList marked;
    for (int i = 0; i < keys.size() && i < marks.size(); ++i) {
        if (marks[i])
            marked.append(keys[i]);
    }
    return JoinKeyList(marked);
}

} // namespace host
