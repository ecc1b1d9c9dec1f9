#include "screen/filterwidgets.h"
#include "host/services/dispatcher.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/maskedit.h"
#include "screenfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QtTest>

using namespace host;

// Every case starts from a screen opened at the central CE01 (list page) and activated,
// shown and focused, unless it says otherwise.
class TstFilters : public QObject
{
    Q_OBJECT

    static TfrmCustoPlanXReal *openShown(ScreenFixture &fixture)
    {
        TfrmCustoPlanXReal *form = fixture.open();
        fixture.activate();
        QApplication::setActiveWindow(form);
        return form;
    }
    static QStringList errorsOf(ScreenFixture &fixture) { return fixture.host->ui.errors; }
    // Runs a check the way a command does, and answers whether it passed.
    static bool passes(const std::function<void()> &check) { return Dispatch(check); }

private Q_SLOTS:
    void branchChangeResetsWhatDependsOnTheBranch()
    {
        ScreenFixture fixture("0001", true);
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().rbtListaGrup->setChecked(true);
        form->widgets().rbtListaServ->setChecked(true);
        form->widgets().rbtListaTipoCard->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) {
            v.serviceGroups.keys = {"001"};
            v.services.keys = {"00010"};
            v.effectiveServices = "_00010_";
            v.branches.keys = {"0005"};
            v.menuTypes.keys = {"01"};
        });

        form->widgets().medCdFilial->setText("0005");
        QVERIFY(form->widgets().edtNmFilial->text().isEmpty());
        QVERIFY(form->widgets().rbtTodosGrup->isChecked() && form->widgets().rbtTodosServ->isChecked());
        QVERIFY(!form->widgets().sbtGrupServ->isEnabled() && !form->widgets().sbtServico->isEnabled());
        const zub01100::FilterValue &value = form->filterValue();
        for (const QString &cleared : {value.serviceGroups.keyList(), value.services.keyList(), value.effectiveServices, value.branches.keyList()})
            QVERIFY(cleared.isEmpty());
        // Menu types depend on nothing.
        QVERIFY(form->widgets().rbtListaTipoCard->isChecked());
        QCOMPARE(form->filterValue().menuTypes.keyList(), QStringLiteral("_01_"));
        QVERIFY(form->widgets().sbtTipoCard->isEnabled());
    }

    void groupingChangeResetsOnlyThroughTheRadiosItChecks()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        // Branches and groups on "Todos", services marked.
        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) {
            v.services.keys = {"000100010"};
            v.effectiveServices = "_000100010_";
        });
        form->widgets().edtAgrupFili->setText("Zona Leste");
        form->widgets().edtCdAgrupFili->setText("10");
        QVERIFY(form->widgets().edtAgrupFili->text().isEmpty());
        QVERIFY(form->widgets().rbtTodosServ->isChecked());
        QVERIFY(form->filterValue().effectiveServices.isEmpty());
        // Only the branch radio's handling forgets the marked services, and it was not set off.
        QCOMPARE(form->filterValue().services.keyList(), QStringLiteral("_000100010_"));

        form->widgets().rbtListaFiliAgreg->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) {
            v.branches.keys = {"0001"};
            v.services.keys = {"000100010"};
        });
        form->widgets().edtCdAgrupFili->setText("20");
        QVERIFY(form->widgets().rbtTodaFiliAgreg->isChecked());
        QVERIFY(form->filterValue().branches.keys.isEmpty());
        QVERIFY(form->filterValue().services.keys.isEmpty());
        QVERIFY(!form->widgets().sbtFiliAgreg->isEnabled());
    }

    void branchListConfirmResetsServices()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().rbtListaFiliAgreg->setChecked(true);
        form->widgets().rbtListaGrup->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.serviceGroups.keys = {"001"}; });
        fixture.host->ui.markAnswers = {QStringList{"0005"}};
        form->widgets().sbtFiliAgreg->click();
        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0005_"));
        QVERIFY(form->widgets().rbtTodosGrup->isChecked());
        QVERIFY(form->filterValue().serviceGroups.keys.isEmpty());
        const MultiChoiceRequest request = fixture.host->ui.markRequests.last();
        QCOMPARE(request.table.title, QStringLiteral("Filial Agregada"));
        QCOMPARE(request.keys, QStringList({"0001", "0005"}));
        QCOMPARE(fixture.lastParams("GetFiliAgreg"), QJsonArray({"F", "", "CE01", ""}));

        // A cancel changes nothing.
        form->widgets().rbtListaGrup->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.serviceGroups.keys = {"001"}; });
        form->widgets().sbtFiliAgreg->click();
        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0005_"));
        QCOMPARE(form->filterValue().serviceGroups.keyList(), QStringLiteral("_001_"));
        QVERIFY(form->widgets().rbtListaGrup->isChecked());
    }

    void groupConfirmResetsServicesAndCancelDoesNot()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().rbtListaGrup->setChecked(true);
        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.services.keys = {"000100010"}; });
        fixture.host->ui.markAnswers = {std::nullopt, QStringList{"002"}};
        form->widgets().sbtGrupServ->click();
        QVERIFY(form->widgets().rbtListaServ->isChecked());
        QCOMPARE(form->filterValue().services.keyList(), QStringLiteral("_000100010_"));
        form->widgets().sbtGrupServ->click();
        QCOMPARE(form->filterValue().serviceGroups.keyList(), QStringLiteral("_002_"));
        QVERIFY(form->widgets().rbtTodosServ->isChecked());
        QVERIFY(!form->widgets().sbtServico->isEnabled());
        QVERIFY(form->filterValue().services.keys.isEmpty());
        QCOMPARE(fixture.host->ui.markRequests.last().table.title, QStringLiteral("Grupo de Serviços"));
    }

    void todosThenListaKeepsMarksExceptForMenuTypes()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().rbtListaFiliAgreg->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.branches.keys = {"0001"}; });
        form->widgets().rbtTodaFiliAgreg->setChecked(true);
        form->widgets().rbtListaFiliAgreg->setChecked(true);
        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0001_"));

        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.services.keys = {"000100010"}; });
        form->widgets().rbtTodosServ->setChecked(true);
        form->widgets().rbtListaServ->setChecked(true);
        QCOMPARE(form->filterValue().services.keyList(), QStringLiteral("_000100010_"));
        QVERIFY(passes([&] { form->serviceFilters().Servico(); form->serviceFilters().Vd_ListaServ(true); }));

        form->widgets().rbtListaTipoCard->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.menuTypes.keys = {"01"}; });
        form->widgets().rbtTodosTipoCard->setChecked(true);
        form->widgets().rbtListaTipoCard->setChecked(true);
        QVERIFY(form->filterValue().menuTypes.keys.isEmpty());
        QVERIFY(!passes([&] { form->serviceFilters().Vd_TipoCard(); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Tipo de cardápio deve ser informado."));
        QCOMPARE(QApplication::focusWidget(), form->widgets().rbtListaTipoCard);
    }

    void f9OnAListaRadioSearches_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("opens");
        const QList<QPair<QString, QString>> radios{{"rbtListaFiliAgreg", "Filial Agregada"},
                                                    {"rbtListaGrup", "Grupo de Serviços"},
                                                    {"rbtListaServ", "Serviço"},
                                                    {"rbtListaTipoCard", "Tipo de Cardápio"}};
        for (const auto &[radio, title] : radios) {
            QTest::newRow(qPrintable(radio + " F9")) << radio << title << int(Qt::NoModifier) << int(Qt::Key_F9) << true;
            QTest::newRow(qPrintable(radio + " Shift+F9")) << radio << title << int(Qt::ShiftModifier) << int(Qt::Key_F9) << true;
            QTest::newRow(qPrintable(radio + " Ctrl+F9")) << radio << title << int(Qt::ControlModifier) << int(Qt::Key_F9) << true;
            QTest::newRow(qPrintable(radio + " F8")) << radio << title << int(Qt::NoModifier) << int(Qt::Key_F8) << false;
        }
    }
    void f9OnAListaRadioSearches()
    {
        QFETCH(QString, radio);
        QFETCH(QString, title);
        QFETCH(int, modifiers);
        QFETCH(int, key);
        QFETCH(bool, opens);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        auto *button = form->findChild<QRadioButton *>(radio);
        button->setFocus();
        // The search button's state does not matter: the radio is not even checked.
        QTest::keyClick(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(fixture.host->ui.markRequests.size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(fixture.host->ui.markRequests.first().table.title, title);
    }

    // Regression: after a rule put a list back on "Todos", F9 on the unchecked "Lista" took the
    // user's marks and left "Todos" checked, so the report ignored them.
    void marksChosenByF9SelectTheList_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("todos");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("keyList");
        QTest::newRow("branches") << "rbtListaFiliAgreg" << "rbtTodaFiliAgreg" << "0005" << "filiais";
        QTest::newRow("service groups") << "rbtListaGrup" << "rbtTodosGrup" << "001" << "grupos";
        QTest::newRow("services") << "rbtListaServ" << "rbtTodosServ" << "000100010" << "servicos";
        QTest::newRow("menu types") << "rbtListaTipoCard" << "rbtTodosTipoCard" << "02" << "tipos";
    }
    void marksChosenByF9SelectTheList()
    {
        QFETCH(QString, radio);
        QFETCH(QString, todos);
        QFETCH(QString, mark);
        QFETCH(QString, keyList);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        auto *lista = form->findChild<QRadioButton *>(radio);
        QVERIFY(!lista->isChecked());
        fixture.host->ui.markAnswers = {QStringList{mark}};
        lista->setFocus();
        QTest::keyClick(lista, Qt::Key_F9);
        QVERIFY(lista->isChecked());
        const QMap<QString, QString> lists{{"filiais", form->filterValue().branches.keyList()}, {"grupos", form->filterValue().serviceGroups.keyList()},
                                           {"servicos", form->filterValue().services.keyList()}, {"tipos", form->filterValue().menuTypes.keyList()}};
        QCOMPARE(lists.value(keyList), "_" + mark + "_");
        // A cancelled list changes nothing.
        form->findChild<QRadioButton *>(todos)->setChecked(true);
        QTest::keyClick(lista, Qt::Key_F9);
        QVERIFY(!lista->isChecked());
    }

    // Regression: an invalid date showed "Data inválida" twice, once more when the message box
    // took the focus from the field.
    void invalidDateIsToldOnce_data()
    {
        QTest::addColumn<bool>("byPreview");
        QTest::newRow("leaving the field") << false;
        QTest::newRow("F5 on the field") << true;
    }
    void invalidDateIsToldOnce()
    {
        QFETCH(bool, byPreview);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        QWidget box;
        fixture.host->ui.whileErrorShown = [&](const QString &) {
            box.show();
            QApplication::setActiveWindow(&box);
            QApplication::setActiveWindow(form);
        };
        form->widgets().depDataInic->setFocus();
        form->widgets().depDataInic->lineEdit()->selectAll();
        QTest::keyClicks(form->widgets().depDataInic->lineEdit(), "31022025");
        QTest::keyClick(form->widgets().depDataInic->lineEdit(), byPreview ? Qt::Key_F5 : Qt::Key_Tab);
        QCOMPARE(errorsOf(fixture), QStringList{"Data inválida"});
        QVERIFY(form->widgets().depDataInic->lineEdit()->hasFocus());
    }

    void paddingRunsTheChangeRuleBeforeTheRequest()
    {
        ScreenFixture fixture("0001", true);
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().medCdFilial->setText("5"); // as if typed
        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.services.keys = {"00010"}; });
        QVERIFY(passes([&] { form->branchFilters().Vd_CdFilial(true); }));
        QCOMPARE(form->widgets().medCdFilial->text(), QStringLiteral("0005"));
        QVERIFY(form->widgets().rbtTodosServ->isChecked());
        QVERIFY(form->filterValue().services.keys.isEmpty());
        QCOMPARE(fixture.lastParams("GetFiliAgreg"), QJsonArray({"F", "", "CE01", "0005"}));
        QCOMPARE(form->widgets().edtNmFilial->text(), QStringLiteral("EM Lago"));

        form->widgets().medCdFilial->setText("0077");
        QVERIFY(!passes([&] { form->branchFilters().Vd_CdFilial(true); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Filial não cadastrada."));
        QVERIFY(form->widgets().edtNmFilial->text().isEmpty());

        form->widgets().medCdFilial->clear();
        const int requests = fixture.callsOf("GetFiliAgreg").size();
        QVERIFY(passes([&] { form->branchFilters().Vd_CdFilial(false); }));
        QVERIFY(!passes([&] { form->branchFilters().Vd_CdFilial(true); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Filial agregada deve ser informada."));
        QCOMPARE(fixture.callsOf("GetFiliAgreg").size(), requests);
    }

    void groupingIsPaddedCheckedAndNamed()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().edtCdAgrupFili->setFocus();
        form->widgets().edtCdAgrupFili->setText("10");
        form->widgets().rbtListaFiliAgreg->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.branches.keys = {"0001"}; });
        QVERIFY(passes([&] { form->branchFilters().Vd_AgrupFili(); }));
        QCOMPARE(form->widgets().edtCdAgrupFili->text(), QStringLiteral("0000000010"));
        QCOMPARE(form->widgets().edtAgrupFili->text(), QStringLiteral("Zona Leste"));
        QVERIFY(form->widgets().rbtTodaFiliAgreg->isChecked()); // the padding changed the code
        QCOMPARE(fixture.lastParams("GetAgrupFili"), QJsonArray({"0000000010"}));

        // The kind letter follows the grouping field.
        QVERIFY(passes([&] { form->branchFilters().sbtFiliAgregClick(form->widgets().sbtFiliAgreg); }));
        QCOMPARE(fixture.lastParams("GetFiliAgreg").at(0), QJsonValue("A"));
        QCOMPARE(fixture.lastParams("GetFiliAgreg").at(1), QJsonValue("0000000010"));

        form->widgets().edtCdAgrupFili->setText("GRUPO1234567");
        QVERIFY(!passes([&] { form->branchFilters().Vd_AgrupFili(); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Agrupamento de filiais não cadastrado."));
        QCOMPARE(form->widgets().edtCdAgrupFili->text(), QStringLiteral("GRUPO1234567")); // never cut
        QCOMPARE(QApplication::focusWidget(), form->widgets().edtCdAgrupFili);
        QVERIFY(form->widgets().edtAgrupFili->text().isEmpty());

        form->widgets().edtCdAgrupFili->setText("   ");
        const int requests = fixture.callsOf("GetAgrupFili").size();
        QVERIFY(passes([&] { form->branchFilters().Vd_AgrupFili(); }));
        QCOMPARE(fixture.callsOf("GetAgrupFili").size(), requests);
        QVERIFY(passes([&] { form->branchFilters().sbtFiliAgregClick(form->widgets().sbtFiliAgreg); }));
        QCOMPARE(fixture.lastParams("GetFiliAgreg").at(0), QJsonValue("F"));
    }

    void lookupsWriteTheChoiceAndItsName()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        fixture.host->ui.rowAnswers = {QStringLiteral("0000000010")};
        form->widgets().btnAgrupFili->click();
        QCOMPARE(fixture.lastParams("GetAgrupFili"), QJsonArray({"T"}));
        QCOMPARE(form->widgets().edtCdAgrupFili->text(), QStringLiteral("0000000010"));
        QCOMPARE(form->widgets().edtAgrupFili->text(), QStringLiteral("Zona Leste"));
        QCOMPARE(fixture.host->ui.rowRequests.last().table.title, QStringLiteral("Agrupamento de Filiais"));

        fixture.host->ui.rowAnswers = {QStringLiteral("0005")};
        form->widgets().btnFilial->click();
        QCOMPARE(fixture.lastParams("GetFiliAgreg"), QJsonArray({"A", "0000000010", "CE01", ""}));
        QCOMPARE(form->widgets().medCdFilial->text(), QStringLiteral("0005"));
        QCOMPARE(form->widgets().edtNmFilial->text(), QStringLiteral("EM Lago"));
        // The single choice shows code and name only.
        QCOMPARE(fixture.host->ui.rowRequests.last().table.headers, QStringList({"Código", "Nome"}));
    }

    void serviceSearchKeyAndBranchColumn_data()
    {
        QTest::addColumn<bool>("branchMode");
        QTest::addColumn<int>("reportIndex");
        QTest::addColumn<bool>("branchColumn");
        QTest::addColumn<QString>("firstKey");
        QTest::newRow("branch mode, first report") << true << 0 << false << "00010";
        QTest::newRow("branch mode, second report") << true << 1 << false << "000100010";
        QTest::newRow("list page") << false << 0 << true << "000100010";
        QTest::newRow("list page, second report") << false << 1 << true << "000100010";
    }
    void serviceSearchKeyAndBranchColumn()
    {
        QFETCH(bool, branchMode);
        QFETCH(int, reportIndex);
        QFETCH(bool, branchColumn);
        QFETCH(QString, firstKey);
        ScreenFixture fixture(branchMode ? "0001" : "CE01", branchMode);
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->cbbReportNames->setCurrentIndex(reportIndex);
        form->widgets().rbtListaServ->setChecked(true);
        fixture.host->ui.markAnswers = {QStringList{firstKey}};
        form->widgets().sbtServico->click();
        const MultiChoiceRequest request = fixture.host->ui.markRequests.last();
        QCOMPARE(request.table.title, QStringLiteral("Serviço"));
        QCOMPARE(request.table.headers.contains("Filial"), branchColumn);
        QCOMPARE(request.keys.first(), firstKey);
        QCOMPARE(form->filterValue().services.keyList(), "_" + firstKey + "_");
        QCOMPARE(fixture.lastParams("GetServico"),
                 QJsonArray({branchMode ? "0001" : "T", "T", "T", "CE01"}));
    }

    void serviceArgumentsFollowTheChoices()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().edtCdAgrupFili->setText("0000000010");
        form->widgets().rbtListaFiliAgreg->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.branches.keys = {"0001", "0005"}; });
        form->widgets().rbtListaGrup->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.serviceGroups.keys = {"001"}; });
        form->widgets().rbtListaServ->setChecked(true);
        fixture.host->ui.markAnswers = {std::nullopt};
        form->widgets().sbtServico->click();
        QCOMPARE(fixture.lastParams("GetServico"), QJsonArray({"_0001_0005_", "_001_", "0000000010", "CE01"}));

        // Nothing marked in the branch list: the check stops the search before the server is asked.
        driveValue(form, [](zub01100::FilterValue &v) { v.branches.keys.clear(); });
        const int requests = fixture.callsOf("GetServico").size();
        form->widgets().sbtServico->click();
        QCOMPARE(fixture.callsOf("GetServico").size(), requests);
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Filial agregada deve ser informada."));
    }

    void effectiveServiceListInBothModes()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->serviceFilters().Servico();
        QCOMPARE(form->filterValue().effectiveServices, QStringLiteral("000100010_000100020_000500010_"));

        form->widgets().rbtListaServ->setChecked(true);
        driveValue(form, [&](zub01100::FilterValue &v) { v.services.keys = {"000100020"}; });
        const int requests = fixture.callsOf("GetServico").size();
        form->serviceFilters().Servico();
        QCOMPARE(form->filterValue().effectiveServices, QStringLiteral("_000100020_"));
        QCOMPARE(fixture.callsOf("GetServico").size(), requests);

        fixture.server.on("GetServico", RecordingServer::envelope(ScreenFixture::packet(
                                            {"IDMARCADO", "CDFILIAL", "CDSERVFILI", "NMSERVICO", "FILISERV"}, {})));
        form->widgets().rbtTodosServ->setChecked(true);
        form->serviceFilters().Servico();
        QVERIFY(form->filterValue().effectiveServices.isEmpty());
        QVERIFY(errorsOf(fixture).isEmpty());
    }

    void effectiveServiceListPadsTheSingleBranch()
    {
        ScreenFixture fixture("0001", true);
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().medCdFilial->setText("1");
        form->serviceFilters().Servico();
        QCOMPARE(form->widgets().medCdFilial->text(), QStringLiteral("0001"));
        QCOMPARE(fixture.lastParams("GetServico"), QJsonArray({"0001", "T", "T", "CE01"}));
    }

    void menuTypesOfTheCentral()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        QCOMPARE(form->serviceFilters().montaListaTipoCard(), QStringLiteral("01_02_05_"));
        form->widgets().rbtListaTipoCard->setChecked(true);
        QVERIFY(form->widgets().sbtTipoCard->isEnabled());
        fixture.host->ui.markAnswers = {QStringList{"05", "01"}};
        form->widgets().sbtTipoCard->click();
        QCOMPARE(fixture.host->ui.markRequests.last().keys, QStringList({"01", "02", "05"}));
        QCOMPARE(form->filterValue().menuTypes.keyList(), QStringLiteral("_01_05_"));

        form->widgets().medCentral->setText("CE03"); // a central with no active menu type
        QCOMPARE(form->serviceFilters().montaListaTipoCard(), QStringLiteral("T"));
    }

    void periodChecks_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("end before start") << QDate(2026, 3, 10) << QDate(2026, 3, 9)
                                          << "Data inicial deve ser menor ou igual a data final." << "depDataInic";
        QTest::newRow("same day") << QDate(2026, 3, 10) << QDate(2026, 3, 10) << "" << "";
        // Dates, not texts: "01/04" sorts before "31/03" as text.
        QTest::newRow("across months") << QDate(2026, 3, 31) << QDate(2026, 4, 1) << "" << "";
        QTest::newRow("both empty") << QDate() << QDate() << "Data inicial deve ser informada" << "depDataInic";
        QTest::newRow("end empty") << QDate(2026, 3, 10) << QDate() << "Data final deve ser informada" << "depDataFina";
    }
    void periodChecks()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().depDataInic->SetDate(start);
        form->widgets().depDataFina->SetDate(end);
        form->widgets().cbbTipoCusto->setFocus();
        QCOMPARE(passes([&] { form->periodFilters().Vd_Data(true); }), message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(errorsOf(fixture), QStringList{message});
            QVERIFY(QApplication::focusWidget() && form->findChild<TDateEditPlus *>(focus)->isAncestorOf(QApplication::focusWidget()));
        }
    }

    void weekdayShowsThreeCharacters()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().depDataInic->SetDate(QDate(2026, 3, 14)); // a Saturday
        form->periodFilters().depDataInicDateChange(form->widgets().depDataInic);
        QCOMPARE(form->widgets().edtDataInic->text(), QStringLiteral("Sáb"));
    }

    void productAndCostTypeChecks()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().chbEstocaveis->setChecked(false);
        QVERIFY(passes([&] { form->periodFilters().Vd_TipoProd(true); }));
        form->widgets().chbNaoEstoc->setChecked(false);
        QVERIFY(!passes([&] { form->periodFilters().Vd_TipoProd(true); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Tipo de produto deve ser informado"));
        QCOMPARE(QApplication::focusWidget(), form->widgets().chbEstocaveis);

        QVERIFY(passes([&] { form->periodFilters().Vd_TipoCusto(); }));
        form->widgets().cbbTipoCusto->clear();
        QVERIFY(!passes([&] { form->periodFilters().Vd_TipoCusto(); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Não há tipo de custo parametrizado."));
        QCOMPARE(QApplication::focusWidget(), form->widgets().cbbTipoCusto);
    }

    void listChecksRefuseListaWithoutMarks()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().rbtListaGrup->setChecked(true);
        QVERIFY(!passes([&] { form->serviceFilters().Vd_ListaGrup(true); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Grupo de serviços deve ser informado."));
        QCOMPARE(QApplication::focusWidget(), form->widgets().rbtListaGrup);

        form->widgets().rbtListaServ->setChecked(true);
        QVERIFY(!passes([&] { form->serviceFilters().Servico(); form->serviceFilters().Vd_ListaServ(true); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Serviço deve ser informado."));
        QCOMPARE(QApplication::focusWidget(), form->widgets().rbtListaServ);

        form->widgets().rbtListaFiliAgreg->setChecked(true);
        QVERIFY(!passes([&] { form->branchFilters().Vd_ListaFiliAgreg(); }));
        QCOMPARE(errorsOf(fixture).last(), QStringLiteral("Filial agregada deve ser informada."));
        QCOMPARE(QApplication::focusWidget(), form->widgets().rbtListaFiliAgreg);
        QVERIFY(passes([&] { form->serviceFilters().Vd_ListaGrup(false); form->serviceFilters().Vd_ListaServ(false); }));
    }

    void leavingTheGroupingFieldChecksItOnce()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        form->widgets().edtCdAgrupFili->setFocus();
        QTest::keyClicks(form->widgets().edtCdAgrupFili, "99");
        QTest::keyClick(form->widgets().edtCdAgrupFili, Qt::Key_Tab);
        QCOMPARE(errorsOf(fixture), QStringList{"Agrupamento de filiais não cadastrado."});
        QCOMPARE(QApplication::focusWidget(), form->widgets().edtCdAgrupFili);
        QCOMPARE(form->widgets().edtCdAgrupFili->text(), QStringLiteral("0000000099"));
    }
    void filterStateRoundTrip()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        const QJsonObject state{
            {"relatorio", 1}, {"agrupamento", "10"}, {"filiais", QJsonArray{"0001", "0005"}},
            {"tiposCardapio", QJsonArray{"02"}}, {"tipoCusto", "Último Custo"}, {"dataInicial", "01/03/2026"},
            {"dataFinal", "31/03/2026"}, {"gruposServico", "todos"}, {"servicos", QJsonArray{"000100010"}},
            {"estocaveis", true}, {"naoEstocaveis", false}, {"diferenca", "total"}, {"nivel", 1}};
        QVERIFY(Dispatch([&] { form->applyFilterState(state); }));
        QCOMPARE(form->widgets().edtAgrupFili->text(), QStringLiteral("Zona Leste"));
        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0001_0005_"));
        QCOMPARE(form->filterValue().services.keyList(), QStringLiteral("_000100010_"));
        QCOMPARE(form->widgets().edtDataFina->text(), QStringLiteral("Ter"));
        QJsonObject expected = state;
        expected["agrupamento"] = "0000000010";
        QCOMPARE(form->filterState(), expected);
    }

    void filterStateRefusesWhatItCannotTake_data()
    {
        QTest::addColumn<QJsonObject>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << QJsonObject{{"filais", "todas"}} << "Filtro desconhecido: \"filais\".";
        QTest::newRow("bad date") << QJsonObject{{"dataInicial", "31/02/2026"}} << "Filtro \"dataInicial\": data inválida, use dd/mm/aaaa.";
        QTest::newRow("unknown cost type") << QJsonObject{{"tipoCusto", "Custo Zero"}} << "Filtro \"tipoCusto\": tipo de custo não encontrado.";
        QTest::newRow("level out of range") << QJsonObject{{"nivel", 2}} << "Filtro \"nivel\": nível fora do intervalo de 0 a 1.";
        QTest::newRow("empty list") << QJsonObject{{"servicos", QJsonArray{}}} << "Filtro \"servicos\": use \"todos\" ou uma lista de códigos.";
        QTest::newRow("key with separator") << QJsonObject{{"filiais", QJsonArray{"0001_0002"}}} << "Filtro \"filiais\": código inválido na lista.";
        QTest::newRow("unknown grouping") << QJsonObject{{"agrupamento", "77"}} << "Agrupamento de filiais não cadastrado.";
        // Regression: codes not on file were taken and gave an empty report.
        QTest::newRow("unknown branch") << QJsonObject{{"filiais", QJsonArray{"0001", "0099"}}}
            << "Filtro \"filiais\": o código 0099 não está cadastrado (filiais agregadas da central CE01).";
        QTest::newRow("inactive menu type") << QJsonObject{{"tiposCardapio", QJsonArray{"03"}}}
            << "Filtro \"tiposCardapio\": o código 03 não está cadastrado (tipos de cardápio ativos da central CE01).";
        QTest::newRow("unknown service group") << QJsonObject{{"gruposServico", QJsonArray{"009"}}}
            << "Filtro \"gruposServico\": o código 009 não está cadastrado (grupos de serviço).";
        QTest::newRow("unknown service") << QJsonObject{{"servicos", QJsonArray{"00099"}}}
            << "Filtro \"servicos\": o código 00099 não está cadastrado (serviços das filiais e grupos escolhidos).";
    }
    void filterStateRefusesWhatItCannotTake()
    {
        QFETCH(QJsonObject, state);
        QFETCH(QString, message);
        ScreenFixture fixture;
        TfrmCustoPlanXReal *form = openShown(fixture);
        QVERIFY(!Dispatch([&] { form->applyFilterState(state); }));
        QCOMPARE(errorsOf(fixture).last(), message);
    }

};

QTEST_MAIN(TstFilters)
#include "tst_filters.moc"
