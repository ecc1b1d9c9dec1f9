#include "server/savedfilters.h"

#include "server/audit.h"
#include "server/refusal.h"
#include "server/rights.h"
#include "server/sessions.h"
#include "wire/keylist.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace server {

namespace {

// Larger than any filter value the screen writes, small enough to keep the table lean.
constexpr int kMaxFilterBytes = 64 * 1024;
// An operator keeps a few dozen; the bound keeps one caller from filling the disk.
constexpr int kMaxFiltersPerOperator = 200;
constexpr int kBranchWidth = 4;

const QList<wire::FieldDef> kListFields = {{QStringLiteral("NMFILTRO"), QStringLiteral("string"), kFilterNameMaxLength},
                                           {QStringLiteral("CDOPERADOR"), QStringLiteral("string"), 20},
                                           {QStringLiteral("NMOPERADOR"), QStringLiteral("string"), 60},
                                           {QStringLiteral("IDCOMPARTILHADO"), QStringLiteral("string"), 1},
                                           {QStringLiteral("IDPROPRIO"), QStringLiteral("string"), 1}};
const QList<wire::FieldDef> kSchoolYearFields = {{QStringLiteral("NRANO"), QStringLiteral("integer"), 0},
                                                 {QStringLiteral("DTINICIO"), QStringLiteral("date"), 0},
                                                 {QStringLiteral("DTFIM"), QStringLiteral("date"), 0}};

// The operator the call's saved filters belong to.
const OperatorRecord &filterOwner()
{
    const Caller &caller = Caller::current();
    if (!caller.isOperator())
        throw Refusal{QStringLiteral("Filtros salvos pertencem a um operador: entre com operador e senha "
                                     "(o acesso pelo token compartilhado não tem operador).")};
    return caller.account;
}

QString filterName(const Args &args, int position)
{
    const QString name = args.text(position).trimmed();
    if (name.isEmpty() || name.size() > kFilterNameMaxLength)
        throw Refusal{QStringLiteral("O nome do filtro deve ter de 1 a %1 caracteres.").arg(kFilterNameMaxLength)};
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            throw Refusal{QStringLiteral("O nome do filtro não pode ter caracteres de controle.")};
    }
    return name;
}

// Whom a shared filter is shared with: the operator's central, or for an administrator (who has
// none) the other administrators, under a mark no branch code can take.
QString sharingCircle(const OperatorRecord &self)
{
    return self.central.isEmpty() ? QStringLiteral("*") : self.central;
}

// Filters of this name the operator may read: its own, and those shared within its central.
Sql visibleByName(const OperatorRecord &self, const QString &name)
{
    return Sql(QStringLiteral("SELECT S.CDOPERADOR, O.NMOPERADOR, S.IDCOMPARTILHADO, S.DSFILTRO, O.IDPAPEL"
                              " FROM FILTROSALVO S JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR"
                              " WHERE S.NMFILTRO = ? AND (S.CDOPERADOR = ? OR (S.IDCOMPARTILHADO = 'S' AND S.CDFILCENTZUB = ?))"
                              " ORDER BY CASE WHEN S.CDOPERADOR = ? THEN 0 ELSE 1 END, S.CDOPERADOR"))
        .bind(name).bind(self.code).bind(sharingCircle(self)).bind(self.code);
}

QString sharedByAnother(const QString &name, const QString &owner)
{
    return QStringLiteral("O operador %1 já compartilha um filtro \"%2\" na central; escolha outro nome para compartilhar.").arg(owner, name);
}

QString notFound(const QString &name)
{
    return QStringLiteral("Filtro salvo \"%1\" não encontrado.").arg(name);
}

} // namespace

QList<MethodSpec> SavedFilters::methods() const
{
    const ArgSpec name{QStringLiteral("nome do filtro")};
    return {
        {QStringLiteral("ListaFiltros"), {}, enveloped(this, &SavedFilters::list)},
        {QStringLiteral("LeFiltro"), {name, {QStringLiteral("dono do filtro")}}, enveloped(this, &SavedFilters::read)},
        {QStringLiteral("SalvaFiltro"),
         {name, {QStringLiteral("filtros"), ArgKind::Any}, {QStringLiteral("compartilhado")}},
         audited(m_settings, QStringLiteral("SalvaFiltro"), enveloped(this, &SavedFilters::save))},
        {QStringLiteral("ApagaFiltro"), {name}, audited(m_settings, QStringLiteral("ApagaFiltro"), enveloped(this, &SavedFilters::remove))},
        {QStringLiteral("GetAnoLetivo"), {{QStringLiteral("central")}}, enveloped(this, &SavedFilters::schoolYears)},
    };
}

CallResult SavedFilters::list(const Args &) const
{
    const OperatorRecord &self = filterOwner();
    QSqlDatabase db = threadConnection(m_settings);
    QSqlQuery query = exec(db,
                           Sql(QStringLiteral("SELECT S.NMFILTRO, S.CDOPERADOR, O.NMOPERADOR, S.IDCOMPARTILHADO,"
                                              " CASE WHEN S.CDOPERADOR = ? THEN 'S' ELSE 'N' END"
                                              " FROM FILTROSALVO S JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR"
                                              " WHERE S.CDOPERADOR = ? OR (S.IDCOMPARTILHADO = 'S' AND S.CDFILCENTZUB = ?)"
                                              " ORDER BY 5 DESC, 1, 2"))
                               .bind(self.code).bind(self.code).bind(sharingCircle(self)),
                           QStringLiteral("listar os filtros salvos"));
    return envelopeOk(readPacket(db, query, kListFields).toJson());
}

// An empty owner takes the caller's own filter of that name, else the one shared under it
// (several owners sharing the same name must be told apart by the owner).
CallResult SavedFilters::read(const Args &args) const
{
    const OperatorRecord &self = filterOwner();
    const QString name = filterName(args, 0);
    const QString owner = args.text(1).trimmed().toUpper();
    QSqlDatabase db = threadConnection(m_settings);
    QSqlQuery query = exec(db, visibleByName(self, name), QStringLiteral("ler o filtro salvo"));
    struct Found {
        QString owner, ownerName;
        bool shared;
        QString filters;
        bool bySchool;
    };
    QList<Found> found;
    // By name alone, an operator above the schools never takes a school's shared filter: a
    // scheduled run of the central must not silently run a school's filters under its name.
    const bool aboveSchools = self.role != Role::School;
    while (nextRow(db, query, QStringLiteral("ler os filtros salvos"))) {
        const Found row{query.value(0).toString(), query.value(1).toString(), query.value(2).toString() == QLatin1String("S"),
                        query.value(3).toString(), query.value(4).toString() == roleCode(Role::School)};
        if (owner.isEmpty() ? !(aboveSchools && row.bySchool && row.owner != self.code) : row.owner.compare(owner, Qt::CaseInsensitive) == 0)
            found << row;
    }
    if (found.isEmpty())
        throw Refusal{owner.isEmpty() ? notFound(name) : QStringLiteral("Filtro salvo \"%1\" do operador %2 não encontrado.").arg(name, owner)};
    if (found.first().owner != self.code && found.size() > 1) {
        QStringList owners;
        for (const Found &row : found)
            owners << row.owner;
        throw Refusal{QStringLiteral("Há filtros \"%1\" compartilhados por mais de um operador (%2); escolha pelo dono.")
                          .arg(name, owners.join(QStringLiteral(", ")))};
    }
    const Found &chosen = found.first();
    return envelopeOk(QJsonObject{{QStringLiteral("nome"), name},
                                  {QStringLiteral("dono"), chosen.owner},
                                  {QStringLiteral("nomeDono"), chosen.ownerName},
                                  {QStringLiteral("compartilhado"), chosen.shared},
                                  {QStringLiteral("filtros"), QJsonDocument::fromJson(chosen.filters.toUtf8()).object()}});
}

// Inserts or replaces the operator's own filter of that name.
static void writeFilter(QSqlDatabase &db, const OperatorRecord &self, const QString &name, const QString &shared, const QByteArray &filters,
                        const QDateTime &now)
{
    QSqlQuery updated = exec(db,
                             Sql(QStringLiteral("UPDATE FILTROSALVO SET CDFILCENTZUB = ?, IDCOMPARTILHADO = ?, DSFILTRO = ?, DTALTERACAO = ?"
                                                " WHERE CDOPERADOR = ? AND NMFILTRO = ?"))
                                 .bind(sharingCircle(self)).bind(shared).bind(QString::fromUtf8(filters)).bind(now).bind(self.code).bind(name),
                             QStringLiteral("gravar o filtro salvo"));
    if (updated.numRowsAffected() < 1) {
        const QString what = QStringLiteral("contar os filtros salvos do operador");
        QSqlQuery owned = exec(db, Sql(QStringLiteral("SELECT COUNT(*) FROM FILTROSALVO WHERE CDOPERADOR = ?")).bind(self.code), what);
        if (nextRow(db, owned, what) && owned.value(0).toInt() >= kMaxFiltersPerOperator)
            throw Refusal{QStringLiteral("Limite de %1 filtros salvos por operador atingido; apague um filtro antes de salvar outro.")
                              .arg(kMaxFiltersPerOperator)};
        exec(db,
             Sql(QStringLiteral("INSERT INTO FILTROSALVO (CDOPERADOR, NMFILTRO, CDFILCENTZUB, IDCOMPARTILHADO, DSFILTRO, DTCRIACAO, DTALTERACAO)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?)"))
                 .bind(self.code).bind(name).bind(sharingCircle(self)).bind(shared).bind(QString::fromUtf8(filters)).bind(now).bind(now),
             QStringLiteral("gravar o filtro salvo"));
    }
}

// Writes the caller's own filter of that name: another operator's one of the same name is
// never touched, so only the owner overwrites. A name shared within the central is one filter:
// sharing under a name another operator shares there is refused.
CallResult SavedFilters::save(const Args &args) const
{
    const OperatorRecord &self = filterOwner();
    const QString name = filterName(args, 0);
    if (!args.raw(1).isObject())
        throw Refusal{QStringLiteral("Os filtros a salvar devem ser um objeto JSON.")};
    const QByteArray filters = QJsonDocument(args.raw(1).toObject()).toJson(QJsonDocument::Compact);
    if (filters.size() > kMaxFilterBytes)
        throw Refusal{QStringLiteral("Filtros grandes demais para salvar (%1 bytes; o máximo é %2).").arg(filters.size()).arg(kMaxFilterBytes)};
    const QString shared = args.text(2).trimmed().toUpper();
    if (shared != QLatin1String("S") && shared != QLatin1String("N"))
        throw Refusal{QStringLiteral("Compartilhado deve ser S (com a central) ou N (só o operador).")};

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    if (shared == QLatin1String("S")) {
        const QString what = QStringLiteral("ler os filtros compartilhados");
        QSqlQuery taken = exec(db,
                               Sql(QStringLiteral("SELECT CDOPERADOR FROM FILTROSALVO WHERE CDFILCENTZUB = ? AND NMFILTRO = ? AND IDCOMPARTILHADO = 'S'"
                                                  " AND CDOPERADOR <> ?"))
                                   .bind(sharingCircle(self)).bind(name).bind(self.code),
                               what);
        if (nextRow(db, taken, what))
            throw Refusal{sharedByAnother(name, taken.value(0).toString())};
    }
    try {
        writeFilter(db, self, name, shared, filters, now);
    } catch (const DbError &error) {
        // Another operator shared the name in the meantime; the database's unique index caught it.
        if (error.kind != DbFailure::Constraint || shared != QLatin1String("S"))
            throw;
        throw Refusal{sharedByAnother(name, QStringLiteral("outro"))};
    }
    transaction.commit();
    return envelopeOk(QString());
}

CallResult SavedFilters::remove(const Args &args) const
{
    const OperatorRecord &self = filterOwner();
    const QString name = filterName(args, 0);
    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    QSqlQuery deleted = exec(db, Sql(QStringLiteral("DELETE FROM FILTROSALVO WHERE CDOPERADOR = ? AND NMFILTRO = ?")).bind(self.code).bind(name),
                             QStringLiteral("apagar o filtro salvo"));
    if (deleted.numRowsAffected() < 1) {
        const QString what = QStringLiteral("ler o filtro salvo");
        QSqlQuery visible = exec(db, visibleByName(self, name), what);
        if (nextRow(db, visible, what))
            throw Refusal{QStringLiteral("O filtro \"%1\" é do operador %2; só o dono pode apagá-lo.").arg(name, visible.value(0).toString())};
        throw Refusal{notFound(name)};
    }
    transaction.commit();
    return envelopeOk(QString());
}

CallResult SavedFilters::schoolYears(const Args &args) const
{
    QString error;
    const std::optional<QString> central = wire::parseCode(args.text(0), QStringLiteral("Central de alimentação escolar"), kBranchWidth, &error);
    if (!central || central->isEmpty())
        throw Refusal{central ? QStringLiteral("Código não informado: central de alimentação escolar.") : error};
    allow(centralRefusal(Caller::current(), *central));
    QSqlDatabase db = threadConnection(m_settings);
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT NRANO, DTINICIO, DTFIM FROM ANOLETIVO WHERE CDFILCENTZUB = ? ORDER BY NRANO")).bind(*central),
                           QStringLiteral("ler os anos letivos"));
    return envelopeOk(readPacket(db, query, kSchoolYearFields).toJson());
}

} // namespace server
