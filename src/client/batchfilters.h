#pragma once

#include <QJsonObject>
#include <QStringList>

namespace client {

// The filters of a batch run as the module's filter value: the --filters file (a JSON object),
// then each --filter chave=valor over it. A value reads as the key needs it: "true"/"false"
// for the check boxes, digits for "nivel" and "relatorio", a JSON array or a comma-separated
// list for the code lists, text otherwise (codes keep their leading zeros).
class BatchFilters
{
public:
    // Raises HostError naming the file or the option at fault.
    static QJsonObject read(const QString &file, const QStringList &assignments);
    static QJsonValue valueFor(const QString &key, const QString &text);
};

} // namespace client
