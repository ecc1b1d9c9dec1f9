// The report screen against the real application server on a fresh demo database: the same
// file serves as the client's general database, as at a site.
#include "../server/serverharness.h"
#include "Cli_zub01100.h"
#include "screen/filterwidgets.h"
#include "host/network/serverdata.h"
#include "host/services/dispatcher.h"
#include "host/services/hostservices.h"
#include "host/services/session.h"
#include "host/services/userinteraction.h"
#include "host/widgets/busyindicator.h"
#include "host/widgets/busyoverlay.h"
#include "host/widgets/combobox.h"
#include "host/widgets/dateeditplus.h"
#include "host/work/longwork.h"
#include "report/reportdocument.h"

#include <QAction>
#include <QJsonArray>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

using namespace host;

namespace {
const QByteArray kToken = "token-da-tela-0123456789";
}

class TstScreenIntegration : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_database;
    harness::ServerProcess m_server;
    ScriptedInteraction m_ui;
    std::unique_ptr<TdtmDBGeral> m_geral;
    QSqlDatabase m_check; // what the server left in the database
    std::unique_ptr<HostSession> m_session;
    std::unique_ptr<HostServices> m_services;

    int countRows(const QString &table)
    {
        QSqlQuery query(m_check);
        query.exec("SELECT COUNT(*) FROM " + table);
        query.next();
        return query.value(0).toInt();
    }

    // The school's screen, opened and activated as the menu does, for a function that runs alone.
    TfrmCustoPlanXReal *openForm()
    {
        if (!frmCustoPlanXReal) {
            IniProc();
            if (frmCustoPlanXReal)
                frmCustoPlanXReal->FormActivate(frmCustoPlanXReal);
        }
        return frmCustoPlanXReal;
    }

    // The host's services over a main window on screen, so that the busy panel shows over it.
    std::unique_ptr<HostServices> servicesOver(QWidget &window)
    {
        window.resize(800, 600);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return nullptr;
        return std::make_unique<HostServices>(m_ui, *m_session, *m_geral, &window);
    }

    // A report file of this screen with filters in its run record, as "Salvar como" writes it.
    void writeReportFile(const QString &path)
    {
        ReportDocument report("ZUB011", "Custo Planejado X Realizado por Filial Agregada", TParams());
        report.setRun(QJsonObject{{"filtros", QJsonObject{{"dataInicial", "01/03/2025"}, {"dataFinal", "31/03/2025"}}}});
        if (path.endsWith(".xlsx")) {
            report.writeXlsx(path);
            return;
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        report.print(printer);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // the user's layout copies go to a scratch folder
        m_database = m_dir.filePath("demo.db");
        QString output;
        QCOMPARE(harness::runTool({"--database", "sqlite:" + m_database, "--create-demo"}, &output), 0);
        QString error;
        // A preparation waits a minute for another writer's lock, unless cancelled; the log shows calls as they start.
        QVERIFY2(m_server.start("sqlite:" + m_database, kToken, {"--busy-timeout", "60000", "--log-level", "debug"}, &error),
                 qPrintable(error));

        ClientConfig config;
        config.branch = "0101";
        config.operatorCode = "OP01";
        config.serverPort = m_server.port();
        config.token = QString::fromLatin1(kToken);
        m_geral = std::make_unique<TdtmDBGeral>();
        m_geral->useServer(std::make_shared<ServerDataSource>(QStringLiteral("127.0.0.1"), m_server.port()));
        m_check = harness::openDatabase("sqlite:" + m_database, "checks");
        QVERIFY(m_check.open());
        m_session = std::make_unique<HostSession>(config, m_geral.get());
        m_services = std::make_unique<HostServices>(m_ui, *m_session, *m_geral);
    }

    void init()
    {
        m_ui.errors.clear();
        m_ui.notices.clear();
        m_ui.informations.clear();
    }

    void startUpAndFirstActivation()
    {
        IniProc();
        TfrmCustoPlanXReal *form = frmCustoPlanXReal;
        QVERIFY(form);
        QCOMPARE(form->widgets().medCentral->text(), QStringLiteral("0001"));
        QVERIFY(!form->widgets().edtNmCentral->text().isEmpty());
        QCOMPARE(form->widgets().medCdFilial->text(), QStringLiteral("0101"));
        QCOMPARE(form->widgets().nbkFilial->currentIndex(), 1);
        form->FormActivate(form);
        QCOMPARE(form->widgets().cbbTipoCusto->count(), 3);
        QCOMPARE(form->widgets().depDataInic->GetDate(), QDate(2025, 12, 19)); // the demo's last school day
        QVERIFY(m_ui.errors.isEmpty());
    }

    void lookupsAndSearches()
    {
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        m_ui.rowAnswers = {QStringLiteral("0000000001")};
        form->widgets().btnAgrupFili->click();
        QCOMPARE(form->widgets().edtCdAgrupFili->text(), QStringLiteral("0000000001"));
        QCOMPARE(form->widgets().edtAgrupFili->text(), QStringLiteral("Região Norte"));
        QVERIFY(Dispatch([&] { form->branchFilters().Vd_AgrupFili(); }));

        form->widgets().rbtListaFiliAgreg->setChecked(true);
        m_ui.markAnswers = {QStringList{"0101", "0103"}};
        form->widgets().sbtFiliAgreg->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        const MultiChoiceRequest branches = m_ui.markRequests.last();
        QVERIFY(branches.keys.contains("0101"));
        QVERIFY(branches.keys.size() < 14); // only the grouping's members
        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0101_0103_"));

        form->serviceFilters().Servico();
        const QStringList keys = form->filterValue().effectiveServices.split('_', Qt::SkipEmptyParts);
        QVERIFY(!keys.isEmpty());
        for (const QString &key : keys)
            QVERIFY2(key.startsWith("0101") || key.startsWith("0103"), qPrintable(key));

        form->widgets().rbtListaServ->setChecked(true);
        m_ui.markAnswers = {QStringList{keys.first()}};
        form->widgets().sbtServico->click();
        QCOMPARE(form->filterValue().services.keyList(), "_" + keys.first() + "_");

        const QStringList menuTypes = form->serviceFilters().montaListaTipoCard().split('_', Qt::SkipEmptyParts);
        QVERIFY(!menuTypes.isEmpty());
        QVERIFY(!menuTypes.contains("04")); // the inactive one
    }

    void aReportRunLeavesNothingBehind()
    {
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        form->widgets().depDataInic->SetDate(QDate(2025, 3, 1));
        form->widgets().depDataFina->SetDate(QDate(2025, 3, 31));
        m_ui.printAnswers = {PrintTarget{QString(), m_dir.filePath("relatorio.pdf")}};
        form->sbtPrint->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QVERIFY(QFileInfo(m_dir.filePath("relatorio.pdf")).size() > 0);
        QCOMPARE(form->reportPreparation().planAnswer().size(), 10);
        QCOMPARE(countRows("CONSPLAN"), 0);
        QCOMPARE(countRows("ITCONSPLAN"), 0);
        QCOMPARE(countRows("LISTA"), 0);
        QCOMPARE(m_ui.notices, QStringList()); // the demo's March is complete

        // Regression: a run with only non-stockables right after one with both sent the deleted
        // plan's number, which the server refused.
        form->widgets().chbEstocaveis->setChecked(false);
        m_ui.printAnswers = {PrintTarget{QString(), m_dir.filePath("nao-estocaveis.pdf")}};
        form->sbtPrint->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QVERIFY(QFileInfo(m_dir.filePath("nao-estocaveis.pdf")).size() > 0);
        QCOMPARE(countRows("LISTA"), 0);
        form->widgets().chbEstocaveis->setChecked(true);
    }

    // Missing records are told before the output, which goes on and is produced all the same.
    void incompleteDataIsToldWithoutStoppingTheReport()
    {
        {
            QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "holes");
            writer.setDatabaseName(m_database);
            QVERIFY(writer.open());
            QVERIFY(QSqlQuery(writer).exec("DELETE FROM CONSREAL WHERE CDFILIAL IN ('0101', '0102') AND DTREFEICAO = '2025-03-20'"));
            writer.close();
        }
        QSqlDatabase::removeDatabase("holes");
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        const QString pdf = m_dir.filePath("incompleto.pdf");
        m_ui.printAnswers = {PrintTarget{QString(), pdf}};
        m_ui.log.clear();
        form->sbtPrint->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QCOMPARE(m_ui.notices.size(), 1);
        QVERIFY2(m_ui.notices[0].startsWith("Atenção: dados incompletos no período"), qPrintable(m_ui.notices[0]));
        // The report is of the logged-in school: the other school's hole is none of its business.
        QVERIFY2(m_ui.notices[0].endsWith("\nRefeições planejadas sem consumo registrado: 1 dia de filial: 0101 em 20/03/2025"),
                 qPrintable(m_ui.notices[0]));
        QVERIFY(QFileInfo(pdf).size() > 0);
        QCOMPARE(countRows("CONSPLAN"), 0);
        QCOMPARE(countRows("FALTACONSPLAN"), 0);
        m_ui.notices.clear();
    }

    // Regression: a report's preparation could not be stopped; the window stayed frozen until it ended.
    void cancelDuringPreparationLeavesNothing_data()
    {
        QTest::addColumn<bool>("byEsc");
        QTest::newRow("Cancelar") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelDuringPreparationLeavesNothing()
    {
        QFETCH(bool, byEsc);
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        QWidget window;
        const std::unique_ptr<HostServices> withWindow = servicesOver(window);
        QVERIFY(withWindow);
        form->widgets().depDataInic->SetDate(QDate(2025, 1, 1));
        form->widgets().depDataFina->SetDate(QDate(2025, 12, 31));
        const QString pdf = m_dir.filePath("cancelado.pdf");
        QFile::remove(pdf); // the previous row's finished report
        m_ui.printAnswers = {PrintTarget{QString(), pdf}};

        bool lockHeld = false;
        {
            QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", "writer");
            writer.setDatabaseName(m_database);
            lockHeld = writer.open() && QSqlQuery(writer).exec("BEGIN IMMEDIATE");
        }
        QVERIFY(lockHeld);
        // Only this run's calls: earlier reports of the file also started preparations.
        const qsizetype logStart = m_server.output().size();
        const auto logSince = [&] { return m_server.output().mid(logStart); };
        QElapsedTimer sinceCancel;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!BusyPanel() || !logSince().contains("ExecStpConsPlan iniciada"))
                return;
            watch.stop();
            sinceCancel.start();
            if (byEsc)
                QTest::keyClick(&window, Qt::Key_Escape);
            else
                QTest::mouseClick(BusyPanel()->cancelButton(), Qt::LeftButton);
        });
        watch.start(20);
        form->sbtPrint->click();
        const qint64 screenBackMs = sinceCancel.elapsed();
        QVERIFY(sinceCancel.isValid());
        qInfo("screen back %lld ms after the cancel", screenBackMs);
        // Back while the lock is still held: the call was stopped, not waited out. The lock stays
        // until the server has ended the call, which it cannot finish while the lock is held.
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QVERIFY(!BusyPanel());
        QVERIFY(!QFileInfo::exists(pdf));
        QTRY_VERIFY_WITH_TIMEOUT(logSince().contains(QRegularExpression("ExecStpConsPlan \\d+ ms cancelada")), 30000);
        QTRY_VERIFY(logSince().contains("rpc.cancel"));
        QVERIFY(QSqlQuery(QSqlDatabase::database("writer")).exec("ROLLBACK"));
        QSqlDatabase::database("writer").close();
        QSqlDatabase::removeDatabase("writer");
        QCOMPARE(countRows("CONSPLAN"), 0);
        QCOMPARE(countRows("LISTA"), 0);

        // The screen works again at once: the next report runs to its end.
        form->widgets().depDataFina->SetDate(QDate(2025, 1, 31));
        m_ui.printAnswers = {PrintTarget{QString(), pdf}};
        form->sbtPrint->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QVERIFY(QFileInfo(pdf).size() > 0);
    }

    // A preview stopped while its data arrives or its pages are laid out shows nothing and leaves
    // nothing on the server, and the window was served all along; the next one runs to its end.
    void previewCancelledMidWayLeavesNothing_data()
    {
        QTest::addColumn<QString>("stage");
        QTest::newRow("dados") << QStringLiteral("Montando o relatório…");
        QTest::newRow("páginas") << QStringLiteral("Paginando o relatório…");
    }
    void previewCancelledMidWayLeavesNothing()
    {
        QFETCH(QString, stage);
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        QWidget window;
        const std::unique_ptr<HostServices> withWindow = servicesOver(window);
        QVERIFY(withWindow);
        form->cbbReportNames->setCurrentIndex(1);
        form->widgets().depDataInic->SetDate(QDate(2025, 1, 1));
        form->widgets().depDataFina->SetDate(QDate(2025, 12, 31));
        m_ui.previews.clear();

        // The cancel lands as the stage begins, the way the panel's button sends it.
        bool cancelled = false;
        setWorkStageListener([&](const QString &now) {
            if (now == stage && BusyPanel() && !cancelled) {
                cancelled = true;
                QTest::mouseClick(BusyPanel()->cancelButton(), Qt::LeftButton);
            }
        });
        // The event loop's ticks while the preview is built; a build that held the window until
        // its end would have none.
        int ticks = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] { ++ticks; });
        probe.start(5);
        form->sbtPreview->click();
        probe.stop();
        setWorkStageListener({});
        QVERIFY(cancelled);
        QVERIFY2(ticks > 0, "the window was not served while the preview was built");
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QCOMPARE(m_ui.previews, QStringList());
        QVERIFY(!BusyPanel());
        QCOMPARE(countRows("CONSPLAN"), 0);
        QCOMPARE(countRows("LISTA"), 0);

        form->sbtPreview->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QCOMPARE(m_ui.previews.size(), 1);
        QCOMPARE(countRows("CONSPLAN"), 0);
        QCOMPARE(countRows("LISTA"), 0);
        form->cbbReportNames->setCurrentIndex(0);
    }

    // A report saved in each format gives its filters back to a screen that has others by now.
    void reportFileGivesItsFiltersBack_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("pdf") << "pdf";
        QTest::newRow("csv") << "csv";
        QTest::newRow("xlsx") << "xlsx";
    }
    void reportFileGivesItsFiltersBack()
    {
        QFETCH(QString, suffix);
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        m_ui.errors.clear();
        const QJsonObject chosen{{"relatorio", 1}, {"agrupamento", "0000000001"}, {"filiais", QJsonArray{"0101", "0103"}},
                                 {"tiposCardapio", QJsonArray{"01", "02"}}, {"dataInicial", "01/03/2025"},
                                 {"dataFinal", "31/03/2025"}, {"gruposServico", QJsonArray{"001"}},
                                 {"servicos", QJsonArray{"010100020"}}, {"naoEstocaveis", false},
                                 {"diferenca", "total"}, {"nivel", 1}};
        QVERIFY2(Dispatch([&] { form->applyFilterState(chosen); }), qPrintable(m_ui.errors.join('\n')));
        const QJsonObject expected = form->filterState();
        const QString path = m_dir.filePath("filtros." + suffix);
        m_ui.saveAnswers = {path};
        form->sbtSalvarComo->click();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));

        const QJsonObject other{{"relatorio", 0}, {"agrupamento", ""}, {"filiais", "todas"}, {"tiposCardapio", "todos"},
                                {"dataInicial", "01/02/2025"}, {"dataFinal", "28/02/2025"}, {"gruposServico", "todos"},
                                {"servicos", "todos"}, {"naoEstocaveis", true}, {"diferenca", "per capita"}, {"nivel", 0}};
        QVERIFY(Dispatch([&] { form->applyFilterState(other); }));
        QVERIFY(form->filterState() != expected);

        // By the keyboard, from wherever the focus is on the screen.
        m_ui.openRequests.clear();
        m_ui.openAnswers = {path};
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form->window()));
        form->widgets().depDataInic->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_ui.openRequests.size(), 1);
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QCOMPARE(form->filterState(), expected);
    }

    // Files that are no report of this screen, or are damaged: a message, and the filters stay.
    void unreadableFileChangesNothing_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("message");
        {
            QPdfWriter writer(m_dir.filePath("alheio.pdf"));
            QPainter painter(&writer);
            painter.drawText(100, 100, "Documento de outro programa");
        }
        auto cutInHalf = [this](const QString &from, const QString &to) {
            QFile source(m_dir.filePath(from));
            QFile target(m_dir.filePath(to));
            QVERIFY(source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly));
            target.write(source.read(source.size() / 2));
        };
        writeReportFile(m_dir.filePath("inteiro.pdf"));
        writeReportFile(m_dir.filePath("inteiro.xlsx"));
        cutInHalf("inteiro.pdf", "cortado.pdf");
        cutInHalf("inteiro.xlsx", "cortado.xlsx");
        QFile plain(m_dir.filePath("sem-registro.csv"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("\xEF\xBB\xBFServi\xC3\xA7o;Produto\r\n00010;Arroz\r\n");
        plain.close();
        ReportDocument another("ZUB099", "Outro relatório", TParams());
        another.setRun(QJsonObject{{"filtros", QJsonObject{{"dataInicial", "01/01/2025"}}}});
        another.writeCsv(m_dir.filePath("outro.csv"));

        QTest::newRow("pdf of another program") << "alheio.pdf" << "não traz o registro de um relatório deste sistema";
        QTest::newRow("pdf cut short") << "cortado.pdf" << "está incompleto ou danificado";
        QTest::newRow("xlsx cut short") << "cortado.xlsx" << "está incompleto ou danificado";
        QTest::newRow("csv without the run line") << "sem-registro.csv" << "não traz o registro de um relatório deste sistema";
        QTest::newRow("another report's file") << "outro.csv" << "é do relatório ZUB099, não do relatório ZUB011";
    }
    void unreadableFileChangesNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, message);
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        m_ui.errors.clear();
        const QJsonObject before = form->filterState();
        m_ui.openAnswers = {m_dir.filePath(fileName)};
        form->mnuAbrirFiltrosRel->trigger();
        QCOMPARE(m_ui.errors.size(), 1);
        QVERIFY2(m_ui.errors.first().contains(message), qPrintable(m_ui.errors.first()));
        QCOMPARE(form->filterState(), before);
    }

    // A school's report sent to the central: its single branch does not apply on the list page and
    // is named as left out; the rest (the period) is applied.
    void aSchoolsReportOpensOnTheCentralsPage()
    {
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        m_ui.errors.clear();
        m_ui.informations.clear();
        ReportDocument school("ZUB011", "Custo Planejado X Realizado por Serviço", TParams());
        school.setRun(QJsonObject{{"filtros", QJsonObject{{"filial", "0103"}, {"dataInicial", "01/04/2025"}, {"dataFinal", "30/04/2025"}}}});
        school.writeCsv(m_dir.filePath("escola.csv"));
        QJsonObject expected = form->filterState();
        expected["dataInicial"] = "01/04/2025";
        expected["dataFinal"] = "30/04/2025";
        m_ui.openAnswers = {m_dir.filePath("escola.csv")};
        form->mnuAbrirFiltrosRel->trigger();
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QCOMPARE(m_ui.informations.size(), 1);
        QVERIFY2(m_ui.informations.first().contains("O filtro \"filial\" do relatório não se aplica a esta tela"), qPrintable(m_ui.informations.first()));
        QCOMPARE(form->filterState(), expected);
    }

    // A user's copy of a layout changes its titles and columns, never what the server reads: its
    // own SQL (here reading the operators' password hashes) does not run, and the user is told so.
    void aLayoutCopyChangesOnlyItsLooks()
    {
        TfrmCustoPlanXReal *form = openForm();
        QVERIFY(form);
        const QJsonObject everything{{"relatorio", 0},          {"agrupamento", ""},          {"filiais", "todas"},
                                     {"tiposCardapio", "todos"}, {"gruposServico", "todos"},   {"servicos", "todos"},
                                     {"estocaveis", true},       {"naoEstocaveis", true},      {"nivel", 0},
                                     {"dataInicial", "01/03/2025"}, {"dataFinal", "31/03/2025"}};
        QVERIFY2(Dispatch([&] { form->applyFilterState(everything); }), qPrintable(m_ui.errors.join('\n')));
        const QDir userFolder(QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("reports/ZUB011"));
        m_ui.textAnswers = {QStringLiteral("Cópia da escola %1").arg(QDateTime::currentMSecsSinceEpoch())};
        form->mnuEditRel->trigger();
        const int copyIndex = form->cbbReportNames->currentIndex();
        QVERIFY2(m_ui.errors.isEmpty() && copyIndex >= 2, qPrintable(m_ui.errors.join('\n')));
        const QString copyPath = userFolder.filePath(userFolder.entryList({"*.json"}, QDir::Files, QDir::Time).first());
        QFile copy(copyPath);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QJsonObject layout = QJsonDocument::fromJson(copy.readAll()).object();
        copy.close();
        QCOMPARE(layout.value("origin").toString(), QStringLiteral("01-por-servico.json"));
        QJsonArray queries = layout.value("queries").toArray();
        for (QJsonValueRef query : queries) {
            QJsonObject changed = query.toObject();
            changed["sql"] = QJsonObject{{"generic", "SELECT O.DSSENHA AS NMSERVICO, O.DSSENHA AS CDSERVFILI, O.DSSENHA AS NMFILIAL FROM OPERADOR O"}};
            query = changed;
        }
        layout["queries"] = queries;
        QVERIFY(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
        copy.write(QJsonDocument(layout).toJson());
        copy.close();

        const auto saveCsv = [&](int index, const QString &name) {
            form->cbbReportNames->setCurrentIndex(index);
            m_ui.saveAnswers = {m_dir.filePath(name)};
            form->sbtSalvarComo->click();
            QFile file(m_dir.filePath(name));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        m_ui.notices.clear();
        const QString fromCopy = saveCsv(copyIndex, "copia.csv");
        const QString standard = saveCsv(0, "padrao.csv");
        QVERIFY2(m_ui.errors.isEmpty(), qPrintable(m_ui.errors.join('\n')));
        QVERIFY(!fromCopy.contains("argon2"));
        // The rows, after the line that records the run (which names the layout).
        const auto body = [](const QString &csv) { return csv.section(QStringLiteral("\r\n"), 1); };
        QVERIFY2(body(standard).count("\r\n") > 10, qPrintable(standard));
        QCOMPARE(body(fromCopy), body(standard));
        QCOMPARE(m_ui.notices.filter("traz consultas próprias, que não são usadas").size(), 1);
        QFile::remove(copyPath);
    }

    // Saved on the screen by the central's operator, changed, opened again: the same filters, the
    // period resolved on today's date.
    void savedFiltersComeBackOnTheScreen()
    {
        if (frmCustoPlanXReal)
            frmCustoPlanXReal->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ClientConfig config = m_session->config();
        config.branch = "0001";
        config.operatorCode = "CEN0001";
        config.token = QString::fromLatin1(m_server.signIn("CEN0001", "central0001"));
        QVERIFY(!config.token.isEmpty());
        ScriptedInteraction ui;
        HostSession session(config, m_geral.get());
        HostServices services(ui, session, *m_geral);
        IniProc();
        TfrmCustoPlanXReal *form = frmCustoPlanXReal;
        QVERIFY(form);
        form->FormActivate(form);
        const QJsonObject chosen{{"filiais", QJsonArray{"0101", "0103"}}, {"tiposCardapio", QJsonArray{"01", "02"}},
                                 {"servicos", QJsonArray{"00020"}}, {"diferenca", "total"}, {"nivel", 1}};
        QVERIFY2(Dispatch([&] { form->applyFilterState(chosen); }), qPrintable(ui.errors.join(QLatin1Char('\n'))));
        QJsonObject expected = form->filterState();
        ui.textAnswers = {"Mensal das escolas"};
        ui.rowAnswers = {"Mês anterior", "Sim, com os operadores da central 0001"};
        QVERIFY(Dispatch([&] { form->savedFilters().mnuSalvarFiltrosClick(form->mnuSalvarFiltros); }));

        QVERIFY(Dispatch([&] { form->applyFilterState({{"filiais", "todas"}, {"tiposCardapio", "todos"}, {"nivel", 0}}); }));
        QVERIFY(form->filterState() != expected);
        ui.rowAnswers = {"Mensal das escolas"};
        QVERIFY(Dispatch([&] { form->savedFilters().mnuAbrirFiltrosClick(form->mnuAbrirFiltros); }));
        QVERIFY2(ui.errors.isEmpty() && ui.informations.size() == 1, qPrintable((ui.errors + ui.informations).join('\n')));
        const QDate firstOfMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
        expected["dataInicial"] = firstOfMonth.addMonths(-1).toString("dd/MM/yyyy");
        expected["dataFinal"] = firstOfMonth.addDays(-1).toString("dd/MM/yyyy");
        QCOMPARE(form->filterState(), expected);
        form->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void cleanupTestCase()
    {
        if (frmCustoPlanXReal)
            frmCustoPlanXReal->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(m_server.stop(), 0);
    }
};

QTEST_MAIN(TstScreenIntegration)
#include "tst_screenintegration.moc"
