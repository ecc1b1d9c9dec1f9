#pragma once

#include "Cli_zub01100.h"
#include "support/recordingserver.h"
#include "support/testhost.h"

#include <QJsonArray>
#include <functional>
#include <memory>

// Changes the screen's filter value as it is, no rule applied: what an earlier dialog or run left.
void driveValue(TfrmCustoPlanXReal *form, const std::function<void(zub01100::FilterValue &)> &change);

// The report screen opened through its module entry point, logged in at a branch of the test
// host's database, against a recording application server with the answers below.
//   GetFiliAgreg   the aggregated branches 0001 "EM Jardim" and 0005 "EM Lago" of CE01, or the one asked for
//   GetAgrupFili   grouping "0000000010" "Zona Leste"; no row for any other code
//   GetServico     services 00010 "Desjejum" and 00020 "Almoço" of 0001, 00010 "Desjejum" of 0005
//                  (of the one branch asked for, when a single code is sent)
//   ListaTipoCusto 1 "Custo Médio", 2 "Último Custo"
//   ExecStpConsPlan "0000000042"; getListas ["0000000101","0000000102","0000000103"]; deletes ""
// Menu types of CE01 in the database: 01, 02, 05 active, 03 inactive; 07 of another central.
class ScreenFixture
{
public:
    explicit ScreenFixture(const QString &branch = QStringLiteral("CE01"), bool branchMode = false);
    ~ScreenFixture();

    // IniProc, as the client's menu does it; answers the instance (null when the start-up closed it).
    TfrmCustoPlanXReal *open();
    TfrmCustoPlanXReal *form() const { return frmCustoPlanXReal; }
    // The first activation, as the window system raises it.
    void activate();
    // open(), activate() and the window made the active one, as a user finds the screen.
    TfrmCustoPlanXReal *openActive();

    // Calls of one method, in order.
    QList<RecordingServer::Call> callsOf(const QString &method) const;
    QJsonArray lastParams(const QString &method) const;

    static QJsonObject packet(const QStringList &fields, const QList<QStringList> &rows);

    RecordingServer server;
    std::unique_ptr<TestHost> host;
};
