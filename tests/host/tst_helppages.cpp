// The help pages that ship with the client: each link between them leads to a page and an anchor
// that exist, and the help window follows them, with back, forward and home.
#include "host/data/errors.h"
#include "host/services/helptopics.h"
#include "host/services/programfolders.h"
#include "host/widgets/helpwindow.h"

#include <QAction>
#include <QDir>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

class TstHelpPages : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(help().filePath(host::HelpIndexPage())).isFile(), qPrintable(help().path()));
        for (const QString &page : host::HelpTopicPages())
            QVERIFY2(QFileInfo(help().filePath(page)).isFile(), qPrintable(page));
    }

    void linksLeadToPagesAndAnchors_data()
    {
        QTest::addColumn<QString>("page");
        for (const QString &page : help().entryList({QStringLiteral("*.html")}))
            QTest::newRow(qPrintable(page)) << page;
    }
    void linksLeadToPagesAndAnchors()
    {
        QFETCH(QString, page);
        static const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\""));
        const QString html = read(page);
        int links = 0;
        for (auto match = link.globalMatch(html); match.hasNext(); ++links) {
            const QUrl target(match.next().captured(1));
            const QString file = target.path().isEmpty() ? page : target.path();
            QVERIFY2(target.scheme().isEmpty() && QFileInfo(help().filePath(file)).isFile(), qPrintable(target.toString()));
            if (target.hasFragment())
                QVERIFY2(read(file).contains(QStringLiteral("name=\"%1\"").arg(target.fragment())), qPrintable(target.toString()));
        }
        QVERIFY(links > 1); // the style sheet and at least one other page
    }

    // Keyboard only, as a screen reader's user goes: Tab reaches a link, Enter follows it.
    void windowFollowsLinksBackForwardAndHome()
    {
        host::HelpWindow *window = host::HelpWindow::showPage(help().filePath(QStringLiteral("modo-lote.html")), nullptr);
        QCOMPARE(window->windowTitle(), QStringLiteral("Ajuda - O relatório em lote"));
        QVERIFY(!window->backAction()->isEnabled());
        QTest::keyClick(window->browser(), Qt::Key_Tab);
        QTest::keyClick(window->browser(), Qt::Key_Return);
        QCOMPARE(window->windowTitle(), QStringLiteral("Ajuda - Índice"));
        window->backAction()->trigger();
        QCOMPARE(window->windowTitle(), QStringLiteral("Ajuda - O relatório em lote"));
        QVERIFY(window->forwardAction()->isEnabled());

        // One help window: another topic opens in it, and home is the index whatever page it opened on.
        QCOMPARE(host::HelpWindow::showPage(help().filePath(QStringLiteral("custoplanxreal.html")), nullptr), window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Ajuda - Custo Planejado X Realizado"));
        window->homeAction()->trigger();
        QCOMPARE(window->windowTitle(), QStringLiteral("Ajuda - Índice"));
        window->close();
    }

    void aMissingPageIsTold()
    {
        const QString missing = help().filePath(QStringLiteral("nao-existe.html"));
        try {
            host::HelpWindow::showPage(missing, nullptr);
            QFAIL("no error for a missing page");
        } catch (const host::HostError &error) {
            QVERIFY2(error.text().contains(missing), qPrintable(error.text()));
        }
    }

private:
    static QDir help() { return QDir(host::HelpFolder()); }
    static QString read(const QString &page)
    {
        QFile file(help().filePath(page));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

QTEST_MAIN(TstHelpPages)
#include "tst_helppages.moc"
