#include "screen/filterwidgets.h"
#include "host/services/dispatcher.h"
#include "host/services/userinteraction.h"
#include "host/widgets/busyindicator.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/radiogroup.h"
#include "screenfixture.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace host;

namespace {

const QStringList kAllParameters{
    "P_CDFILCENTZUB", "P_CDFILIAL", "P_NRLISTAFILI", "P_NRCONSPLAN", "P_NRLISTA", "P_CDTIPOCARD",
    "P_LISTATIPOCARD", "P_LISTASERVICO", "P_CDSERVFILI", "P_DTINICIAL", "P_DTFINAL", "P_DTPERIINIC",
    "P_DTPERIFINA", "P_DTMESINIC", "P_DTMESFINA", "P_NRTIPOCUSTO", "P_NMTIPOCUSTO", "P_IDESTOCAVEIS",
    "P_IDNESTOCAVEIS", "P_IDDIFERENCA", "P_NIVEL", "P_NRTAMACNIVEL", "P_CDGRUPFILI", "P_NMGRUPFILI"};

TParams declaring(const QStringList &names)
{
    TParams params;
    for (const QString &name : names)
        params.declare(name);
    return params;
}

} // namespace

class TstReportRun : public QObject
{
    Q_OBJECT

    static TfrmCustoPlanXReal *openActivated(ScreenFixture &fixture)
    {
        TfrmCustoPlanXReal *form = fixture.open();
        fixture.activate();
        return form;
    }
    // One parameter request as the report dialog raises it; answers whether it ran to its end.
    static bool request(TfrmCustoPlanXReal *form, TParams &params)
    {
        bool handled = false;
        const bool done = Dispatch([&] { form->reportPreparation().rpddPadraoBeforeGetQueryParams(params, handled); });
        if (handled)
            qWarning("the handler must leave the Boolean alone");
        return done && !handled;
    }

private Q_SLOTS:
    void everyDeclaredParameterIsSet()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().depDataInic->SetDate(QDate(2026, 3, 10));
        form->widgets().depDataFina->SetDate(QDate(2026, 4, 7));
        form->widgets().cbbTipoCusto->setCurrentIndex(1);
        form->widgets().rdgDiferenca->setItemIndex(1);
        form->widgets().sedNiveOrde->setValue(1);
        form->widgets().chbNaoEstoc->setChecked(false);
        form->widgets().rbtListaTipoCard->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.menuTypes.keys = {"02"}; });
        TParams params = declaring(kAllParameters);
        QVERIFY(request(form, params));

        auto text = [&](const char *name) { return params.ParamByName(name).AsString(); };
        QCOMPARE(text("P_CDFILCENTZUB"), QStringLiteral("CE01"));
        QCOMPARE(text("P_CDFILIAL"), QStringLiteral("_0001_0005_"));
        QCOMPARE(text("P_NRLISTAFILI"), QStringLiteral("0000000103"));
        QCOMPARE(text("P_NRCONSPLAN"), QStringLiteral("0000000042"));
        QCOMPARE(text("P_NRLISTA"), QString());
        QCOMPARE(text("P_CDTIPOCARD"), QStringLiteral("_02_"));
        QCOMPARE(text("P_LISTATIPOCARD"), QStringLiteral("0000000102"));
        QCOMPARE(text("P_LISTASERVICO"), QStringLiteral("0000000101"));
        QCOMPARE(text("P_CDSERVFILI"), QStringLiteral("T"));
        QCOMPARE(params.ParamByName("P_DTINICIAL").AsDateTime().date(), QDate(2026, 3, 10));
        QCOMPARE(params.ParamByName("P_DTINICIAL").DataType, ParamType::DateTime);
        QCOMPARE(params.ParamByName("P_DTFINAL").AsDateTime().date(), QDate(2026, 4, 7));
        QCOMPARE(text("P_DTPERIINIC"), QStringLiteral("10/03/2026"));
        QCOMPARE(text("P_DTPERIFINA"), QStringLiteral("07/04/2026"));
        QCOMPARE(params.ParamByName("P_DTMESINIC").AsDateTime().date(), QDate(2026, 3, 1));
        QCOMPARE(params.ParamByName("P_DTMESFINA").AsDateTime().date(), QDate(2026, 4, 30));
        QCOMPARE(params.ParamByName("P_NRTIPOCUSTO").AsInteger(), 2);
        QCOMPARE(params.ParamByName("P_NRTIPOCUSTO").DataType, ParamType::Integer);
        QCOMPARE(text("P_NMTIPOCUSTO"), QStringLiteral("Último Custo"));
        QCOMPARE(text("P_IDESTOCAVEIS"), QStringLiteral("S"));
        QCOMPARE(text("P_IDNESTOCAVEIS"), QStringLiteral("N"));
        QCOMPARE(text("P_IDDIFERENCA"), QStringLiteral("T"));
        QCOMPARE(text("P_NIVEL"), QStringLiteral("S"));
        QCOMPARE(params.ParamByName("P_NRTAMACNIVEL").AsInteger(), 2);
        QCOMPARE(text("P_CDGRUPFILI"), QStringLiteral("Nenhum"));
        QCOMPARE(text("P_NMGRUPFILI"), QString());

        // The server calls, with their exact arguments.
        QCOMPARE(fixture.server.methodsCalled(), QStringList({"ListaTipoCusto", "GetFiliAgreg", "ExecStpConsPlan", "getListas"}));
        QCOMPARE(fixture.lastParams("GetFiliAgreg"), QJsonArray({"F", "", "CE01", ""}));
        QCOMPARE(fixture.lastParams("ExecStpConsPlan"),
                 QJsonArray({"CE01", "", "_0001_0005_", "", "2026-03-10", "2026-04-07", "0", "zzzzzzzzzz", "OP01"}));
        QCOMPARE(fixture.lastParams("getListas"), QJsonArray({"", "_02_", "CE01", "_0001_0005_"}));
    }

    void defaultsOfTheOtherChoices()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().edtCdAgrupFili->setText("0000000010");
        form->widgets().edtAgrupFili->setText("Zona Leste");
        TParams params = declaring(kAllParameters);
        QVERIFY(request(form, params));
        QCOMPARE(params.ParamByName("P_IDDIFERENCA").AsString(), QStringLiteral("P"));
        QCOMPARE(params.ParamByName("P_NIVEL").AsString(), QStringLiteral("N"));
        QCOMPARE(params.ParamByName("P_NRTAMACNIVEL").AsInteger(), 0);
        QCOMPARE(params.ParamByName("P_CDGRUPFILI").AsString(), QStringLiteral("0000000010"));
        QCOMPARE(params.ParamByName("P_NMGRUPFILI").AsString(), QStringLiteral("Zona Leste"));
        QCOMPARE(params.ParamByName("P_CDTIPOCARD").AsString(), QStringLiteral("01_02_05_"));
        QCOMPARE(fixture.lastParams("GetFiliAgreg"), QJsonArray({"A", "0000000010", "CE01", ""}));
    }

    void aLayoutWithoutParametersStillPreparesTheData()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        TParams params = declaring({"P_OUTRO"});
        QVERIFY(request(form, params));
        QVERIFY(params.ParamByName("P_OUTRO").IsNull());
        QCOMPARE(fixture.server.methodsCalled().mid(1), QStringList({"GetFiliAgreg", "ExecStpConsPlan", "getListas"}));
        QCOMPARE(form->vNrListas.toList(), QVariantList({"0000000101", "0000000102", "0000000103"}));
    }

    void branchStringForms_data()
    {
        QTest::addColumn<bool>("branchMode");
        QTest::addColumn<bool>("lista");
        QTest::addColumn<bool>("noRows");
        QTest::addColumn<QString>("branches");
        QTest::newRow("single branch") << true << false << false << "0001";
        QTest::newRow("marked list") << false << true << false << "_0005_";
        QTest::newRow("all branches") << false << false << false << "_0001_0005_";
        QTest::newRow("all branches, none on file") << false << false << true << "_";
    }
    void branchStringForms()
    {
        QFETCH(bool, branchMode);
        QFETCH(bool, lista);
        QFETCH(bool, noRows);
        QFETCH(QString, branches);
        ScreenFixture fixture("0001", branchMode);
        TfrmCustoPlanXReal *form = openActivated(fixture);
        if (lista) {
            form->widgets().rbtListaFiliAgreg->setChecked(true);
            driveValue(form, [&](zub01100::FilterValue &v) { v.branches.keys = {"0005"}; });
        }
        if (noRows)
            fixture.server.on("GetFiliAgreg", RecordingServer::envelope(ScreenFixture::packet({"IDMARCADO", "CDFILIAL", "NMFILIAL"}, {})));
        TParams params = declaring({"P_CDFILIAL"});
        QVERIFY(request(form, params));
        QCOMPARE(params.ParamByName("P_CDFILIAL").AsString(), branches);
        QCOMPARE(fixture.lastParams("ExecStpConsPlan").at(2).toString(), branches);
        QCOMPARE(fixture.callsOf("GetFiliAgreg").isEmpty(), branchMode || lista);
    }

    void withoutStockableProductsNothingIsPrepared()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().chbEstocaveis->setChecked(false);
        TParams params = declaring({"P_NRCONSPLAN", "P_NRLISTA"});
        QVERIFY(request(form, params));
        QVERIFY(fixture.callsOf("ExecStpConsPlan").isEmpty());
        QCOMPARE(params.ParamByName("P_NRCONSPLAN").AsString(), QString());
        QCOMPARE(fixture.callsOf("getListas").size(), 1);

        // Regression: a later run without stockables sent the last run's plan number, which its
        // clean-up had deleted, and the server refused the report.
        form->widgets().chbEstocaveis->setChecked(true);
        QVERIFY(request(form, params));
        QCOMPARE(params.ParamByName("P_NRCONSPLAN").AsString(), QStringLiteral("0000000042"));
        form->widgets().chbEstocaveis->setChecked(false);
        QVERIFY(request(form, params));
        QCOMPARE(params.ParamByName("P_NRCONSPLAN").AsString(), QString());
        QCOMPARE(fixture.callsOf("ExecStpConsPlan").size(), 1);
    }

    void aPreparationAnswerOfAnotherLengthIsAnError_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("9 characters") << "000000042";
        QTest::newRow("11 characters") << "00000000042";
        QTest::newRow("refusal") << "Data inicial posterior à data final.";
    }
    void aPreparationAnswerOfAnotherLengthIsAnError()
    {
        QFETCH(QString, answer);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        RecordingServer::Reply reply;
        reply.answer = answer;
        fixture.server.on("ExecStpConsPlan", reply);
        TParams params = declaring(kAllParameters);
        QVERIFY(!request(form, params));
        QCOMPARE(fixture.host->ui.errors, QStringList{answer});
        for (const TParam &param : params.items())
            QVERIFY2(param.IsNull(), qPrintable(param.Name));
        QVERIFY(fixture.callsOf("getListas").isEmpty());
        QVERIFY(!BusyIndicatorShown());
        QCOMPARE(form->reportPreparation().planAnswer(), answer);
    }

    void markedServiceKeysAreReducedForThePlan_data()
    {
        QTest::addColumn<bool>("branchMode");
        QTest::addColumn<int>("reportIndex");
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("sent");
        QTest::newRow("list page") << false << 0 << "_000100010_000200010_000100020_" << "_00010_00020_";
        // Regression: a code that is part of an earlier code was dropped by a plain substring search.
        QTest::newRow("code inside another code") << false << 0 << "_000100100_00020010_" << "_00100_0010_";
        QTest::newRow("branch mode, first report") << true << 0 << "_00010_00020_" << "_00010_00020_";
        QTest::newRow("branch mode, second report") << true << 1 << "_000100010_000100020_" << "_00010_00020_";
        // Regression: from the third report on the service search offers branch-plus-service keys too.
        QTest::newRow("branch mode, third report") << true << 2 << "_000100010_000100020_" << "_00010_00020_";
        // Regression: codes marked under the first report were cut when printed under the second.
        QTest::newRow("codes marked, second report") << true << 1 << "_00010_00020_" << "_00010_00020_";
        QTest::newRow("codes on the list page") << false << 0 << "_00010_00020_" << "_00010_00020_";
    }
    void markedServiceKeysAreReducedForThePlan()
    {
        QFETCH(bool, branchMode);
        QFETCH(int, reportIndex);
        QFETCH(QString, marked);
        QFETCH(QString, sent);
        ScreenFixture fixture("0001", branchMode);
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->cbbReportNames->addItem("Terceiro relatório");
        form->cbbReportNames->setCurrentIndex(reportIndex);
        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) {
            v.services.keys = wire::splitKeyList(marked);
            v.effectiveServices = marked;
        });
        TParams params = declaring({"P_CDSERVFILI"});
        QVERIFY(request(form, params));
        QCOMPARE(fixture.lastParams("ExecStpConsPlan").at(3).toString(), sent);
        QCOMPARE(form->filterValue().services.keyList(), marked);
        // The report gets the marks as they were.
        QCOMPARE(params.ParamByName("P_CDSERVFILI").AsString(), marked);
    }

    // Regression: a blank marked list came back as "_", which a later "Lista" check took for a mark.
    void blankMarksStayBlankAfterTheReduction()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().rbtListaServ->setChecked(true);
        TParams params;
        QVERIFY(request(form, params));
        QCOMPARE(fixture.lastParams("ExecStpConsPlan").at(3).toString(), QStringLiteral("_"));
        QVERIFY(form->filterValue().services.keys.isEmpty());
        QVERIFY(!Dispatch([&] { form->serviceFilters().Servico(); form->serviceFilters().Vd_ListaServ(true); }));
    }

    void printCleansUpOnceThroughTheAfterPrintEvent()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        QTemporaryDir dir;
        fixture.host->ui.printAnswers = {PrintTarget{QString(), dir.filePath("r.pdf")}};
        form->sbtPrint->click();
        QCOMPARE(fixture.host->ui.errors, QStringList());
        QCOMPARE(fixture.server.methodsCalled().mid(1),
                 QStringList({"GetServico", "GetFiliAgreg", "ExecStpConsPlan", "getListas", "DelConsPlan", "deletaListas"}));
        QCOMPARE(fixture.lastParams("DelConsPlan"), QJsonArray({"0001", "0000000042"}));
        QCOMPARE(fixture.lastParams("deletaListas"), QJsonArray({QJsonArray{"0000000101", "0000000102", "0000000103"}}));
        QCOMPARE(form->vNrListas.toList(), QVariantList({"", "", ""}));
        QVERIFY(QFileInfo(dir.filePath("r.pdf")).size() > 0);
        QVERIFY(!BusyIndicatorShown());
    }

    void previewCleansUpToo()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->sbtPreview->click();
        QCOMPARE(fixture.host->ui.previews.size(), 1);
        QCOMPARE(fixture.callsOf("DelConsPlan").size(), 1);
        QCOMPARE(fixture.callsOf("deletaListas").size(), 1);
    }

    void aFailedCheckStopsTheCommandBeforeTheReport()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().rbtListaGrup->setChecked(true);
        form->sbtPrint->click();
        QCOMPARE(fixture.host->ui.errors, QStringList{"Grupo de serviços deve ser informado."});
        QVERIFY(fixture.host->ui.printRequests.isEmpty());
        QVERIFY(fixture.callsOf("ExecStpConsPlan").isEmpty());
    }

    void printWithoutPreparationDeletesTheLastNumber()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().chbEstocaveis->setChecked(false);
        QTemporaryDir dir;
        fixture.host->ui.printAnswers = {PrintTarget{QString(), dir.filePath("r.pdf")}};
        form->sbtPrint->click();
        QCOMPARE(fixture.lastParams("DelConsPlan"), QJsonArray({"0001", ""}));
    }

    void aFailedListDeletionIsShownAndNotTriedAgain()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        fixture.server.on("deletaListas", RecordingServer::envelope("Lista 0000000101 em uso."));
        form->vNrListas = QVariantList{"0000000101", "0000000102", "0000000103"};
        QVERIFY(!Dispatch([&] { form->reportPreparation().deletaListas(); }));
        QCOMPARE(fixture.host->ui.errors, QStringList{"Lista 0000000101 em uso."});
        QCOMPARE(form->vNrListas.toList(), QVariantList({"", "", ""}));
        QVERIFY(!BusyIndicatorShown());
        QVERIFY(Dispatch([&] { form->reportPreparation().deletaListas(); }));
        QCOMPARE(fixture.callsOf("deletaListas").size(), 1);
    }

    void listsOfAFreshScreenAreNothingToDelete()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        QVERIFY(Dispatch([&] { form->reportPreparation().deletaListas(); }));
        QVERIFY(fixture.callsOf("deletaListas").isEmpty());
    }

    void aFailedPlanDeletionLeavesTheListsForLater()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        fixture.server.on("DelConsPlan", RecordingServer::envelope("Plano em uso."));
        form->vNrListas = QVariantList{"0000000101", "0000000102", "0000000103"};
        QVERIFY(!Dispatch([&] { form->reportPreparation().rpddPadraoQRPAfterPrint(); }));
        QCOMPARE(fixture.host->ui.errors, QStringList{"Plano em uso."});
        QVERIFY(fixture.callsOf("deletaListas").isEmpty());
        QCOMPARE(form->vNrListas.toList().first().toString(), QStringLiteral("0000000101"));
    }

    void saveAsTextNeedsNoChecksAndKeepsTheLists()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().rbtListaGrup->setChecked(true); // would fail the checks
        QTemporaryDir dir;
        fixture.host->ui.saveAnswers = {dir.filePath("r.txt")};
        form->mnuSalvarTexto->trigger();
        QCOMPARE(fixture.host->ui.errors, QStringList());
        QVERIFY(QFileInfo(dir.filePath("r.txt")).size() > 0);
        // The text is a run of its own: the plan it prepared is the one deleted afterwards.
        QCOMPARE(fixture.server.methodsCalled().mid(1),
                 QStringList({"GetServico", "GetFiliAgreg", "ExecStpConsPlan", "getListas", "DelConsPlan"}));
        // Regression: the text of a fresh screen stored an empty service list and came out empty.
        QCOMPARE(fixture.lastParams("getListas").at(0).toString(), QStringLiteral("000100010_000100020_000500010_"));
        QCOMPARE(fixture.lastParams("DelConsPlan"), QJsonArray({"0001", "0000000042"}));
        QCOMPARE(form->vNrListas.toList().first().toString(), QStringLiteral("0000000101"));
        QCOMPARE(BusyIndicatorText(), QStringLiteral("Limpando tabela temporária..."));
    }

    void editAndStandardReportAreCheckedFirst()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openActivated(fixture);
        form->widgets().chbEstocaveis->setChecked(false);
        form->widgets().chbNaoEstoc->setChecked(false);
        form->mnuEditRel->trigger();
        form->mnuRelatPadr->trigger();
        QCOMPARE(fixture.host->ui.errors, QStringList({"Tipo de produto deve ser informado", "Tipo de produto deve ser informado"}));
        QVERIFY(fixture.host->ui.questions.isEmpty());
        QVERIFY(fixture.host->ui.previews.isEmpty());
    }
};

QTEST_MAIN(TstReportRun)
#include "tst_reportrun.moc"
