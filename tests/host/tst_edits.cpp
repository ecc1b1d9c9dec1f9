// The date edit and the masked code edit, typed into as a user does.
#include "support/testhost.h"

#include "host/services/dispatcher.h"
#include "host/widgets/dateeditplus.h"
#include "host/widgets/maskedit.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

using namespace host;

class TestEdits : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_host = std::make_unique<TestHost>(); }
    void cleanup() { m_host.reset(); }

    void typedDates_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<bool>("passesCheck");
        QTest::newRow("valid") << "16032026" << QDate(2026, 3, 16) << true;
        QTest::newRow("leap day") << "29022028" << QDate(2028, 2, 29) << true;
        QTest::newRow("not a leap year") << "29022026" << QDate() << false;
        QTest::newRow("month 13") << "01132026" << QDate() << false;
        QTest::newRow("half typed") << "1603" << QDate() << false;
        QTest::newRow("empty") << "" << QDate() << true;
    }
    void typedDates()
    {
        QFETCH(QString, typed);
        QFETCH(QDate, date);
        QFETCH(bool, passesCheck);
        TDateEditPlus edit;
        edit.show();
        edit.lineEdit()->setFocus();
        edit.lineEdit()->home(false);
        QTest::keyClicks(edit.lineEdit(), typed);
        QCOMPARE(edit.GetDate(), date);
        const bool passed = Dispatch([&] { edit.CheckValidDate(); });
        QCOMPARE(passed, passesCheck);
        QCOMPARE(m_host->ui.errors, passesCheck ? QStringList{} : QStringList{QStringLiteral("Data inválida")});
        QCOMPARE(edit.lineEdit()->palette().color(QPalette::Text) == QColor(Qt::blue), date.isValid());
        if (typed.isEmpty())
            QCOMPARE(edit.text(), QString());
    }

    void monthBounds_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QDate>("first");
        QTest::addColumn<QDate>("last");
        QTest::newRow("february leap") << QDate(2028, 2, 10) << QDate(2028, 2, 1) << QDate(2028, 2, 29);
        QTest::newRow("december") << QDate(2026, 12, 31) << QDate(2026, 12, 1) << QDate(2026, 12, 31);
        QTest::newRow("empty") << QDate() << QDate() << QDate();
    }
    void monthBounds()
    {
        QFETCH(QDate, date);
        QFETCH(QDate, first);
        QFETCH(QDate, last);
        TDateEditPlus edit;
        edit.SetDate(date);
        QCOMPARE(edit.GetPrimDia(), first);
        QCOMPARE(edit.GetUltDia(), last);
        QCOMPARE(edit.text(), date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString());
    }

    // The change event follows the date the user makes, once per change, and never on SetDate.
    void dateChangeEvent()
    {
        TDateEditPlus edit;
        QList<QDate> seen;
        edit.OnDateChange = [&](QObject *sender) {
            QCOMPARE(sender, &edit);
            seen.append(edit.GetDate());
        };
        edit.SetDate(QDate(2026, 3, 16));
        QVERIFY(seen.isEmpty());
        edit.show();
        edit.lineEdit()->setFocus();
        edit.lineEdit()->setCursorPosition(0);
        QTest::keyClicks(edit.lineEdit(), QStringLiteral("1")); // overtypes "1": same date
        QVERIFY(seen.isEmpty());
        edit.lineEdit()->setCursorPosition(0);
        QTest::keyClicks(edit.lineEdit(), QStringLiteral("27"));
        QCOMPARE(seen, (QList<QDate>{QDate(2026, 3, 26), QDate(2026, 3, 27)}));
        edit.lineEdit()->selectAll();
        QTest::keyClick(edit.lineEdit(), Qt::Key_Delete);
        QCOMPARE(seen.size(), 3);
        QVERIFY(!seen.last().isValid());
        QVERIFY(edit.isEmpty());
    }

    void calendarPickRaisesChange()
    {
        TDateEditPlus edit;
        int changes = 0;
        edit.OnDateChange = [&](QObject *) { ++changes; };
        edit.SetDate(QDate(2026, 3, 16));
        edit.show();
        edit.lineEdit()->setFocus();
        QTest::keyClick(edit.lineEdit(), Qt::Key_F4);
        QCalendarWidget *calendar = edit.calendar();
        QVERIFY(calendar->isVisible());
        QCOMPARE(calendar->selectedDate(), QDate(2026, 3, 16));
        calendar->setSelectedDate(QDate(2026, 3, 20));
        Q_EMIT calendar->activated(calendar->selectedDate());
        QCOMPARE(edit.GetDate(), QDate(2026, 3, 20));
        QCOMPARE(changes, 1);
        QVERIFY(!calendar->isVisible());
    }

    void exitEventOnLeaving()
    {
        QWidget window;
        auto *edit = new TDateEditPlus(&window);
        auto *next = new QLineEdit(&window);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(edit);
        layout->addWidget(next);
        int exits = 0;
        edit->OnExit = [&](QObject *sender) {
            QCOMPARE(sender, edit);
            ++exits;
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QTest::keyClick(edit->lineEdit(), Qt::Key_Tab);
        QCOMPARE(exits, 1);
        QVERIFY(next->hasFocus());
    }

    void codeMask_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("upper case") << "ab1" << "AB1";
        QTest::newRow("at most four") << "abcdef" << "ABCD";
        QTest::newRow("no punctuation or blanks") << "a-b c.d" << "ABCD";
        QTest::newRow("no accented letters") << "çã12" << "12";
        QTest::newRow("digits") << "0001" << "0001";
    }
    void codeMask()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        TMaskEdit edit;
        // Character by character with its text, as a keyboard layout with "ç" sends it.
        for (const QChar c : typed)
            QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(edit.text(), text);
        QCOMPARE(edit.hasAcceptableInput(), true);
    }

    void requiredMaskSlots()
    {
        TMaskEdit edit(QStringLiteral(">LL00;0; "));
        QTest::keyClicks(&edit, QStringLiteral("a1"));
        QCOMPARE(edit.text(), QStringLiteral("A"));
        QVERIFY(!edit.hasAcceptableInput());
        QTest::keyClicks(&edit, QStringLiteral("b23"));
        QCOMPARE(edit.text(), QStringLiteral("AB23"));
        QVERIFY(edit.hasAcceptableInput());
    }

private:
    std::unique_ptr<TestHost> m_host;
};

QTEST_MAIN(TestEdits)
#include "tst_edits.moc"
