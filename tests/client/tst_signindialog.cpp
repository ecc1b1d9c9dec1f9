// The sign-in dialog as an operator uses it: typed from the keyboard, Enter signs in, a refusal
// keeps the dialog open, Esc cancels.
#include "client/signindialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using client::Credentials;
using client::SignInDialog;

class TstSignInDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enterSignsInOrKeepsTheRefusal_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("refusal"); // what the server answers; empty: signed in
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("shown");
        QTest::newRow("signed in") << "central0001" << "" << true << 1 << "";
        QTest::newRow("refused") << "errada" << "Operador ou senha incorretos." << false << 1 << "Operador ou senha incorretos.";
        QTest::newRow("no password") << "" << "" << false << 0 << "Informe o operador e a senha.";
    }
    void enterSignsInOrKeepsTheRefusal()
    {
        QFETCH(QString, password);
        QFETCH(QString, refusal);
        QFETCH(bool, accepted);
        QFETCH(int, attempts);
        QFETCH(QString, shown);
        QList<Credentials> tried;
        SignInDialog dialog({}, [&](const Credentials &credentials) {
            tried << credentials;
            return refusal;
        });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QList<QLineEdit *> fields = dialog.findChildren<QLineEdit *>();
        QCOMPARE(fields.size(), 2);
        QTest::keyClicks(fields[0], "cen0001");
        QTest::keyClicks(fields[1], password);
        QTest::keyClick(fields[1], Qt::Key_Return);

        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QCOMPARE(tried.size(), attempts);
        if (attempts > 0) {
            QCOMPARE(tried[0].operatorCode, QStringLiteral("cen0001"));
            QCOMPARE(tried[0].password, password);
        }
        const QLabel *problem = dialog.findChild<QLabel *>(QStringLiteral("problema"));
        QVERIFY(problem);
        QCOMPARE(problem->isVisible() ? problem->text() : QString(), shown);
        if (attempts > 0 && !accepted) // the next try starts on an empty password
            QVERIFY(fields[1]->text().isEmpty());
    }

    void escapeCancels()
    {
        int attempts = 0;
        SignInDialog dialog(QStringLiteral("CEN0001"), [&](const Credentials &) {
            ++attempts;
            return QString();
        });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(attempts, 0);
    }
};

QTEST_MAIN(TstSignInDialog)
#include "tst_signindialog.moc"
