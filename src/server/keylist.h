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
};

// Parses and checks a selection. Keys are letters and digits only, so a list can never carry
// quotes, separators or SQL. On refusal returns nothing and puts a Portuguese reason in *error.
std::optional<KeySelection> parseKeyList(const QString &text, const KeyListRules &rules, QString *error);

// A code argument: blanks around it are dropped; empty is allowed; letters and digits only.
std::optional<QString> parseCode(const QString &text, const QString &what, int maxLength, QString *error);

} // namespace server
