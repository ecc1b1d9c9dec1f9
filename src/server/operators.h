#pragma once

#include "server/database.h"
#include "wire/codes.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace server {

// What an operator may see: a school's operator its own branch, a central's operator the
// central and its branches, an administrator everything.
enum class Role { School, Central, Administrator };

// "E", "C", "A" as stored; nothing when the text is none of them (also the Portuguese names).
std::optional<Role> parseRole(const QString &text);
QString roleCode(Role role);
QString roleName(Role role);

struct OperatorRecord {
    QString code;
    QString name;
    QString branch;
    QString central; // the central whose data the operator may see; empty for an administrator
    Role role = Role::School;
    bool active = true;
    int failures = 0;
    QDateTime lockedUntil = {};
};

using wire::kOperatorCodeWidth;

// Argon2id through libsodium, with its salt and parameters in the text it answers.
QString hashPassword(const QString &password);
bool passwordMatches(const QString &storedHash, const QString &password);

// The operator of that code, with the central its branch belongs to; throws DbError.
std::optional<OperatorRecord> findOperator(QSqlDatabase &db, const QString &code);
QList<OperatorRecord> listOperators(QSqlDatabase &db);

// Management from the command line. Each answers "" when done, else the Portuguese reason.
QString addOperator(QSqlDatabase &db, const OperatorRecord &record, const QString &password);
QString setOperatorPassword(QSqlDatabase &db, const QString &code, const QString &password);
QString disableOperator(QSqlDatabase &db, const QString &code);

// Checks a sign-in; writes nothing (the waits after wrong attempts are the sign-in's, per address).
// Every refusal but that of a right password reads the same: "Operador ou senha incorretos.".
// A lock an earlier version stored (OPERADOR.DTBLOQUEIO) is kept until it ends.
struct SignInCheck {
    std::optional<OperatorRecord> signedIn;
    QString refusal;
};
SignInCheck checkSignIn(QSqlDatabase &db, const QString &code, const QString &password);

// The demo's operators, one per role; their passwords are in the README.
struct DemoOperator {
    const char *code;
    const char *name;
    const char *branch;
    Role role;
    const char *password;
};
inline constexpr DemoOperator kDemoOperators[] = {
    {"ESC0101", "Operador da EM 0101", "0101", Role::School, "escola0101"},
    {"CEN0001", "Operador da Central 0001", "0001", Role::Central, "central0001"},
    {"ADMIN", "Administrador", "0001", Role::Administrator, "admin-zub01"},
};
void addDemoOperators(QSqlDatabase &db);

} // namespace server
