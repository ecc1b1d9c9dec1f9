#pragma once

// The key lists of the wire format, one source for the screen, the client and the server: codes
// each followed by "_", with a leading "_" as the selection dialogs give them ("_K1_K2_") or
// without ("K1_K2_"); "T" in place of a list means all, "" (or "_") nothing.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace wire {

// "_K1_K2_" (or "K1_K2_" without the leading separator); "" when there is no key.
QString joinKeyList(const QStringList &keys, bool leadingSeparator = true);
// The keys of a list, with or without the leading "_"; "" and "_" give none.
QStringList splitKeyList(const QString &keyList);
// The marked keys, in row order, as "_K1_K2_".
QString markedKeyList(const QStringList &keys, const QList<bool> &marks);
// Branch-plus-service keys (a branch code of `branchWidth` characters, then the service code) as
// distinct service codes in the order of first appearance; keys no longer than a service code are
// service codes already: "_000100010_000200010_00030_" gives "_00010_00030_". Always with the
// leading "_", so a list without keys stays "_" (nothing), never "" (all).
QString reduceToServiceCodes(const QString &keyList, int serviceWidth, int branchWidth);

// A selection as the client sends it: "T" (all), a key list "_K1_K2_" or "K1_K2_",
// a single code "K1" where one is allowed, "" or "_" for nothing. The screen holds its
// "Todos"/"Lista" choices in it too, and keeps the marked keys while "Todos" is chosen.
struct KeySelection {
    bool all = false;
    QStringList keys; // in the order given; parseKeyList keeps each once

    static KeySelection everything() { return {true, {}}; }

    // Neither all nor any key: a "Lista" with nothing marked.
    bool none() const { return !all && keys.isEmpty(); }
    // The keys as "_K1_K2_", whether or not all are chosen; "" when there is no key.
    QString keyList() const { return joinKeyList(keys); }
    bool operator==(const KeySelection &) const = default;
};

// What an empty argument selects: nothing for a list the client always sends, everything for a
// filter the caller may leave unset.
enum class EmptyMeans { Nothing, All };

// Keys one list may hold. The lists travel as one bound value the database expands, so the
// cost grows linearly; the bound only keeps one request's memory in reason (2 million keys are
// about 20 MB of request body, above the default --max-body).
inline constexpr int kMaxKeys = 2000000;

struct KeyListRules {
    QString what;             // for messages, e.g. "lista de filiais"
    int maxKeyLength = 10;
    bool allowAll = true;     // "T" means all
    bool allowSingle = true;  // a bare code without "_" is one key
    int maxKeys = kMaxKeys;
    EmptyMeans empty = EmptyMeans::Nothing;
};

// Parses and checks a selection. Keys are letters and digits only, so a list can never carry
// quotes, separators or SQL. On refusal returns nothing and puts a Portuguese reason in *error.
std::optional<KeySelection> parseKeyList(const QString &text, const KeyListRules &rules, QString *error);

// A code argument: blanks around it are dropped; empty is allowed; letters and digits only.
std::optional<QString> parseCode(const QString &text, const QString &what, int maxLength, QString *error);

} // namespace wire
