// The base report form, its report dialog and outputs, form creation and the MDI child.
#include "support/testhost.h"

#include "host/data/errors.h"
#include "host/form/dadosgerrel.h"
#include "host/form/reportdialog.h"
#include "host/services/formcreation.h"
#include "host/widgets/busyindicator.h"
#include "host/widgets/busyoverlay.h"
#include "host/widgets/combobox.h"
#include "host/widgets/qtuserinteraction.h"
#include "host/widgets/reportpreviewdialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPrintDialog>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace host;

static const QString kReports = QStringLiteral(ZUB_SOURCE_DIR "/tests/host/reports");

// A screen as the modules write them: handlers that record, then call the base.
class RecordingForm : public TfrmDadosGerRel
{
public:
    static inline RecordingForm *instance = nullptr;
    static inline QStringList events;
    enum class Start { Normal, Closes, Throws };

    explicit RecordingForm(Start start = Start::Normal, const QString &reportsDir = kReports)
        : TfrmDadosGerRel(QStringLiteral("TST00100"), QStringLiteral("TST001"), QStringLiteral("Teste")), m_start(start)
    {
        rpddPadrao->ReportsDir = reportsDir;
        rpddPadrao->BeforeGetQueryParams = [this](TParams &params, bool &handled) {
            events << QStringLiteral("params");
            for (const QString &name : fill.keys()) {
                if (params.ExistParam(name))
                    params.ParamByName(name).Value = fill.value(name);
            }
            handled = declareHandled;
        };
        rpddPadrao->QRPAfterPrint = [] { events << QStringLiteral("afterPrint"); };
        rpddPadrao->QRPAfterPreview = [] { events << QStringLiteral("afterPreview"); };
    }
    void FormCreate(QObject *sender) override
    {
        events << QStringLiteral("create:") + QString::fromLatin1(instance == this ? "reference set" : "reference empty");
        TfrmDadosGerRel::FormCreate(sender);
        if (m_start == Start::Closes)
            instance->Close();
        else if (m_start == Start::Throws)
            throw HostError(QStringLiteral("falha na criação"));
    }
    void FormActivate(QObject *sender) override
    {
        events << QStringLiteral("activate");
        TfrmDadosGerRel::FormActivate(sender);
    }
    void FormClose(QObject *sender, TCloseAction &action) override
    {
        events << QStringLiteral("close");
        instance = nullptr;
        TfrmDadosGerRel::FormClose(sender, action);
    }
    void sbtPrintClick(QObject *sender) override
    {
        if (!refusePrint.isEmpty())
            MensErro(refusePrint, true);
        TfrmDadosGerRel::sbtPrintClick(sender);
        events << QStringLiteral("printDone");
    }
    void cbbReportNamesDropDown(QObject *) override { events << QStringLiteral("dropDown"); }
    void cbbReportNamesEnter(QObject *) override { events << QStringLiteral("enter"); }

    QVariantMap fill{{QStringLiteral("P_CDFILIAL"), QStringLiteral("0001")},
                     {QStringLiteral("P_DTINIC"), QDateTime(QDate(2026, 3, 16), QTime(0, 0))},
                     {QStringLiteral("P_NRNIVEL"), 2}};
    bool declareHandled = false;
    QString refusePrint;

private:
    Start m_start;
};

static QString pdfText(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return QStringLiteral("pdftotext falhou: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

class TestReportForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
        m_host = std::make_unique<TestHost>();
        RecordingForm::events.clear();
        RecordingForm::instance = nullptr;
    }
    void cleanup()
    {
        delete RecordingForm::instance;
        RecordingForm::instance = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_host.reset();
    }

    void reportListFromTheFolder()
    {
        CreateForm(RecordingForm::instance);
        QCOMPARE(RecordingForm::events.value(0), QStringLiteral("create:reference set"));
        TComboBox *list = RecordingForm::instance->cbbReportNames;
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->itemText(0), QStringLiteral("Teste por serviço"));
        QCOMPARE(list->itemText(1), QStringLiteral("Teste por filial"));
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(RecordingForm::instance->lblCodTela->text(), QStringLiteral("TST00100"));
        QCOMPARE(RecordingForm::instance->lblCodRel->text(), QStringLiteral("TST001"));
        QVERIFY(m_host->ui.errors.isEmpty());
    }

    // Regression: one damaged copy of the user's kept the screen from opening at all.
    void aDamagedUserCopyIsLeftOutAndNamed()
    {
        const QString userFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("reports/TST001");
        QVERIFY(QDir().mkpath(userFolder));
        QFile damaged(userFolder + "/meu-relatorio.json");
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{\"title\": \"Meu relat");
        damaged.close();
        CreateForm(RecordingForm::instance);
        QVERIFY(RecordingForm::instance);
        QCOMPARE(RecordingForm::instance->cbbReportNames->count(), 2);
        QCOMPARE(m_host->ui.errors.size(), 1);
        QVERIFY2(m_host->ui.errors.first().startsWith("Layouts ignorados:") && m_host->ui.errors.first().contains("meu-relatorio.json"),
                 qPrintable(m_host->ui.errors.first()));
    }

    void missingLayoutsAreReported()
    {
        QTemporaryDir empty;
        CreateForm(RecordingForm::instance, RecordingForm::Start::Normal, empty.path());
        const QString expected = QStringLiteral("O arquivo contendo a definição do Relatório de código 'TST001' não foi "
                                                "encontrado no diretório '%1'.").arg(empty.filePath(QStringLiteral("TST001")));
        QCOMPARE(m_host->ui.errors, QStringList{expected});
        QTest::mouseClick(RecordingForm::instance->sbtPrint, Qt::LeftButton);
        QCOMPARE(m_host->ui.errors, (QStringList{expected, expected}));
        QVERIFY(m_host->ui.printRequests.isEmpty());
        QVERIFY(!RecordingForm::events.contains(QStringLiteral("params")));
    }

    void printOrderAndPdf()
    {
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("impresso.pdf"));
        CreateForm(RecordingForm::instance);
        m_host->ui.printAnswers.append(PrintTarget{QString(), pdf});
        RecordingForm::instance->rpddPadrao->BeforeGetQueryParams = [inner = RecordingForm::instance->rpddPadrao->BeforeGetQueryParams,
                                                                       this](TParams &params, bool &handled) {
            QCOMPARE(m_host->ui.printRequests.size(), 1); // the printer is chosen before any data is prepared
            QCOMPARE(params.count(), 3);
            inner(params, handled);
        };
        QTest::mouseClick(RecordingForm::instance->sbtPrint, Qt::LeftButton);
        QCOMPARE(RecordingForm::events.mid(1), (QStringList{"params", "afterPrint", "printDone"}));
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("Teste por serviço")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("P_CDFILIAL: 0001")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("P_DTINIC: 16/03/2026")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("P_NRNIVEL: 2")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Página 1 de 1")), qPrintable(text));
    }

    void cancelledPrinterRunsNothing()
    {
        CreateForm(RecordingForm::instance);
        m_host->ui.printAnswers.append(std::nullopt);
        QTest::mouseClick(RecordingForm::instance->sbtPrint, Qt::LeftButton);
        QCOMPARE(RecordingForm::events.mid(1), QStringList{"printDone"});
    }

    // "Imprimir…" in the preview prints the report it shows, through the printer dialog, and the
    // run's clean-up is still the preview's, once.
    void previewOrderAndPrintFromIt()
    {
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("da-visualizacao.pdf"));
        CreateForm(RecordingForm::instance);
        RecordingForm::instance->cbbReportNames->setCurrentIndex(1);
        RecordingForm::instance->rpddPadrao->QRPAfterPreview = [this] {
            QCOMPARE(m_host->ui.previews, QStringList{QStringLiteral("Teste por filial")}); // after the window closed
            RecordingForm::events << QStringLiteral("afterPreview");
        };
        m_host->ui.printFromPreview = true;
        m_host->ui.printAnswers.append(PrintTarget{QString(), pdf});
        QTest::mouseClick(RecordingForm::instance->sbtPreview, Qt::LeftButton);
        QCOMPARE(RecordingForm::events.mid(1), (QStringList{"params", "afterPreview"}));
        QCOMPARE(RecordingForm::instance->rpddPadrao->LastParams().count(), 1);
        QCOMPARE(m_host->ui.previewPageCounts, QList<int>{1});
        QCOMPARE(m_host->ui.printRequests, QStringList{QStringLiteral("Teste por filial")});
        QVERIFY2(pdfText(pdf).contains(QStringLiteral("P_CDFILIAL: 0001")), qPrintable(pdfText(pdf)));
    }

    // The real preview window: the report's pages, "Imprimir…" through the printer dialog, Esc leaves.
    void realPreviewWindow()
    {
        QtUserInteraction qtUi;
        HostServices services(qtUi, *m_host->session, *m_host->database);
        RecordingForm form;
        form.FormCreate(&form);
        QString title, pageBox;
        bool printerAsked = false;
        // Until the window is up (the report's preparation lets timers run before it opens), then
        // "Imprimir…", the printer dialog cancelled, and Esc.
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *printer = qobject_cast<QPrintDialog *>(modal)) {
                printerAsked = true;
                printer->reject();
                return;
            }
            auto *dialog = qobject_cast<ReportPreviewDialog *>(modal);
            if (!dialog)
                return;
            if (printerAsked) {
                watch.stop();
                QTest::keyClick(dialog, Qt::Key_Escape);
                return;
            }
            if (!title.isEmpty())
                return;
            title = dialog->windowTitle();
            pageBox = dialog->pageBox()->text();
            QTimer::singleShot(0, dialog->printButton(), &QToolButton::click);
        });
        watch.start(20);
        form.rpddPadrao->Preview();
        QCOMPARE(title, QStringLiteral("Visualizar: Teste por serviço"));
        QCOMPARE(pageBox, QStringLiteral("Página 1 de 1"));
        QVERIFY(printerAsked);
        QCOMPARE(RecordingForm::events, (QStringList{"create:reference empty", "params", "afterPreview"}));
    }

    void saveAsPdfAndText()
    {
        QTemporaryDir out;
        CreateForm(RecordingForm::instance);
        m_host->ui.saveAnswers.append(out.filePath(QStringLiteral("relatorio"))); // no extension: ".pdf" is added
        QTest::mouseClick(RecordingForm::instance->sbtSalvarComo, Qt::LeftButton);
        QVERIFY(pdfText(out.filePath(QStringLiteral("relatorio.pdf"))).contains(QStringLiteral("P_CDFILIAL: 0001")));
        QCOMPARE(RecordingForm::events.mid(1), (QStringList{"params", "afterPrint"}));
        QVERIFY(m_host->ui.saveRequests.at(0).contains(QStringLiteral("(*.pdf)")));

        RecordingForm::events.clear();
        m_host->ui.saveAnswers.append(out.filePath(QStringLiteral("relatorio.txt")));
        RecordingForm::instance->mnuSalvarTexto->trigger();
        QCOMPARE(RecordingForm::events, QStringList{"params"}); // no after-event: the screen cleans up itself
        QFile text(out.filePath(QStringLiteral("relatorio.txt")));
        QVERIFY(text.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(text.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("Teste por serviço"));
        QVERIFY(lines.contains(QStringLiteral("P_DTINIC: 16/03/2026")));
        QVERIFY(lines.contains(QStringLiteral("P_NRNIVEL: 2")));
        QCOMPARE(m_host->ui.savedFiles, (QStringList{out.filePath(QStringLiteral("relatorio.pdf")), out.filePath(QStringLiteral("relatorio.txt"))}));
    }

    // Regression: with the server gone mid-report, the report's failure and the clean-up's showed
    // the same box twice; a different clean-up failure is still told.
    void outputFailureStillCleansUp_data()
    {
        QTest::addColumn<QString>("cleanUpFailure");
        QTest::addColumn<int>("messages");
        QTest::newRow("clean-up done") << QString() << 1;
        QTest::newRow("clean-up fails as the output did") << "Servidor fora do ar." << 1;
        QTest::newRow("clean-up fails otherwise") << "Plano em uso." << 2;
    }
    void outputFailureStillCleansUp()
    {
        QFETCH(QString, cleanUpFailure);
        QFETCH(int, messages);
        CreateForm(RecordingForm::instance);
        RecordingForm::instance->rpddPadrao->BeforeGetQueryParams = [](TParams &, bool &) {
            throw ServerError(QStringLiteral("Servidor fora do ar."));
        };
        RecordingForm::instance->rpddPadrao->QRPAfterPrint = [cleanUpFailure] {
            RecordingForm::events << QStringLiteral("afterPrint");
            if (!cleanUpFailure.isEmpty())
                throw ServerError(cleanUpFailure);
        };
        m_host->ui.saveAnswers.append(QStringLiteral("/tmp/relatorio.pdf"));
        QTest::mouseClick(RecordingForm::instance->sbtSalvarComo, Qt::LeftButton);
        QCOMPARE(RecordingForm::events.mid(1), (QStringList{"afterPrint"}));
        QCOMPARE(m_host->ui.errors.size(), messages);
        QCOMPARE(m_host->ui.errors[0], QStringLiteral("Servidor fora do ar."));
        QVERIFY(m_host->ui.savedFiles.isEmpty());
    }

    void unfilledParameters_data()
    {
        QTest::addColumn<bool>("handled");
        QTest::addColumn<QStringList>("errors");
        QTest::newRow("named in the error") << false
            << QStringList{QStringLiteral("O relatório \"Teste por serviço\" ficou com parâmetros sem valor: P_DTINIC, P_NRNIVEL.")};
        QTest::newRow("handled by the screen") << true << QStringList{};
    }
    void unfilledParameters()
    {
        QFETCH(bool, handled);
        QFETCH(QStringList, errors);
        QTemporaryDir out;
        CreateForm(RecordingForm::instance);
        RecordingForm::instance->fill = {{QStringLiteral("P_CDFILIAL"), QStringLiteral("0001")}};
        RecordingForm::instance->declareHandled = handled;
        m_host->ui.printAnswers.append(PrintTarget{QString(), out.filePath(QStringLiteral("x.pdf"))});
        QTest::mouseClick(RecordingForm::instance->sbtPrint, Qt::LeftButton);
        QCOMPARE(m_host->ui.errors, errors);
        QVERIFY(RecordingForm::events.contains(QStringLiteral("afterPrint")));
    }

    void editAndStandardReport()
    {
        CreateForm(RecordingForm::instance);
        RecordingForm *form = RecordingForm::instance;
        m_host->ui.textAnswers.append(QStringLiteral("Minha Cópia"));
        form->mnuEditRel->trigger();
        QCOMPARE(m_host->ui.questions, QStringList{QStringLiteral("Título do Relatório|Informe o título do relatório:")});
        QCOMPARE(form->cbbReportNames->count(), 3);
        QCOMPARE(form->cbbReportNames->currentText(), QStringLiteral("Minha Cópia"));
        QVERIFY(!RecordingForm::events.contains(QStringLiteral("params")));

        form->mnuRelatPadr->trigger(); // the layout marked standard, whatever is chosen
        QCOMPARE(m_host->ui.previews, QStringList{QStringLiteral("Teste por filial")});
        QCOMPARE(RecordingForm::events.mid(1), (QStringList{"params", "afterPreview"}));
    }

    void abortInHandlerEndsQuietly()
    {
        CreateForm(RecordingForm::instance);
        RecordingForm::instance->refusePrint = QStringLiteral("Filial agregada deve ser informada.");
        QTest::mouseClick(RecordingForm::instance->sbtPrint, Qt::LeftButton);
        QCOMPARE(m_host->ui.errors, QStringList{QStringLiteral("Filial agregada deve ser informada.")});
        QVERIFY(m_host->ui.printRequests.isEmpty());
        QVERIFY(!RecordingForm::events.contains(QStringLiteral("printDone")));
    }

    void formCreateThatCloses()
    {
        CreateForm(RecordingForm::instance, RecordingForm::Start::Closes);
        QVERIFY(RecordingForm::instance == nullptr);
        QCOMPARE(RecordingForm::events, (QStringList{"create:reference set", "close"}));
    }

    void formCreateThatThrows()
    {
        QPointer<QWidget> created;
        bool raised = false;
        try {
            CreateForm(RecordingForm::instance, RecordingForm::Start::Throws);
        } catch (const HostError &error) {
            raised = error.text() == QStringLiteral("falha na criação");
        }
        QVERIFY(raised);
        QVERIFY(RecordingForm::instance == nullptr);
        QCOMPARE(QApplication::topLevelWidgets().count(), 0);
    }

    void closeFreesTheForm()
    {
        CreateForm(RecordingForm::instance);
        QPointer<RecordingForm> form = RecordingForm::instance;
        form->Close();
        QVERIFY(RecordingForm::instance == nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
    }

    void mdiChildLifecycle()
    {
        QMainWindow main;
        auto *area = new QMdiArea(&main);
        main.setCentralWidget(area);
        main.show();
        m_host->services->setMainWindow(&main);
        CreateForm(RecordingForm::instance);
        QPointer<QMdiSubWindow> window = RecordingForm::instance->subWindow();
        QVERIFY(window);
        QVERIFY(!window->isVisible());
        RecordingForm::instance->SetWindowState(wsNormal);
        RecordingForm::instance->Show();
        QVERIFY(window->isVisible());
        QCOMPARE(area->activeSubWindow(), window.data());
        QVERIFY(RecordingForm::events.contains(QStringLiteral("activate")));
        QCOMPARE(RecordingForm::instance->size(), QSize(523, 399));

        RecordingForm::instance->SetWindowState(wsMinimized);
        QCOMPARE(RecordingForm::instance->WindowState(), wsMinimized);
        RecordingForm::instance->SetWindowState(wsNormal);
        QCOMPARE(RecordingForm::instance->WindowState(), wsNormal);

        window->close(); // the sub-window's close button
        QVERIFY(RecordingForm::instance == nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(area->subWindowList().isEmpty());
        m_host->services->setMainWindow(nullptr);
    }

    void reportListHooks()
    {
        CreateForm(RecordingForm::instance);
        RecordingForm *form = RecordingForm::instance;
        auto *filter = new QLineEdit(form->grbDadosRel);
        form->Show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        filter->setFocus();
        RecordingForm::events.clear();
        QTest::keyClick(filter, Qt::Key_Backtab);
        QVERIFY(form->cbbReportNames->hasFocus());
        form->cbbReportNames->showPopup();
        QCOMPARE(RecordingForm::events, (QStringList{"enter", "dropDown"}));
        form->cbbReportNames->hidePopup();
    }

    void busyIndicator()
    {
        const int before = BusyIndicatorOpenings();
        ActiveShowAvi(nullptr, 1, QStringLiteral("Preparando dados para impressão..."));
        QVERIFY(BusyIndicatorShown());
        QCOMPARE(BusyIndicatorText(), QStringLiteral("Preparando dados para impressão..."));
        DeactiveShowAvi();
        DeactiveShowAvi();
        QVERIFY(!BusyIndicatorShown());
        QCOMPARE(BusyIndicatorOpenings(), before + 1);

        QMainWindow main;
        main.resize(800, 600);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        ActiveShowAvi(&main, 6);
        auto *overlay = main.findChild<BusyOverlay *>();
        QVERIFY(overlay && overlay->isVisible());
        QVERIFY(main.rect().contains(overlay->geometry()));
        ActiveShowAvi(&main, 1, QStringLiteral("Limpando tabela temporária..."));
        QCOMPARE(main.findChildren<BusyOverlay *>().size(), 1);
        QCOMPARE(overlay->text(), QStringLiteral("Limpando tabela temporária..."));
        DeactiveShowAvi();
        QVERIFY(main.findChildren<BusyOverlay *>().isEmpty());
    }

    void screenCursor()
    {
        SetScreenCursor(crHourGlass);
        SetScreenCursor(crHourGlass);
        QCOMPARE(ScreenCursor(), crHourGlass);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        SetScreenCursor(crDefault);
        QCOMPARE(ScreenCursor(), crDefault);
        QVERIFY(!QGuiApplication::overrideCursor());
        SetScreenCursor(crDefault);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

private:
    std::unique_ptr<TestHost> m_host;
};

QTEST_MAIN(TestReportForm)
#include "tst_reportform.moc"
