#include "host/services/session.h"

#include "host/data/adoibquery.h"
#include "host/data/dataset.h"
#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/network/checkresultserv.h"
#include "host/network/netconnection.h"
#include "host/services/hostservices.h"

#include <QSqlError>
#include <QSqlQuery>

namespace host {

HostSession::HostSession(const ClientConfig &config, TdtmDBGeral *database)
    : m_config(config), m_token(config.resolvedToken()), m_database(database)
{
}

static QDate dateOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

// The branches the operator may see: from the application server, or (tools and tests) from a
// database opened directly.
static wire::DataPacket branchRows(TdtmDBGeral &database)
{
    if (GeneralDataSource *server = database.server())
        return server->lookup(QStringLiteral("FILIAL"), {});
    QSqlQuery query(database.adcGeral());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTZUB, CDFILCENTZUB, IDMATRFILI, DTPROCESSA FROM FILIAL")))
        throw HostError(QStringLiteral("Erro ao atualizar o cache local da tabela FILIAL: %1").arg(query.lastError().text()));
    return packetOf(query);
}

void HostSession::loadBranches()
{
    const wire::DataPacket packet = branchRows(*m_database);
    QHash<QString, BranchRecord> branches;
    for (int row = 0; row < packet.rows.size(); ++row) {
        const auto text = [&](const char *field) { return packet.value(row, QString::fromLatin1(field)).toString(); };
        BranchRecord record;
        record.code = text("CDFILIAL");
        record.name = text("NMFILIAL");
        record.rescinded = text("IDCNTRRESC");
        record.centralFlag = text("IDFILCENTZUB");
        record.central = text("CDFILCENTZUB");
        record.role = text("IDMATRFILI");
        record.processingDate = dateOf(packet.value(row, QStringLiteral("DTPROCESSA")));
        branches.insert(record.code, record);
    }
    m_branches = std::move(branches);
    m_branchesLoaded = true;
}

const BranchRecord *HostSession::branch(const QString &code)
{
    if (!m_branchesLoaded)
        loadBranches();
    const auto it = m_branches.constFind(code);
    return it == m_branches.constEnd() ? nullptr : &it.value();
}

void HostSession::atualizaLocalCache(const QStringList &tables)
{
    for (const QString &table : tables) {
        if (table.compare(QLatin1String("FILIAL"), Qt::CaseInsensitive) != 0)
            throw HostError(QStringLiteral("A tabela %1 não é mantida no cache local.").arg(table));
        loadBranches();
    }
}

QString HostSession::nomeFiliProc()
{
    const BranchRecord *record = branch(m_config.branch);
    return record ? record->name : QString();
}

QString HostSession::moduFili(const QString &code)
{
    const QString prefix = QString::fromLatin1(kRoleErrorPrefix);
    const BranchRecord *record = branch(code);
    if (!record)
        return prefix + QStringLiteral("Filial %1 não cadastrada.").arg(code);
    if (record->rescinded == QLatin1String("S"))
        return prefix + QStringLiteral("Filial %1 com contrato rescindido.").arg(code);
    if (record->role != QLatin1String("M") && record->role != QLatin1String("F"))
        return prefix + QStringLiteral("Filial %1 sem tipo definido (matriz ou filial).").arg(code);
    return record->role;
}

QDate HostSession::dataProc(const QString &code)
{
    // No branch named (a central logged in on the list page): the logged-in branch's date, so the
    // default period is the one its office is processing, not the calendar's.
    const BranchRecord *record = branch(code.trimmed().isEmpty() ? filiProc() : code);
    if (!record || !record->processingDate.isValid())
        return QDate::currentDate();
    return record->processingDate;
}

TPictObj HostSession::dbPictObj(int pictureType) const
{
    if (pictureType != 0)
        throw HostError(QStringLiteral("Máscara de código do tipo %1 não configurada.").arg(pictureType));
    return TPictObj(m_config.productPicture);
}

QStringList HostSession::listaTipoCusto(TNetConnection &connection)
{
    TClientDataSet costTypes(QStringLiteral("cdsTipoCusto"));
    costTypes.AddField(QStringLiteral("NRTIPOCUSTO"), FieldType::Integer, 0);
    costTypes.AddField(QStringLiteral("NMTIPOCUSTO"), FieldType::String, 40);
    costTypes.LoadFromPacket(CheckResultServ(connection.Call(QStringLiteral("ListaTipoCusto")), true, 0));
    QStringList names;
    QList<int> numbers;
    for (costTypes.First(); !costTypes.Eof(); costTypes.Next()) {
        numbers.append(int(costTypes.FieldByName(QStringLiteral("NRTIPOCUSTO"))->AsInteger()));
        names.append(costTypes.FieldByName(QStringLiteral("NMTIPOCUSTO"))->AsString());
    }
    m_costTypeNumbers = numbers;
    return names;
}

int HostSession::numeroTipoCusto(int index) const
{
    if (index < 0 || index >= m_costTypeNumbers.size())
        throw HostError(QStringLiteral("Tipo de custo não encontrado na lista (posição %1).").arg(index));
    return m_costTypeNumbers[index];
}

static HostSession &session()
{
    return HostServices::current().session();
}

QString FiliProc() { return session().filiProc(); }
QString NomeFiliProc() { return session().nomeFiliProc(); }
QString Operador() { return session().operador(); }
bool ModuFili() { return session().moduFili(); }
QString ModuFili(const QString &branch, bool) { return session().moduFili(branch); }
QDate DataProc(const QString &branch) { return session().dataProc(branch); }
void AtualizaLocalCache(const QStringList &tables) { session().atualizaLocalCache(tables); }
QString WebURL() { return session().webUrl(); }
int WebPort() { return session().webPort(); }
TPictObj DBPictObj(int pictureType) { return session().dbPictObj(pictureType); }

QStringList ListaTipoCusto(TNetConnection *connection, QObject *)
{
    if (!connection)
        throw HostError(QStringLiteral("Conexão com o módulo de custos não informada."));
    return session().listaTipoCusto(*connection);
}

int NumeroTipoCusto(int index) { return session().numeroTipoCusto(index); }

} // namespace host
