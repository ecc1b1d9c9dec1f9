// The multi-select list (PesquisaLista), the lookup button and their real dialogs.
#include "branchrows.h"
#include "support/testhost.h"

#include "host/data/errors.h"
#include "host/widgets/btnpesquisa.h"
#include "host/widgets/lookupdialog.h"
#include "host/widgets/multiselectdialog.h"
#include "host/widgets/pesquisalista.h"
#include "host/widgets/qtuserinteraction.h"
#include "wire/keylist.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace host;

class TestSelectionDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_host = std::make_unique<TestHost>();
        m_data = std::make_unique<TClientDataSet>(QStringLiteral("cdsFiliAgreg"));
        m_source = std::make_unique<TDataSource>(m_data.get(), QStringLiteral("dtsFiliAgreg"));
        loadBranchRows(*m_data, fourBranches());
        m_edit = std::make_unique<QLineEdit>();
        m_button = std::make_unique<TBtnPesquisa>();
        m_button->setAssociate(m_edit.get());
        m_button->DataSource = m_source.get();
    }
    void cleanup()
    {
        m_button.reset();
        m_edit.reset();
        m_source.reset();
        m_data.reset();
        m_host.reset();
    }

    void keyList_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<QStringList>("marked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("row order, not marking order") << "" << QStringList{"0004", "0001"} << "_0001_0004_";
        QTest::newRow("nothing marked gives empty") << "_0002_" << QStringList{} << "";
        QTest::newRow("all marked") << "" << QStringList{"0003", "0002", "0001", "0004"} << "_0001_0002_0003_0004_";
        QTest::newRow("keys no longer listed drop out") << "_0009_0002_" << QStringList{"0002"} << "_0002_";
    }
    void keyList()
    {
        QFETCH(QString, received);
        QFETCH(QStringList, marked);
        QFETCH(QString, expected);
        m_host->ui.markAnswers.append(marked);
        QString keyList = received;
        QVERIFY(PesquisaLista(m_source.get(), QStringLiteral("CDFILIAL"), QStringLiteral("Filial Agregada|Nada"), false, keyList));
        QCOMPARE(keyList, expected);
    }

    void preMarks_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<QList<bool>>("expected");
        QTest::newRow("with leading _") << "_0003_0001_" << false << QList<bool>{true, false, true, false};
        QTest::newRow("without leading _") << "0002_" << false << QList<bool>{false, true, false, false};
        QTest::newRow("a key that is a prefix of another marks nothing") << "_000_" << false << QList<bool>{false, false, false, false};
        QTest::newRow("flag adds the stored IDMARCADO marks") << "_0001_" << true << QList<bool>{true, true, false, false};
    }
    void preMarks()
    {
        QFETCH(QString, received);
        QFETCH(bool, flag);
        QFETCH(QList<bool>, expected);
        QString keyList = received;
        PesquisaLista(m_source.get(), QStringLiteral("CDFILIAL"), QStringLiteral("T|E"), flag, keyList);
        QCOMPARE(m_host->ui.markRequests.size(), 1);
        QCOMPARE(m_host->ui.markRequests[0].marks, expected);
    }

    void cancelKeepsTheList()
    {
        m_host->ui.markAnswers.append(std::nullopt);
        QString keyList = QStringLiteral("_0002_");
        QVERIFY(!PesquisaLista(m_source.get(), QStringLiteral("CDFILIAL"), QStringLiteral("T|E"), false, keyList));
        QCOMPARE(keyList, QStringLiteral("_0002_"));
    }

    void titlesAndHiddenMarkColumn()
    {
        m_data->FieldByName(QStringLiteral("IDMARCADO"))->setVisible(true);
        m_host->ui.markAnswers.append(QStringList{});
        QString keyList;
        PesquisaLista(m_source.get(), QStringLiteral("CDFILIAL"), QStringLiteral("Filial Agregada|Não há filial."), false, keyList);
        const MultiChoiceRequest &request = m_host->ui.markRequests.at(0);
        QCOMPARE(request.table.title, QStringLiteral("Filial Agregada"));
        QCOMPARE(request.table.headers, (QStringList{"Código", "Nome"}));
        QCOMPARE(request.table.rows.at(1), (QStringList{"0002", "EM Vila Nova"}));
    }

    void emptyDataSetShowsTheEmptyText()
    {
        loadBranchRows(*m_data, {});
        QString keyList = QStringLiteral("_0001_");
        QVERIFY(!PesquisaLista(m_source.get(), QStringLiteral("CDFILIAL"), QStringLiteral("Serviço|Não há serviço cadastrado."), false, keyList));
        QCOMPARE(m_host->ui.informations, QStringList{QStringLiteral("Não há serviço cadastrado.")});
        QVERIFY(m_host->ui.markRequests.isEmpty());
        QCOMPARE(keyList, QStringLiteral("_0001_"));
    }

    void splitAndJoin_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("dialog form") << "_01_02_" << QStringList{"01", "02"};
        QTest::newRow("built form") << "01_02_" << QStringList{"01", "02"};
    }
    void splitAndJoin()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, keys);
        QCOMPARE(wire::splitKeyList(list), keys);
        QCOMPARE(wire::splitKeyList(wire::joinKeyList(keys)), keys);
    }

    // The real dialog, driven by keys: search, Space, mark all over the filtered rows, Enter.
    void multiSelectDialogByKeyboard()
    {
        MultiChoiceRequest request;
        request.table = ChoiceTable::fromDataSet(*m_data, QStringLiteral("Filial Agregada"), {QStringLiteral("IDMARCADO")});
        request.keys = QStringList{"0001", "0002", "0003", "0004"};
        request.marks = {false, true, false, false};
        MultiSelectDialog dialog(request);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.marks(), (QList<bool>{false, true, false, false}));

        QTest::keyClicks(dialog.searchEdit(), QStringLiteral("jardim"));
        QCOMPARE(dialog.shownRowCount(), 2);
        QTest::mouseClick(dialog.markAllButton(), Qt::LeftButton);
        QCOMPARE(dialog.marks(), (QList<bool>{true, true, false, true}));

        dialog.searchEdit()->clear();
        QCOMPARE(dialog.shownRowCount(), 4);
        dialog.tableView()->setFocus();
        QTest::keyClick(dialog.tableView(), Qt::Key_Down); // to 0002
        QTest::keyClick(dialog.tableView(), Qt::Key_Space);
        QCOMPARE(dialog.marks(), (QList<bool>{true, false, false, true}));

        // From an empty search box: arrows move, Space marks; after a letter Space types.
        dialog.searchEdit()->setFocus();
        QTest::keyClick(dialog.searchEdit(), Qt::Key_Down); // to 0003
        QTest::keyClick(dialog.searchEdit(), Qt::Key_Space);
        QCOMPARE(dialog.marks(), (QList<bool>{true, false, true, true}));
        QTest::keyClicks(dialog.searchEdit(), QStringLiteral("em "));
        QCOMPARE(dialog.searchEdit()->text(), QStringLiteral("em "));
        QCOMPARE(dialog.marks(), (QList<bool>{true, false, true, true}));
        dialog.searchEdit()->clear();
        QTest::keyClick(dialog.searchEdit(), Qt::Key_Space); // 0003 again
        QTest::keyClick(&dialog, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(wire::markedKeyList(request.keys, dialog.marks()), QStringLiteral("_0001_0004_"));
    }

    void multiSelectDialogEscapeCancels()
    {
        m_host->ui.markAnswers.clear();
        QtUserInteraction qtUi;
        MultiChoiceRequest request;
        request.table = ChoiceTable::fromDataSet(*m_data, QStringLiteral("T"));
        request.keys = QStringList{"0001", "0002", "0003", "0004"};
        request.marks = {false, false, false, false};
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<MultiSelectDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::keyClick(dialog->tableView(), Qt::Key_Space);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!qtUi.chooseMarks(request).has_value());
    }

    void lookupDialogSearchAndEnter()
    {
        SingleChoiceRequest request;
        request.table = ChoiceTable::fromDataSet(*m_data, QStringLiteral("Filial"), {QStringLiteral("IDMARCADO")});
        request.currentRow = 0;
        QtUserInteraction qtUi;
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<LookupDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QTest::keyClicks(dialog->searchEdit(), QStringLiteral("jard"));
            QTest::keyClick(dialog->searchEdit(), Qt::Key_Down); // second match: CEI Jardim Azul
            QTest::keyClick(dialog->searchEdit(), Qt::Key_Return);
        });
        QCOMPARE(qtUi.chooseRow(request), std::optional<int>(3));
    }

    void lookupDialogNoMatchCannotConfirm()
    {
        SingleChoiceRequest request;
        request.table = ChoiceTable::fromDataSet(*m_data, QStringLiteral("Filial"));
        LookupDialog dialog(request);
        dialog.show();
        QTest::keyClicks(dialog.searchEdit(), QStringLiteral("zzz"));
        QVERIFY(!dialog.okButton()->isEnabled());
        QTest::keyClick(dialog.searchEdit(), Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.chosenRow(), -1);
    }

    void lookupButtonEventOrder()
    {
        QLineEdit &edit = *m_edit;
        TBtnPesquisa &button = *m_button;
        button.Title = QStringLiteral("Filial Agregada");
        QStringList events;
        button.OnBeforePesq = [&](QObject *sender, bool &proceed) {
            QCOMPARE(sender, &button);
            QVERIFY(proceed);
            events << QStringLiteral("before");
            loadBranchRows(*m_data, fourBranches()); // the handler loads the rows, as screens do
        };
        button.OnAfterPesq = [&](QObject *) {
            events << QStringLiteral("after:") + m_data->FieldByName(QStringLiteral("NMFILIAL"))->AsString() + QLatin1Char(':') + edit.text();
        };
        m_host->ui.rowAnswers.append(QStringLiteral("0003"));
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(events, (QStringList{"before", "after:EM Centro:0003"}));
        QCOMPARE(m_host->ui.log, QStringList{QStringLiteral("rows:Filial Agregada")});
        QCOMPARE(m_host->ui.rowRequests.at(0).table.headers, (QStringList{"IDMARCADO", "Código", "Nome"}));

        // A cancel raises no after-event and leaves the edit alone.
        edit.setText(QStringLiteral("0002"));
        m_host->ui.rowAnswers.append(std::nullopt);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(m_host->ui.rowRequests.at(1).currentRow, 1); // starts at the typed code
        QCOMPARE(events.size(), 3);
        QCOMPARE(edit.text(), QStringLiteral("0002"));
    }

    void lookupButtonEmptyError()
    {
        TBtnPesquisa &button = *m_button;
        button.EmptyError = QStringLiteral("Não há agrupamento de filiais cadastrado.");
        bool after = false;
        button.OnBeforePesq = [&](QObject *, bool &) { loadBranchRows(*m_data, {}); };
        button.OnAfterPesq = [&](QObject *) { after = true; };
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(m_host->ui.errors, QStringList{button.EmptyError});
        QVERIFY(m_host->ui.rowRequests.isEmpty());
        QVERIFY(!after);
    }

    void lookupButtonStopsWhenBeforeFails()
    {
        TBtnPesquisa &button = *m_button;
        button.OnBeforePesq = [](QObject *, bool &) { throw ServerError(QStringLiteral("Servidor fora do ar.")); };
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(m_host->ui.errors, QStringList{QStringLiteral("Servidor fora do ar.")});
        QVERIFY(m_host->ui.rowRequests.isEmpty());

        button.OnBeforePesq = [](QObject *, bool &proceed) { proceed = false; };
        QTest::mouseClick(&button, Qt::LeftButton);
        QVERIFY(m_host->ui.rowRequests.isEmpty());
    }

    void lookupButtonF4InTheEdit()
    {
        m_button->KeyField = QStringLiteral("NMFILIAL");
        m_host->ui.rowAnswers.append(QStringLiteral("0002"));
        QTest::keyClick(m_edit.get(), Qt::Key_F4);
        QCOMPARE(m_edit->text(), QStringLiteral("EM Vila Nova"));
    }

private:
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<TClientDataSet> m_data;
    std::unique_ptr<TDataSource> m_source;
    std::unique_ptr<QLineEdit> m_edit;
    std::unique_ptr<TBtnPesquisa> m_button;
};

QTEST_MAIN(TestSelectionDialogs)
#include "tst_selectiondialogs.moc"
