#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace server {

// A selection as the client sends it: "T" (all), a key list "_K1_K2_" or "K1_K2_",
// a single code "K1" where one is allowed, "" or "_" for nothing.
struct KeySelection {
    bool all = false;
    QStringList keys; // distinct, in the order given
};

struct KeyListRules {
    QString what;             // for messages, e.g. "lista de filiais"
    int maxKeyLength = 10;
    bool allowAll = true;     // "T" means all
    bool allowSingle = true;  // a bare code without "_" is one key
    int maxKeys = 10000;
};

// Parses and checks a selection. Keys are letters and digits only, so a list can never carry
// quotes, separators or SQL. On refusal returns nothing and puts a Portuguese reason in *error.
std::optional<KeySelection> parseKeyList(const QString &text, const KeyListRules &rules, QString *error);

// A code argument: blanks around it are dropped; empty is allowed; letters and digits only.
std::optional<QString> parseCode(const QString &text, const QString &what, int maxLength, QString *error);

} // namespace server
