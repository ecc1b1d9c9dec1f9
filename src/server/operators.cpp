#include "server/operators.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

#include <sodium.h>

namespace server {

namespace {

void requireSodium()
{
    // sodium_init is safe to call from several threads and more than once.
    if (sodium_init() < 0)
        throw DbError{QStringLiteral("Não foi possível iniciar a biblioteca de criptografia (libsodium).")};
}

const QString kOperatorColumns = QStringLiteral(
    "SELECT O.CDOPERADOR, O.NMOPERADOR, O.CDFILIAL, O.IDPAPEL, O.IDATIVO, O.QTFALHAS, O.DTBLOQUEIO,"
    " CASE WHEN F.IDFILCENTZUB = 'S' THEN F.CDFILIAL ELSE F.CDFILCENTZUB END"
    " FROM OPERADOR O JOIN FILIAL F ON F.CDFILIAL = O.CDFILIAL");

OperatorRecord readOperator(const QSqlQuery &query)
{
    OperatorRecord record;
    record.code = query.value(0).toString();
    record.name = query.value(1).toString();
    record.branch = query.value(2).toString();
    record.role = parseRole(query.value(3).toString()).value_or(Role::School);
    record.active = query.value(4).toString() == QLatin1String("S");
    record.failures = query.value(5).toInt();
    if (!query.value(6).isNull())
        record.lockedUntil = query.value(6).toDateTime().toUTC();
    record.central = record.role == Role::Administrator ? QString() : query.value(7).toString();
    return record;
}

QString storedHash(QSqlDatabase &db, const QString &code)
{
    const QString what = QStringLiteral("ler a senha do operador");
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT DSSENHA FROM OPERADOR WHERE CDOPERADOR = ?")).bind(code),
                           what);
    return nextRow(db, query, what) ? query.value(0).toString() : QString();
}

QString passwordProblem(const QString &password)
{
    if (password.size() < 8)
        return QStringLiteral("A senha deve ter pelo menos 8 caracteres.");
    if (password.toUtf8().size() > 1024)
        return QStringLiteral("A senha passa de 1024 bytes.");
    return {};
}

void endSessionsOf(QSqlDatabase &db, const QString &code)
{
    exec(db, Sql(QStringLiteral("DELETE FROM SESSAO WHERE CDOPERADOR = ?")).bind(code), QStringLiteral("encerrar as sessões do operador"));
}

QString unknownOperator(const QString &code)
{
    return QStringLiteral("Operador %1 não cadastrado.").arg(code);
}

} // namespace

std::optional<Role> parseRole(const QString &text)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("e") || value == QLatin1String("escola"))
        return Role::School;
    if (value == QLatin1String("c") || value == QLatin1String("central"))
        return Role::Central;
    if (value == QLatin1String("a") || value == QLatin1String("administrador"))
        return Role::Administrator;
    return std::nullopt;
}

QString roleCode(Role role)
{
    switch (role) {
    case Role::School: return QStringLiteral("E");
    case Role::Central: return QStringLiteral("C");
    case Role::Administrator: return QStringLiteral("A");
    }
    return {};
}

QString roleName(Role role)
{
    switch (role) {
    case Role::School: return QStringLiteral("escola");
    case Role::Central: return QStringLiteral("central");
    case Role::Administrator: return QStringLiteral("administrador");
    }
    return {};
}

QString hashPassword(const QString &password)
{
    requireSodium();
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), quint64(bytes.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw DbError{QStringLiteral("Memória insuficiente para calcular o resumo da senha.")};
    return QString::fromLatin1(hash);
}

bool passwordMatches(const QString &storedHash, const QString &password)
{
    requireSodium();
    const QByteArray hash = storedHash.toLatin1();
    const QByteArray bytes = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), bytes.constData(), quint64(bytes.size())) == 0;
}

std::optional<OperatorRecord> findOperator(QSqlDatabase &db, const QString &code)
{
    const QString what = QStringLiteral("ler o operador");
    QSqlQuery query = exec(db, Sql(kOperatorColumns + QStringLiteral(" WHERE O.CDOPERADOR = ?")).bind(code), what);
    if (!nextRow(db, query, what))
        return std::nullopt;
    return readOperator(query);
}

QList<OperatorRecord> listOperators(QSqlDatabase &db)
{
    const QString what = QStringLiteral("ler os operadores");
    QSqlQuery query = exec(db, Sql(kOperatorColumns + QStringLiteral(" ORDER BY O.CDOPERADOR")), what);
    QList<OperatorRecord> records;
    while (nextRow(db, query, what))
        records << readOperator(query);
    return records;
}

QString addOperator(QSqlDatabase &db, const OperatorRecord &record, const QString &password)
{
    static const QRegularExpression codeForm(QStringLiteral("\\A[A-Za-z0-9_]{1,20}\\z"));
    if (!codeForm.match(record.code).hasMatch())
        return QStringLiteral("Código de operador inválido \"%1\": use de 1 a %2 letras, dígitos ou _.").arg(record.code.left(40)).arg(kOperatorCodeWidth);
    if (record.name.trimmed().isEmpty() || record.name.size() > 60)
        return QStringLiteral("Informe o nome do operador (até 60 caracteres).");
    if (const QString problem = passwordProblem(password); !problem.isEmpty())
        return problem;
    const QString what = QStringLiteral("ler a filial do operador");
    QSqlQuery branch = exec(db, Sql(QStringLiteral("SELECT IDFILCENTZUB FROM FILIAL WHERE CDFILIAL = ?")).bind(record.branch),
                            what);
    if (!nextRow(db, branch, what))
        return QStringLiteral("Filial %1 não cadastrada.").arg(record.branch);
    if (record.role == Role::Central && branch.value(0).toString() != QLatin1String("S"))
        return QStringLiteral("A filial %1 não é uma central de alimentação escolar: um operador de central pertence à central.").arg(record.branch);
    if (findOperator(db, record.code))
        return QStringLiteral("O operador %1 já existe; use --set-password para trocar a senha.").arg(record.code);
    const QString hash = hashPassword(password);
    WriteTransaction transaction(db);
    exec(db,
         Sql(QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHA, CDFILIAL, IDPAPEL, IDATIVO, QTFALHAS) VALUES (?, ?, ?, ?, ?, 'S', 0)"))
             .bind(record.code).bind(record.name.trimmed()).bind(hash).bind(record.branch).bind(roleCode(record.role)),
         QStringLiteral("gravar o operador"));
    transaction.commit();
    return {};
}

// A new password also unlocks the operator and makes it active again, and ends the sessions the
// old one opened: a password changed because it leaked must shut out whoever used it.
QString setOperatorPassword(QSqlDatabase &db, const QString &code, const QString &password)
{
    if (const QString problem = passwordProblem(password); !problem.isEmpty())
        return problem;
    if (!findOperator(db, code))
        return unknownOperator(code);
    const QString hash = hashPassword(password);
    WriteTransaction transaction(db);
    exec(db, Sql(QStringLiteral("UPDATE OPERADOR SET DSSENHA = ?, IDATIVO = 'S', QTFALHAS = 0, DTBLOQUEIO = NULL WHERE CDOPERADOR = ?")).bind(hash).bind(code),
         QStringLiteral("trocar a senha do operador"));
    endSessionsOf(db, code);
    transaction.commit();
    return {};
}

// Disabling also ends the operator's sessions.
QString disableOperator(QSqlDatabase &db, const QString &code)
{
    if (!findOperator(db, code))
        return unknownOperator(code);
    WriteTransaction transaction(db);
    exec(db, Sql(QStringLiteral("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = ?")).bind(code), QStringLiteral("desativar o operador"));
    endSessionsOf(db, code);
    transaction.commit();
    return {};
}

SignInCheck checkSignIn(QSqlDatabase &db, const QString &code, const QString &password)
{
    const QString wrong = QStringLiteral("Operador ou senha incorretos.");
    const std::optional<OperatorRecord> record = code.size() <= kOperatorCodeWidth ? findOperator(db, code) : std::nullopt;
    // Every attempt pays the same hashing work, and only the holder of the right password learns
    // more than "wrong": neither the answer nor its time tells an unknown code, a locked or a
    // disabled operator from a wrong password.
    static const QString decoy = hashPassword(QStringLiteral("senha-que-nunca-confere"));
    const bool matches = passwordMatches(record ? storedHash(db, code) : decoy, password) && record;
    if (matches && !record->active)
        return {std::nullopt, QStringLiteral("Operador %1 desativado; procure o administrador.").arg(record->code)};
    const bool locked = record && record->lockedUntil.isValid() && record->lockedUntil > QDateTime::currentDateTimeUtc();
    if (matches && locked)
        return {std::nullopt, QStringLiteral("Operador %1 bloqueado por tentativas erradas até %2; tente mais tarde ou peça ao administrador uma nova senha.")
                                  .arg(record->code, record->lockedUntil.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")))};
    if (!matches || locked)
        return {std::nullopt, wrong};
    return {record, {}};
}

void addDemoOperators(QSqlDatabase &db)
{
    for (const DemoOperator &demo : kDemoOperators) {
        const OperatorRecord record{QString::fromLatin1(demo.code), QString::fromUtf8(demo.name), QString::fromLatin1(demo.branch), {}, demo.role};
        if (const QString problem = addOperator(db, record, QString::fromLatin1(demo.password)); !problem.isEmpty())
            throw DbError{problem};
    }
}

} // namespace server
