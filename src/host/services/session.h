#pragma once

#include "host/data/codepicture.h"
#include "host/services/clientconfig.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QStringList>

namespace host {

class TdtmDBGeral;
class TNetConnection;

// A branch as the local cache of table FILIAL keeps it.
struct BranchRecord {
    QString code;
    QString name;
    QString rescinded;     // IDCNTRRESC, "S" when the contract is rescinded
    QString centralFlag;   // IDFILCENTZUB, "S" for a school-meal central
    QString central;       // CDFILCENTZUB
    QString role;          // IDMATRFILI, "M" head office, "F" branch
    QDate processingDate;  // DTPROCESSA
};

// Prefix of a branch-role answer that is an error text; the text follows it.
inline constexpr char kRoleErrorPrefix[] = "ERRO:";

// The logged-in context of the desktop client.
class HostSession
{
public:
    HostSession(const ClientConfig &config, TdtmDBGeral *database);

    const ClientConfig &config() const { return m_config; }
    QString token() const { return m_token; }

    QString filiProc() const { return m_config.branch; }
    QString nomeFiliProc();
    QString operador() const { return m_config.operatorCode; }
    bool moduFili() const { return m_config.branchMode; }
    // "M" or "F", or kRoleErrorPrefix followed by why the branch cannot be used.
    QString moduFili(const QString &branch);
    // The branch's processing date; today for an empty code or a branch without one.
    QDate dataProc(const QString &branch);
    void atualizaLocalCache(const QStringList &tables);
    QString webUrl() const { return m_config.serverHost; }
    int webPort() const { return m_config.serverPort; }
    TPictObj dbPictObj(int pictureType) const;

    // Cost-type names in their order, asked of the cost module through the connection.
    QStringList listaTipoCusto(TNetConnection &connection);
    // The cost-type number at a position of the last list.
    int numeroTipoCusto(int index) const;

    const BranchRecord *branch(const QString &code);

private:
    void loadBranches();
    ClientConfig m_config;
    QString m_token;
    TdtmDBGeral *m_database;
    QHash<QString, BranchRecord> m_branches;
    bool m_branchesLoaded = false;
    QList<int> m_costTypeNumbers;
};

// The host functions of the logged-in context, over the installed host services.
QString FiliProc();
QString NomeFiliProc();
QString Operador();
bool ModuFili();
QString ModuFili(const QString &branch, bool role);
QDate DataProc(const QString &branch);
void AtualizaLocalCache(const QStringList &tables);
QString WebURL();
int WebPort();
TPictObj DBPictObj(int pictureType);
QStringList ListaTipoCusto(TNetConnection *connection, QObject *costDataModule = nullptr);
int NumeroTipoCusto(int index);

} // namespace host
