// "Visualizar" of a large report as the desktop client makes it, in this process: the screen
// PKG_ZUB01100 with its filters, the host's report dialog and preview window (QtUserInteraction),
// the rows from a real zub-server on the given database. Measures
//   - the time from the start of the report's data (the layout's queries) to page 1 painted in the
//     window, and from the document complete (every row in) to page 1;
//   - the event loop's longest gap from the click until page 1 is on screen;
//   - each later page as the user reaches it (PgDn through the whole report, in the first run);
//   - this process's peak resident memory (the client's: the server runs apart);
//   - how long "Cancelar" takes to give the screen back, pressed while the server prepares the
//     data and while the rows arrive, and what the cancelled runs left on the server.
//
//   zub-bench-preview --database sqlite:/tmp/zub-bench/bench300.db [--repeat 5] [--layout 1]
// The database holds the demo of a large central (zub-server --create-demo --branches 300).
#include "benchfigures.h"

#include "Cli_zub01100.h"
#include "host/data/errors.h"
#include "host/services/hostservices.h"
#include "host/services/session.h"
#include "host/network/serverdata.h"
#include "host/widgets/busyindicator.h"
#include "host/widgets/busyoverlay.h"
#include "host/widgets/previewpageview.h"
#include "host/widgets/qtuserinteraction.h"
#include "host/widgets/reportpreviewdialog.h"
#include "host/work/longwork.h"
#include "wire/databaseurl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <optional>
#include <sys/resource.h>

using namespace bench;

namespace {

const QByteArray kToken = "token-do-benchmark-0123456789";
const QString kDataStage = QStringLiteral("Montando o relatório…");
const QString kPagesStage = QStringLiteral("Paginando o relatório…");

double sinceMs(const QElapsedTimer &clock, qint64 mark)
{
    return (clock.nsecsElapsed() - mark) / 1e6;
}

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The longest wait between two turns of the event loop: a timer that asks for a turn every 5 ms.
class LoopProbe
{
public:
    LoopProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = qMax(m_longest, m_sinceTick.nsecsElapsed() / 1e6);
            m_sinceTick.start();
        });
    }
    void start()
    {
        m_longest = 0;
        m_sinceTick.start();
        m_timer.start(5);
    }
    // The longest gap so far, the one under way included.
    double longest() const { return qMax(m_longest, m_sinceTick.nsecsElapsed() / 1e6); }
    void stop() { m_timer.stop(); }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_longest = 0;
};

// Tells of the preview window as it is shown, before its first paint.
class ShowWatch : public QObject
{
public:
    explicit ShowWatch(std::function<void(host::ReportPreviewDialog *)> shown) : m_shown(std::move(shown))
    {
        QApplication::instance()->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            if (auto *dialog = qobject_cast<host::ReportPreviewDialog *>(watched))
                m_shown(dialog);
        return false;
    }

private:
    std::function<void(host::ReportPreviewDialog *)> m_shown;
};

struct PreviewRun {
    double dataToFirstPage = 0;     // the layout's queries start → page 1 painted
    double documentToFirstPage = 0; // every row in, the document built → page 1 painted
    double longestGap = 0;          // from the click to page 1 painted
    int pages = 0;
    QList<double> laterPages;       // each page as PgDn reaches it (the browsing run only)
    int keptPages = 0;              // page images the window holds at the end of the browsing
    QSize viewport;                 // where the pages are shown
};

struct CancelRun {
    bool reached = false;
    double screenBack = 0; // the click on "Cancelar" → the command ended, clean-up included
};

class Bench
{
public:
    Bench(TfrmCustoPlanXReal &form, const QString &database) : m_form(form), m_database(database) { m_clock.start(); }

    // One preview to page 1, then (browsing) every page by PgDn, then the window closed.
    PreviewRun preview(bool browse)
    {
        PreviewRun run;
        std::optional<qint64> dataStart, documentDone;
        host::setWorkStageListener([&](const QString &stage) {
            if (stage == kDataStage)
                dataStart = m_clock.nsecsElapsed();
            else if (stage == kPagesStage)
                documentDone = m_clock.nsecsElapsed();
        });
        LoopProbe probe;
        bool firstPage = false;
        // The window's first paint ends the measure; the rest runs from the event loop after it.
        QObject watcher;
        ShowWatch shown([&](host::ReportPreviewDialog *dialog) {
            // The size it takes on a 1280×900 screen, whatever the offscreen screen is.
            dialog->resize(1000, 810);
            run.pages = dialog->pageBox()->maximum();
            QObject::connect(dialog->view(), &host::PreviewPageView::pageRendered, &watcher, [&, dialog](int page) {
                if (page != 0 || firstPage)
                    return;
                firstPage = true;
                run.longestGap = probe.longest();
                probe.stop();
                run.dataToFirstPage = dataStart ? sinceMs(m_clock, *dataStart) : -1;
                run.documentToFirstPage = documentDone ? sinceMs(m_clock, *documentDone) : -1;
                QTimer::singleShot(0, dialog, [&, dialog] {
                    if (browse) {
                        for (int index = 1; index < run.pages; ++index)
                            run.laterPages << timed([&] {
                                dialog->view()->showPage(index);
                                dialog->view()->viewport()->repaint();
                            });
                        run.keptPages = dialog->view()->keptPages();
                        run.viewport = dialog->view()->viewport()->size();
                    }
                    dialog->reject();
                });
            });
        });
        probe.start();
        m_form.sbtPreview->click();
        host::setWorkStageListener({});
        if (!firstPage)
            throw Failure{QStringLiteral("a visualização não mostrou a primeira página")};
        return run;
    }

    // A preview cancelled `delayMs` after `stage` begins, as the panel's "Cancelar" is pressed.
    CancelRun cancelled(const QString &stage, int delayMs)
    {
        CancelRun run;
        qint64 pressed = 0;
        QObject watcher;
        host::setWorkStageListener([&](const QString &now) {
            if (now != stage)
                return;
            QTimer::singleShot(delayMs, &watcher, [&] {
                if (host::workStage() != stage || !host::BusyPanel() || run.reached)
                    return;
                run.reached = true;
                pressed = m_clock.nsecsElapsed();
                host::BusyPanel()->cancelButton()->click();
            });
        });
        m_form.sbtPreview->click();
        host::setWorkStageListener({});
        run.screenBack = sinceMs(m_clock, pressed);
        if (QApplication::activeModalWidget())
            throw Failure{QStringLiteral("a visualização abriu depois de cancelada")};
        return run;
    }

    // The plans and lists that runs left on the server.
    QString leftOnServer() const
    {
        const auto url = wire::DatabaseUrl::parse(m_database);
        QSqlDatabase db = QSqlDatabase::addDatabase(url->qtDriver(), QStringLiteral("preview-bench-check"));
        url->applyTo(db);
        QString answer;
        if (db.open()) {
            for (const QString &table : {QStringLiteral("CONSPLAN"), QStringLiteral("ITCONSPLAN"), QStringLiteral("LISTA")}) {
                QSqlQuery count(db);
                count.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table);
                answer += QStringLiteral("%1%2 %3").arg(answer.isEmpty() ? QString() : QStringLiteral(", "), table).arg(count.next() ? count.value(0).toLongLong() : -1);
            }
            db.close();
        } else {
            answer = QStringLiteral("banco ilegível");
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("preview-bench-check"));
        return answer;
    }

private:
    TfrmCustoPlanXReal &m_form;
    QString m_database;
    QElapsedTimer m_clock;
};

void table(const QList<std::pair<QString, QString>> &rows)
{
    say(QStringLiteral("\n| Medida | Valor |\n|---|---:|"));
    for (const auto &[what, value] : rows)
        say(QStringLiteral("| %1 | %2 |").arg(what, value));
}

} // namespace

int main(int argc, char *argv[])
{
    // On a display (tests/support/desktop-session.sh, as bench/run-all.sh runs it) the window is a
    // desktop's; without one, offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mede a visualização de um relatório grande no cliente: primeira página, laço de eventos, "
                                                    "memória e cancelamento."));
    parser.addHelpOption();
    parser.addOptions({
        {"database", "Banco com a demonstração de uma central grande (zub-server --create-demo --branches 300).", "endereço"},
        {"repeat", "Visualizações medidas (padrão 5); a primeira também percorre todas as páginas.", "n", "5"},
        {"layout", "Layout do relatório (padrão 1: por filial agregada).", "n", "1"},
        {"server", "Caminho do zub-server.", "arquivo", QCoreApplication::applicationDirPath() + "/zub-server"},
    });
    parser.process(app);
    QString error;
    if (!wire::DatabaseUrl::parse(parser.value("database"), &error)) {
        say(QStringLiteral("zub-bench-preview: %1").arg(error.isEmpty() ? QStringLiteral("informe --database") : error));
        return 2;
    }
    const int repeat = qMax(1, parser.value("repeat").toInt());
    try {
        QTemporaryDir dir;
        QProcess server;
        const quint16 port = startServer(server, parser.value("server"), parser.value("database"), dir.filePath("server.token"), kToken);

        host::ClientConfig config;
        config.branch = QStringLiteral("0001");
        config.operatorCode = QStringLiteral("BENCH");
        config.serverPort = port;
        config.token = QString::fromLatin1(kToken);
        config.reportsDir = QStringLiteral(ZUB_SOURCE_DIR "/reports");
        host::TdtmDBGeral database;
        database.useServer(std::make_shared<host::ServerDataSource>(QStringLiteral("127.0.0.1"), port));
        host::HostSession session(config, &database);
        host::QtUserInteraction ui;
        QWidget window;
        window.resize(1280, 900);
        window.show();
        host::HostServices services(ui, session, database, &window);
        CriaCustoPlanXReal();
        TfrmCustoPlanXReal *form = frmCustoPlanXReal;
        if (!form)
            throw Failure{QStringLiteral("a tela não abriu")};
        form->FormActivate(form);
        form->applyFilterState(QJsonObject{{"relatorio", parser.value("layout").toInt()}, {"filiais", "todas"}, {"servicos", "todos"},
                                           {"tiposCardapio", "todos"}, {"estocaveis", true}, {"naoEstocaveis", true},
                                           {"diferenca", "total"}, {"dataInicial", "01/01/2025"}, {"dataFinal", "31/12/2025"}});
        Bench bench(*form, parser.value("database"));
        bench.preview(false); // warms the server's caches and the fonts, as a session that has run reports has them

        QList<PreviewRun> runs;
        for (int i = 0; i < repeat; ++i)
            runs << bench.preview(i == 0);
        QList<double> dataToFirst, documentToFirst, gaps;
        for (const PreviewRun &run : runs) {
            dataToFirst << run.dataToFirstPage;
            documentToFirst << run.documentToFirstPage;
            gaps << run.longestGap;
        }
        const PreviewRun &browsed = runs.first();
        const long peak = peakMegabytes();

        // The database may hold what other clients (or a client that was killed) left.
        const QString before = bench.leftOnServer();
        QList<double> preparationCancels, dataCancels;
        int missed = 0;
        for (int i = 0; i < repeat; ++i) {
            for (const auto &[stage, times] : {std::pair{QStringLiteral("Preparando os dados…"), &preparationCancels}, std::pair{kDataStage, &dataCancels}}) {
                const CancelRun cancel = bench.cancelled(stage, 150);
                if (cancel.reached)
                    *times << cancel.screenBack;
                else
                    ++missed;
            }
        }
        const QString after = bench.leftOnServer();
        const QString left = after == before ? QStringLiteral("nada (%1, antes e depois)").arg(after)
                                             : QStringLiteral("antes %1; depois %2").arg(before, after);
        const QString report = QStringLiteral("layout %1, todas as escolas, ano (%2 p.)").arg(parser.value("layout").toInt() + 1, 2, 10, QLatin1Char('0')).arg(browsed.pages);
        QList<std::pair<QString, QString>> rows{
            {QStringLiteral("Visualizar, %1: do início dos dados à página 1 na tela (meta: até 2 s)").arg(report), spread(dataToFirst)},
            {QStringLiteral("  … do documento pronto (todas as linhas recebidas) à página 1"), spread(documentToFirst)},
            {QStringLiteral("  … maior intervalo do laço de eventos, do clique à página 1 (meta: até 100 ms)"), spread(gaps)},
            {QStringLiteral("  … cada página seguinte, PgDn até a última (%1 p.)").arg(browsed.laterPages.size()),
             QStringLiteral("%1; a mais lenta %2").arg(spread(browsed.laterPages), ms(*std::max_element(browsed.laterPages.begin(), browsed.laterPages.end())))},
            {QStringLiteral("  … pico de memória do cliente, depois de percorrer todas as páginas (meta: até 300 MB)"),
             QStringLiteral("%1 MB; %2 páginas guardadas ao fim, vista de %3×%4").arg(peak).arg(browsed.keptPages).arg(browsed.viewport.width()).arg(browsed.viewport.height())},
        };
        if (!preparationCancels.isEmpty())
            rows.append({QStringLiteral("  … \"Cancelar\" durante a preparação: até a tela voltar (meta: até 1 s)"), spread(preparationCancels)});
        if (!dataCancels.isEmpty())
            rows.append({QStringLiteral("  … \"Cancelar\" enquanto chegam as linhas: até a tela voltar (meta: até 1 s)"), spread(dataCancels)});
        rows.append({QStringLiteral("  … deixado no servidor depois dos cancelamentos"),
                     missed ? QStringLiteral("%1 (%2 cancelamentos chegaram tarde)").arg(left).arg(missed) : left});
        table(rows);
        if (frmCustoPlanXReal)
            frmCustoPlanXReal->Close();
        server.terminate();
        server.waitForFinished();
    } catch (const Failure &failure) {
        say(QStringLiteral("zub-bench-preview: %1").arg(failure.message));
        return 1;
    } catch (const host::HostError &failure) {
        say(QStringLiteral("zub-bench-preview: %1").arg(failure.text()));
        return 1;
    }
    return 0;
}
