// The preview window over pages that record which of them were painted: only what comes into
// sight is painted, the keys and the page box move through the pages, the zoom follows the keys,
// the kept images stay within their budget, and "Imprimir…" prints from the window.
#include "host/services/previewpages.h"
#include "host/widgets/previewpageview.h"
#include "host/widgets/reportpreviewdialog.h"
#include "support/testhost.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

using namespace host;

namespace {

class RecordingPages : public PreviewPages
{
public:
    explicit RecordingPages(int count) : m_count(count) {}
    int pageCount() const override { return m_count; }
    QSizeF pageSize() const override { return {595, 842}; } // A4 in points
    QImage pageImage(int index, const QSize &size) const override
    {
        painted.append(index);
        lastSize = size;
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }
    void print(QWidget *window) override { printedOver.append(window); }

    mutable QList<int> painted;
    mutable QSize lastSize;
    QList<QWidget *> printedOver;

private:
    int m_count;
};

} // namespace

class TstReportPreview : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHost> m_host; // the dispatcher of "Imprimir…" shows its errors through it
    std::unique_ptr<RecordingPages> m_pages;
    std::unique_ptr<ReportPreviewDialog> m_dialog;

    ReportPreviewDialog *open(int pages)
    {
        m_pages = std::make_unique<RecordingPages>(pages);
        m_dialog = std::make_unique<ReportPreviewDialog>(QStringLiteral("Relatório longo"), *m_pages);
        m_dialog->resize(900, 700);
        m_dialog->show();
        if (!QTest::qWaitForWindowExposed(m_dialog.get()))
            return nullptr;
        QCoreApplication::processEvents();
        return m_dialog.get();
    }

private Q_SLOTS:
    void init() { m_host = std::make_unique<TestHost>(); }
    void cleanup()
    {
        m_dialog.reset();
        m_host.reset();
    }

    void onlyThePagesInSightArePainted()
    {
        ReportPreviewDialog *dialog = open(676);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Visualizar: Relatório longo"));
        QCOMPARE(dialog->pageBox()->text(), QStringLiteral("Página 1 de 676"));
        QVERIFY(m_pages->painted.contains(0));
        QVERIFY2(*std::max_element(m_pages->painted.begin(), m_pages->painted.end()) <= 1, qPrintable(QString::number(m_pages->painted.size())));

        m_pages->painted.clear();
        QTest::keyClick(dialog, Qt::Key_End);
        QCoreApplication::processEvents();
        QCOMPARE(dialog->pageBox()->text(), QStringLiteral("Página 676 de 676"));
        QVERIFY(m_pages->painted.contains(675));
        QVERIFY2(*std::min_element(m_pages->painted.begin(), m_pages->painted.end()) >= 674, qPrintable(QString::number(m_pages->painted.first())));

        // The page box: a number and Enter.
        m_pages->painted.clear();
        QLineEdit *box = dialog->pageBox()->findChild<QLineEdit *>();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("42"));
        QTest::keyClick(box, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(dialog->view()->currentPage(), 41);
        QVERIFY(m_pages->painted.contains(41));
        QVERIFY(!m_pages->painted.contains(40) && !m_pages->painted.contains(675));
    }

    void keys_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("zoom"); // against the zoom fitted to the width: -1, 0 or 1
        QTest::newRow("PgDn twice") << QKeySequence("PgDown, PgDown") << 3 << 0;
        QTest::newRow("PgDn, PgUp") << QKeySequence("PgDown, PgUp") << 1 << 0;
        QTest::newRow("PgUp on the first") << QKeySequence("PgUp") << 1 << 0;
        QTest::newRow("End, PgUp") << QKeySequence("End, PgUp") << 19 << 0;
        QTest::newRow("End, PgDn on the last") << QKeySequence("End, PgDown") << 20 << 0;
        QTest::newRow("End, Home") << QKeySequence("End, Home") << 1 << 0;
        QTest::newRow("Ctrl+End, Ctrl+Home") << QKeySequence("Ctrl+End, Ctrl+Home") << 1 << 0;
        QTest::newRow("Ctrl++") << QKeySequence(QKeySequence::ZoomIn) << 1 << 1;
        QTest::newRow("Ctrl+=") << QKeySequence("Ctrl+=") << 1 << 1;
        QTest::newRow("Ctrl+-") << QKeySequence(QKeySequence::ZoomOut) << 1 << -1;
        QTest::newRow("PgDn, Ctrl+- twice") << QKeySequence("PgDown, Ctrl+-, Ctrl+-") << 2 << -1;
    }
    void keys()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(int, page);
        QFETCH(int, zoom);
        ReportPreviewDialog *dialog = open(20);
        QVERIFY(dialog);
        const qreal fitted = dialog->view()->zoom();
        for (int i = 0; i < keys.count(); ++i)
            QTest::keyClick(dialog->view(), keys[i].key(), keys[i].keyboardModifiers());
        QCOMPARE(dialog->pageBox()->value(), page);
        QCOMPARE(dialog->view()->currentPage(), page - 1);
        QCOMPARE(int(dialog->view()->zoom() > fitted) - int(dialog->view()->zoom() < fitted), zoom);
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog->view(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }

    // Regression guard for a preview that kept every page it ever showed.
    void keptImagesStayWithinTheirBudget()
    {
        ReportPreviewDialog *dialog = open(200);
        QVERIFY(dialog);
        for (int page = 1; page < 200; ++page) {
            QTest::keyClick(dialog->view(), Qt::Key_PageDown);
            QCoreApplication::processEvents();
        }
        QCOMPARE(dialog->view()->currentPage(), 199);
        QVERIFY(m_pages->painted.contains(199));
        // The budget's worth, and the two pages in sight at the most.
        const qsizetype imageBytes = qsizetype(m_pages->lastSize.width()) * m_pages->lastSize.height() * 4;
        QVERIFY2(dialog->view()->keptPages() <= PreviewPageView::kImageBudget / imageBytes + 2,
                 qPrintable(QString::number(dialog->view()->keptPages())));
    }

    void everyControlIsNamedAndPrintPrintsFromTheWindow()
    {
        ReportPreviewDialog *dialog = open(3);
        QVERIFY(dialog);
        QStringList unnamed;
        for (QWidget *control : dialog->findChildren<QWidget *>()) {
            if ((qobject_cast<QAbstractButton *>(control) || qobject_cast<QAbstractSpinBox *>(control)
                 || qobject_cast<QAbstractScrollArea *>(control)) && control->accessibleName().isEmpty())
                unnamed << control->metaObject()->className();
        }
        QCOMPARE(unnamed, QStringList());
        QTest::mouseClick(dialog->printButton(), Qt::LeftButton);
        QTest::keyClick(dialog->view(), Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(m_pages->printedOver, (QList<QWidget *>{dialog, dialog}));
    }
};

QTEST_MAIN(TstReportPreview)
#include "tst_reportpreview.moc"
