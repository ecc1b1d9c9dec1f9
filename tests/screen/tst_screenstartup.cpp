#include "screen/filterwidgets.h"
#include "host/data/hostfunctions.h"
#include "host/form/dadosgerrel.h"
#include "host/services/formcreation.h"
#include "host/services/helptopics.h"
#include "host/services/session.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/maskedit.h"
#include "host/widgets/radiogroup.h"
#include "screenfixture.h"
#include "wire/rpcmessage.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSpinBox>
#include <QThread>
#include <QtTest>

using namespace host;

// The client's main window: forms enter its MDI area before their FormCreate runs.
struct MdiMainWindow {
    explicit MdiMainWindow(ScreenFixture &fixture) : fixture(fixture)
    {
        window.setCentralWidget(area);
        window.resize(1200, 800);
        window.show();
        fixture.host->services->setMainWindow(&window);
    }
    ~MdiMainWindow()
    {
        if (frmCustoPlanXReal)
            frmCustoPlanXReal->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fixture.host->services->setMainWindow(nullptr);
    }
    // What the window system does around a modal message box: the main window loses the
    // activation, and gets it back (its current sub-window with it) once the box is closed.
    void reactivateAroundErrors(QMdiSubWindow *subWindow, int times = 5)
    {
        fixture.host->ui.whileErrorShown = [this, subWindow, times](const QString &) {
            if (++reactivations > times)
                return;
            QEvent deactivate(QEvent::WindowDeactivate);
            if (frmCustoPlanXReal)
                QCoreApplication::sendEvent(frmCustoPlanXReal, &deactivate);
            QTimer::singleShot(0, area, [this, subWindow] {
                Q_EMIT area->subWindowActivated(subWindow ? subWindow : area->subWindowList().value(0));
            });
        };
    }
    ScreenFixture &fixture;
    QMainWindow window;
    QMdiArea *area = new QMdiArea;
    int reactivations = 0;
};

class TstScreenStartup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlsStartInTheirDefaultState()
    {
        ScreenFixture fixture;
        // Constructed only: the start-up has not run.
        TfrmCustoPlanXReal form;
        for (QRadioButton *todos : {form.widgets().rbtTodaFiliAgreg, form.widgets().rbtTodosTipoCard, form.widgets().rbtTodosGrup, form.widgets().rbtTodosServ})
            QVERIFY2(todos->isChecked(), qPrintable(todos->objectName()));
        for (QAbstractButton *search : {form.widgets().sbtFiliAgreg, form.widgets().sbtTipoCard, form.widgets().sbtGrupServ, form.widgets().sbtServico}) {
            QVERIFY2(!search->isEnabled(), qPrintable(search->objectName()));
            QCOMPARE(search->toolTip(), QStringLiteral("Pesquisar"));
        }
        QVERIFY(form.widgets().chbEstocaveis->isChecked());
        QVERIFY(form.widgets().chbNaoEstoc->isChecked());
        QCOMPARE(form.widgets().rdgDiferenca->itemIndex(), 0);
        QCOMPARE(form.widgets().rdgDiferenca->items(), QStringList({"Per Capita", "Total"}));
        QCOMPARE(form.widgets().sedNiveOrde->value(), 0);
        QCOMPARE(form.widgets().cbbTipoCusto->count(), 0);
        QCOMPARE(form.lblCodTela->text(), QStringLiteral("ZUB01100"));
        QCOMPARE(form.lblCodRel->text(), QStringLiteral("ZUB011"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Custo Planejado X Realizado (Planejamento de Alimentação Escolar)"));
        QCOMPARE(form.msgPadrao.Msg("FILIAGREG_N_CAD"),
                 QStringLiteral("Não há filial agregada cadastrada para essa central de alimentação escolar ."));
        QVERIFY(!form.qryFilial->Active() && !form.qryGrupServ->Active() && !form.qryTipoCard->Active());
        QVERIFY(!form.cdsFiliAgreg->FieldByName("NMFILIAL")->label().isEmpty());
        QVERIFY(!form.cdsServico->FieldByName("FILISERV")->Visible());
    }

    void codeFieldsTakeFourLettersOrDigitsInUpperCase()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal form;
        form.show();
        form.widgets().medCdFilial->setFocus();
        QTest::keyClicks(form.widgets().medCdFilial, "a-b1c9");
        QCOMPARE(form.widgets().medCdFilial->text(), QStringLiteral("AB1C"));
        QVERIFY(form.widgets().sedNiveOrde->findChild<QLineEdit *>()->isReadOnly());
    }

    void secondCallBringsTheSameInstanceBack()
    {
        ScreenFixture fixture;
        TfrmCustoPlanXReal *first = fixture.open();
        QVERIFY(first && boIdCriado);
        first->SetWindowState(wsMaximized);
        IniProc();
        QCOMPARE(frmCustoPlanXReal, first);
        QCOMPARE(first->WindowState(), wsNormal);
        first->SetWindowState(wsMinimized);
        IniProc();
        QCOMPARE(first->WindowState(), wsNormal);
        QVERIFY(first->isVisible());
        // The start-up ran once: one connect of the screen's connection.
        QCOMPARE(fixture.callsOf("rpc.ping").size(), 1);
        QCOMPARE(ScreenCursor(), crDefault);
    }

    void closingFreesTheInstanceAndANewOneStartsClean()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *first = fixture.open();
        QPointer<TNetConnection> connection = first->netCustoPlanXReal;
        QVERIFY(connection->Connected());
        driveValue(first, [&](zub01100::FilterValue &v) {
            v.effectiveServices = "x_";
            v.serviceGroups.keys = {"001"};
            v.services.keys = {"00010"};
            v.branches.keys = {"0005"};
        });

        first->Close();
        QVERIFY(!connection->Connected());
        QVERIFY(!boIdCriado);
        QVERIFY(!frmCustoPlanXReal);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!connection); // freed with the form

        TfrmCustoPlanXReal *second = fixture.open();
        QVERIFY(second && boIdCriado);
        QVERIFY(second->netCustoPlanXReal->Connected());
        QCOMPARE(fixture.callsOf("rpc.ping").size(), 2);
        const zub01100::FilterValue &value = second->filterValue();
        for (const QString &s : {value.effectiveServices, value.serviceGroups.keyList(), value.services.keyList(), second->reportPreparation().planAnswer()})
            QVERIFY(s.isEmpty());
        QVERIFY(second->filterValue().branches.keys.isEmpty());
        QCOMPARE(second->vNrListas.toList().size(), 3);
    }

    void failedStartUpClosesWithOneMessage_data()
    {
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QString>("message");
        QTest::newRow("branch without a central") << "0003"
            << "Filial não está ligada a uma central de alimentação escolar. O cadastro deve ser realizado na matriz.";
        QTest::newRow("branch not on file") << "9999"
            << "Filial não está ligada a uma central de alimentação escolar. O cadastro deve ser realizado na matriz.";
        QTest::newRow("central with a rescinded contract") << "CE09" << "Filial CE09 com contrato rescindido.";
        QTest::newRow("branch of that central") << "0009" << "Filial CE09 com contrato rescindido.";
    }
    void failedStartUpClosesWithOneMessage()
    {
        QFETCH(QString, branch);
        QFETCH(QString, message);
        ScreenFixture fixture(branch);
        fixture.host->exec({"INSERT INTO FILIAL VALUES ('CE09','Central Sul','S','S',NULL,'M',NULL)",
                            "INSERT INTO FILIAL VALUES ('0009','EM Sul','N','N','CE09','F',NULL)"});
        QVERIFY(!fixture.open());
        QCOMPARE(fixture.host->ui.errors, QStringList{message});
        QVERIFY(!boIdCriado);
        QVERIFY(!frmCustoPlanXReal);
        QCOMPARE(ScreenCursor(), crDefault);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget *window : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TfrmCustoPlanXReal *>(window));
        // The next call tries again.
        QVERIFY(!fixture.open());
        QCOMPARE(fixture.host->ui.errors.size(), 2);
    }

    // Regression: the hidden sub-window of a screen whose start-up failed was activated by the
    // message box's return, and its first activation called the cost module.
    void failedStartUpInTheMainWindowRunsNoActivation()
    {
        ScreenFixture fixture("0003");
        MdiMainWindow main(fixture);
        main.reactivateAroundErrors(nullptr);
        QVERIFY(!fixture.open());
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(fixture.host->ui.errors.size(), 1);
        QVERIFY(fixture.callsOf("ListaTipoCusto").isEmpty());
    }

    // Regression: a failing first activation ran again each time its error box closed, box after box.
    void failedFirstActivationIsNotRetriedByItsOwnBox()
    {
        ScreenFixture fixture("0001");
        RecordingServer::Reply failure;
        failure.errorCode = -32000;
        failure.errorMessage = QStringLiteral("Falha no banco de dados.");
        fixture.server.on("ListaTipoCusto", failure);
        MdiMainWindow main(fixture);
        main.reactivateAroundErrors(nullptr);
        TfrmCustoPlanXReal *form = fixture.open();
        QVERIFY(form);
        if (fixture.host->ui.errors.isEmpty())
            Q_EMIT main.area->subWindowActivated(form->subWindow());
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(fixture.host->ui.errors.size(), 1);
        QVERIFY(form->boPrimAtiv);
        // The user coming back to the screen tries again.
        main.reactivations = 100;
        Q_EMIT main.area->subWindowActivated(nullptr);
        Q_EMIT main.area->subWindowActivated(form->subWindow());
        QCOMPARE(fixture.callsOf("ListaTipoCusto").size(), 2);
    }

    void windowOpensFixedAtItsPlaceWithTheFirstControlFocused()
    {
        ScreenFixture fixture("0001");
        MdiMainWindow main(fixture);
        QApplication::setActiveWindow(&main.window);
        TfrmCustoPlanXReal *form = fixture.open();
        QMdiSubWindow *window = form->subWindow();
        QVERIFY(window);
        QCOMPARE(window->pos(), QPoint(448, 212));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->width() >= 523 && window->height() >= 399);
        QCOMPARE(form->focusWidget(), form->cbbReportNames);
    }

    // Regression: when the main window was activated while the screen still waited for the
    // server at start (a window manager activates a newly mapped window; a slow server), the
    // first activation never ran: no cost types, no default dates. Also run on a real X display,
    // with and without a window manager.
    void firstActivationSurvivesTheWindowSystemDuringStartUp_data()
    {
        QTest::addColumn<bool>("activateWhileWaiting");
        QTest::newRow("main window activated while the server is slow") << true;
        QTest::newRow("main window left to the window system") << false;
    }
    void firstActivationSurvivesTheWindowSystemDuringStartUp()
    {
        QFETCH(bool, activateWhileWaiting);
        ScreenFixture fixture("0001");
        fixture.server.on(QString::fromLatin1(wire::kPingMethod), [](const RecordingServer::Call &call) {
            QThread::msleep(800);
            return RecordingServer::envelope(call.object);
        });
        MdiMainWindow main(fixture);
        if (activateWhileWaiting) {
            QTimer::singleShot(200, &main.window, [&main] {
                main.window.activateWindow();
                QApplication::setActiveWindow(&main.window);
            });
        }
        TfrmCustoPlanXReal *form = fixture.open();
        QVERIFY(form);
        if (!activateWhileWaiting)
            QApplication::setActiveWindow(&main.window); // what a desktop does with a new window, late or at once
        QTRY_VERIFY_WITH_TIMEOUT(!form->boPrimAtiv, 5000);
        QCOMPARE(form->widgets().cbbTipoCusto->currentText(), QStringLiteral("Custo Médio"));
        QCOMPARE(form->widgets().depDataInic->GetDate(), QDate(2026, 3, 16));
        QCOMPARE(form->widgets().depDataFina->GetDate(), QDate(2026, 3, 16));
        QCOMPARE(fixture.callsOf("ListaTipoCusto").size(), 1);
    }

    void centralAndPageFollowTheLoggedInBranch_data()
    {
        QTest::addColumn<QString>("branch");
        QTest::addColumn<bool>("branchMode");
        QTest::addColumn<QString>("central");
        QTest::addColumn<QString>("centralName");
        QTest::addColumn<QString>("singleBranch");
        QTest::addColumn<QString>("singleBranchName");
        QTest::addColumn<int>("page");
        QTest::newRow("central, list mode") << "CE01" << false << "CE01" << "Central Norte" << "" << "" << 1;
        QTest::newRow("central, branch mode") << "CE01" << true << "CE01" << "Central Norte" << "CE01" << "Central Norte" << 0;
        QTest::newRow("branch, list mode") << "0001" << false << "CE01" << "Central Norte" << "0001" << "EM Jardim" << 1;
        QTest::newRow("branch, branch mode") << "0001" << true << "CE01" << "Central Norte" << "0001" << "EM Jardim" << 0;
    }
    void centralAndPageFollowTheLoggedInBranch()
    {
        QFETCH(QString, branch);
        QFETCH(bool, branchMode);
        QFETCH(QString, central);
        QFETCH(QString, centralName);
        QFETCH(QString, singleBranch);
        QFETCH(QString, singleBranchName);
        QFETCH(int, page);
        ScreenFixture fixture(branch, branchMode);
        TfrmCustoPlanXReal *form = fixture.open();
        QVERIFY(form);
        QCOMPARE(form->widgets().medCentral->text(), central);
        QCOMPARE(form->widgets().edtNmCentral->text(), centralName);
        QCOMPARE(form->widgets().medCdFilial->text(), singleBranch);
        QCOMPARE(form->widgets().edtNmFilial->text(), singleBranchName);
        QCOMPARE(form->widgets().nbkFilial->currentIndex(), page);
        QVERIFY(form->widgets().rbtTodaFiliAgreg->isChecked());
        const QList<QWidget *> fixedInBranchMode{form->widgets().lblAgrupFili, form->widgets().edtCdAgrupFili, form->widgets().btnAgrupFili,
                                                 form->widgets().lblFiliUnic, form->widgets().medCdFilial, form->widgets().btnFilial};
        for (QWidget *control : fixedInBranchMode)
            QCOMPARE(control->isEnabled(), !branchMode);
        const QColor buttonFace = form->palette().color(QPalette::Button);
        QCOMPARE(form->widgets().medCdFilial->palette().color(QPalette::Base) == buttonFace, branchMode);
        QCOMPARE(form->widgets().edtNmCentral->palette().color(QPalette::Base), buttonFace);
        QVERIFY(fixture.host->ui.errors.isEmpty());
    }

    void levelBoundFollowsTheProductCode_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<int>("limit");
        QTest::newRow("0 levels") << "" << 0;
        QTest::newRow("1 level") << "9999" << 1;
        QTest::newRow("2 levels") << "99.999" << 0;
        QTest::newRow("3 levels") << "99.99.999" << 1;
        QTest::newRow("6 levels") << "9.9.9.9.9.99" << 4;
    }
    void levelBoundFollowsTheProductCode()
    {
        QFETCH(QString, picture);
        QFETCH(int, limit);
        ScreenFixture fixture("0001");
        fixture.host->session = std::make_unique<HostSession>(
            [&] { ClientConfig c = fixture.host->config; c.productPicture = picture; return c; }(), fixture.host->database.get());
        HostServices services(fixture.host->ui, *fixture.host->session, *fixture.host->database);
        TfrmCustoPlanXReal *form = fixture.open();
        fixture.activate();
        QCOMPARE(form->widgets().sedNiveOrde->minimum(), 0);
        QCOMPARE(form->widgets().sedNiveOrde->maximum(), limit);
        QCOMPARE(form->widgets().sedNiveOrde->value(), 0);
        form->Close();
    }

    void firstActivationRunsOnceFromWhicheverTriggerComesFirst_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("activation") << "activate";
        QTest::newRow("entering the report list") << "enter";
        QTest::newRow("dropping the report list down") << "dropdown";
    }
    void firstActivationRunsOnceFromWhicheverTriggerComesFirst()
    {
        QFETCH(QString, trigger);
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = fixture.open();
        QVERIFY(form->boPrimAtiv);
        if (trigger == "activate")
            fixture.activate();
        else if (trigger == "enter")
            form->cbbReportNamesEnter(form->cbbReportNames);
        else
            form->cbbReportNamesDropDown(form->cbbReportNames);
        QVERIFY(!form->boPrimAtiv);
        QCOMPARE(fixture.callsOf("ListaTipoCusto").size(), 1);
        // The cost module is asked through its own connection, connected only for the call.
        QCOMPARE(fixture.callsOf("ListaTipoCusto").first().object, QStringLiteral("Cus00000.rdmCustProd"));
        QVERIFY(!form->netCustProd->Connected());
        QCOMPARE(form->widgets().cbbTipoCusto->currentText(), QStringLiteral("Custo Médio"));
        QCOMPARE(form->widgets().depDataInic->GetDate(), QDate(2026, 3, 16));
        QCOMPARE(form->widgets().depDataFina->GetDate(), QDate(2026, 3, 16));
        QCOMPARE(form->widgets().edtDataInic->text(), QStringLiteral("Seg"));
        QCOMPARE(form->widgets().edtDataFina->text(), QStringLiteral("Seg"));

        // What the user chooses afterwards survives later activations.
        form->widgets().cbbTipoCusto->setCurrentIndex(1);
        form->widgets().depDataInic->SetDate(QDate(2026, 3, 1));
        form->widgets().sedNiveOrde->setValue(1);
        fixture.activate();
        form->cbbReportNamesEnter(form->cbbReportNames);
        QCOMPARE(fixture.callsOf("ListaTipoCusto").size(), 1);
        QCOMPARE(form->widgets().cbbTipoCusto->currentIndex(), 1);
        QCOMPARE(form->widgets().depDataInic->GetDate(), QDate(2026, 3, 1));
        QCOMPARE(form->widgets().sedNiveOrde->value(), 1);
    }

    // Regression: a central logged in on the list page got today's date, not its processing date.
    void centralWithoutBranchDefaultsToItsProcessingDate()
    {
        ScreenFixture fixture("CE01");
        TfrmCustoPlanXReal *form = fixture.open();
        fixture.activate();
        QCOMPARE(form->widgets().depDataInic->GetDate(), QDate(2026, 3, 20));
        QCOMPARE(form->widgets().edtDataInic->text(), QStringLiteral("Sex"));
    }

    void connectionsTakeTheirAddressBeforeEveryConnect()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = fixture.open();
        QCOMPARE(form->netCustoPlanXReal->Host, QStringLiteral("127.0.0.1"));
        QCOMPARE(form->netCustoPlanXReal->Port, fixture.server.port());
        QCOMPARE(form->netCustoPlanXReal->ServerName, QStringLiteral("Zub01100.rdmCustoPlanXReal"));
        QCOMPARE(form->netCustProd->ServerName, QStringLiteral("Cus00000.rdmCustProd"));
        const QStringList order = fixture.server.methodsCalled();
        QVERIFY(order.isEmpty()); // start-up asks the server nothing but the connect
    }
    void tabFollowsTheRowsOfTheFilters()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = fixture.open();
        fixture.activate();
        QApplication::setActiveWindow(form);
        form->widgets().edtCdAgrupFili->setFocus();
        QStringList visited;
        for (int i = 0; i < 40 && visited.size() < 40; ++i) {
            QWidget *focus = QApplication::focusWidget();
            QString name = focus ? focus->objectName() : QString();
            for (QWidget *w = focus; w && name.isEmpty(); w = w->parentWidget())
                name = w->objectName();
            if (visited.isEmpty() || visited.last() != name)
                visited << name;
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        const QStringList rows{"edtCdAgrupFili", "rbtTodaFiliAgreg", "rbtTodosTipoCard", "cbbTipoCusto", "depDataInic",
                               "depDataFina", "rbtTodosGrup", "rbtTodosServ", "chbEstocaveis", "chbNaoEstoc",
                               "rdgDiferenca_0", "sedNiveOrde"};
        int last = -1;
        for (const QString &row : rows) {
            const int at = int(visited.indexOf(row));
            QVERIFY2(at > last, qPrintable(row + " out of order in " + visited.join(' ')));
            last = at;
        }
    }
    void f1ShowsTheScreensHelpPage()
    {
        ScreenFixture fixture("0001");
        TfrmCustoPlanXReal *form = fixture.open();
        QApplication::setActiveWindow(form);
        form->widgets().cbbTipoCusto->setFocus();
        QTest::keyClick(form->widgets().cbbTipoCusto, Qt::Key_F1);
        QCOMPARE(fixture.host->ui.helpRequests, QStringList{"Cushelp.hlp|10701100"});
        // A page of its own, not the index every unknown topic falls back to.
        const host::HelpTopic topic{"Cushelp.hlp", 10701100};
        QVERIFY(host::HelpPageFor(topic) != host::HelpIndexPage());
        QVERIFY2(QFileInfo(host::HelpPagePath(topic)).isFile(), qPrintable(host::HelpPagePath(topic)));
    }
};

QTEST_MAIN(TstScreenStartup)
#include "tst_screenstartup.moc"
