#include "screenfixture.h"

#include "host/services/session.h"
#include "wire/datapacket.h"

#include <QApplication>
#include <QJsonObject>
#include <QtTest>

void driveValue(TfrmCustoPlanXReal *form, const std::function<void(zub01100::FilterValue &)> &change)
{
    zub01100::FilterValue value = form->filterValue();
    change(value);
    form->setFilterValue(value);
}

QJsonObject ScreenFixture::packet(const QStringList &fields, const QList<QStringList> &rows)
{
    wire::DataPacket p;
    for (const QString &field : fields)
        p.fields.append({field, QStringLiteral("string"), 0});
    for (const QStringList &row : rows) {
        QVariantList values;
        for (const QString &value : row)
            values.append(value);
        p.rows.append(values);
    }
    return p.toJson();
}

ScreenFixture::ScreenFixture(const QString &branch, bool branchMode)
{
    host = std::make_unique<TestHost>(server.port(), branch,
                                      [branchMode](host::ClientConfig &config) { config.branchMode = branchMode; });
    host->exec({
        "CREATE TABLE TIPOCARD (CDTIPOCARD VARCHAR(10), NMTIPOCARD VARCHAR(100), CDFILCENTZUB VARCHAR(4), IDTPCARDATIV CHAR(1))",
        "INSERT INTO TIPOCARD VALUES ('05','Especial','CE01','S')",
        "INSERT INTO TIPOCARD VALUES ('01','Regular','CE01','S')",
        "INSERT INTO TIPOCARD VALUES ('03','Antigo','CE01','N')",
        "INSERT INTO TIPOCARD VALUES ('02','Integral','CE01','S')",
        "INSERT INTO TIPOCARD VALUES ('07','Outra central','CE02','S')",
        "INSERT INTO FILIAL VALUES ('0005','EM Lago','N','N','CE01','F','2026-03-16')",
        // What the ZUB011 layouts read from the same database; empty, so reports say so.
        "CREATE TABLE LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD)",
        "CREATE TABLE ITCONSPLANREAL (NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, IDESTOCAVEL, QTREFEPLAN, QTPLANEJADA, QTCONSUMIDA)",
        "CREATE TABLE REFECONSPLAN (NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, QTREFEPLAN, QTREFESERV)",
        "CREATE TABLE FALTACONSPLAN (NRCONSPLAN, IDFALTA, CDFILIAL, DTREFEICAO)",
        "CREATE TABLE REFEPLAN (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD, CDCARDAPIO, QTREFEPLAN)",
        "CREATE TABLE REFESERV (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD, QTREFESERV)",
        "CREATE TABLE CONSREAL (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD, CDPRODUTO, QTCONSUMIDA)",
        "CREATE TABLE REFEPLANMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, DTMES, QTREFEPLAN)",
        "CREATE TABLE REFESERVMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, DTMES, QTREFESERV)",
        "CREATE TABLE CONSREALMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, DTMES, QTCONSUMIDA)",
        "CREATE TABLE REGISTRODIA (CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, QTLINHASPLAN, QTLINHASSERV, QTLINHASCONS)",
        "CREATE TABLE ITCARDAPIO (CDCARDAPIO, CDPRODUTO, QTPERCAPITA)",
        "CREATE TABLE PRODUTO (CDPRODUTO, NMPRODUTO, NRNIVEL, SGUNIDADE, IDESTOCAVEL)",
        "CREATE TABLE CUSTOPROD (CDPRODUTO, NRTIPOCUSTO, VRUNITARIO)",
        "CREATE TABLE SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV)",
    });

    const QStringList branchFields{"IDMARCADO", "CDFILIAL", "NMFILIAL"};
    server.on("GetFiliAgreg", [branchFields](const RecordingServer::Call &call) {
        QList<QStringList> rows{{"N", "0001", "EM Jardim"}, {"N", "0005", "EM Lago"}};
        const QString code = call.params.at(3).toString();
        if (!code.isEmpty())
            rows.removeIf([&](const QStringList &row) { return row[1] != code; });
        return RecordingServer::envelope(packet(branchFields, rows));
    });
    server.on("GetAgrupFili", [](const RecordingServer::Call &call) {
        QList<QStringList> rows{{"0000000010", "Zona Leste"}};
        const QString code = call.params.at(0).toString();
        if (code != QLatin1String("T"))
            rows.removeIf([&](const QStringList &row) { return row[0] != code; });
        return RecordingServer::envelope(packet({"CDGRUPFILI", "NMGRUPFILI"}, rows));
    });
    server.on("GetServico", [](const RecordingServer::Call &call) {
        QList<QStringList> rows{{"N", "0001", "00010", "Desjejum", "000100010"},
                                {"N", "0001", "00020", "Almoço", "000100020"},
                                {"N", "0005", "00010", "Desjejum", "000500010"}};
        const QString branches = call.params.at(0).toString();
        if (branches != QLatin1String("T") && !branches.contains(QLatin1Char('_')))
            rows.removeIf([&](const QStringList &row) { return row[1] != branches; });
        return RecordingServer::envelope(packet({"IDMARCADO", "CDFILIAL", "CDSERVFILI", "NMSERVICO", "FILISERV"}, rows));
    });
    wire::DataPacket costTypes;
    costTypes.fields = {{"NRTIPOCUSTO", "integer", 0}, {"NMTIPOCUSTO", "string", 40}};
    costTypes.rows = {{1, "Custo Médio"}, {2, "Último Custo"}};
    server.on("ListaTipoCusto", RecordingServer::envelope(costTypes.toJson()));
    RecordingServer::Reply plan;
    plan.answer = QStringLiteral("0000000042");
    server.on("ExecStpConsPlan", plan);
    server.on("getListas", RecordingServer::envelope(QJsonArray{"0000000101", "0000000102", "0000000103"}));
    server.on("DelConsPlan", RecordingServer::envelope(""));
    server.on("deletaListas", RecordingServer::envelope(""));
}

ScreenFixture::~ScreenFixture()
{
    if (frmCustoPlanXReal) {
        frmCustoPlanXReal->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TfrmCustoPlanXReal *ScreenFixture::open()
{
    IniProc();
    return frmCustoPlanXReal;
}

void ScreenFixture::activate()
{
    frmCustoPlanXReal->FormActivate(frmCustoPlanXReal);
}

QList<RecordingServer::Call> ScreenFixture::callsOf(const QString &method) const
{
    QList<RecordingServer::Call> calls;
    for (const RecordingServer::Call &call : server.calls()) {
        if (call.method == method)
            calls.append(call);
    }
    return calls;
}

QJsonArray ScreenFixture::lastParams(const QString &method) const
{
    const QList<RecordingServer::Call> calls = callsOf(method);
    return calls.isEmpty() ? QJsonArray() : calls.last().params;
}

TfrmCustoPlanXReal *ScreenFixture::openActive()
{
    TfrmCustoPlanXReal *opened = open();
    activate();
    QApplication::setActiveWindow(opened);
    return opened;
}
