#pragma once

#include <QJsonObject>
#include <QList>
#include <QStringList>

namespace client {

class ModuleLoader;

// A filter key of a module's batch run, as the module describes it (its exported ChavesFiltroLote).
struct BatchFilterKey {
    QString key;
    QString kind;   // "texto", "numero", "logico" or "codigos"
    QString values; // what a user writes, as in "todos|código,código"
    QString field;  // the screen's field it sets
};

// The filters of a batch run as the module's filter value: the --filters file (a JSON object),
// then each --filter chave=valor over it. A value reads as its key's kind says: "true"/"false"
// for a flag, digits for a number, a JSON array or a comma-separated list for codes ("todos" or
// "todas" for all), text otherwise (codes keep their leading zeros); an unknown key's text is
// passed on for the module to refuse.
class BatchFilters
{
public:
    // The keys `module` reads; raises HostError when it cannot be loaded or describes none.
    static QList<BatchFilterKey> keysOf(ModuleLoader &loader, const QString &module);
    // Raises HostError naming the file or the option at fault.
    static QJsonObject read(const QString &file, const QStringList &assignments, const QList<BatchFilterKey> &keys);
    static QJsonValue valueFor(const QString &key, const QString &text, const QList<BatchFilterKey> &keys);
    // The keys as --help lists them.
    static QString helpText(const QList<BatchFilterKey> &keys);
};

} // namespace client
