#include "screen/filterwidgets.h"
// Saved filters on the screen, against the recording application server: what saving sends,
// and a saved filter naming codes no longer on file opening with the rest applied and one message.
#include "host/services/dispatcher.h"
#include "host/widgets/combobox.h"
#include "screenfixture.h"

#include <QApplication>
#include <QMenu>
#include <QJsonDocument>
#include <QtTest>

using namespace host;

namespace {

const QStringList kListFields{"NMFILTRO", "CDOPERADOR", "NMOPERADOR", "IDCOMPARTILHADO", "IDPROPRIO"};

// ListaFiltros with these rows; GetAnoLetivo with the central's 2026 school year.
void serveSavedFilters(ScreenFixture &fixture, const QList<QStringList> &rows)
{
    fixture.server.on("ListaFiltros", RecordingServer::envelope(ScreenFixture::packet(kListFields, rows)));
    fixture.server.on("GetAnoLetivo", RecordingServer::envelope(ScreenFixture::packet({"NRANO", "DTINICIO", "DTFIM"},
                                                                                     {{"2026", "2026-02-02", "2026-12-18"}})));
    fixture.server.on("SalvaFiltro", RecordingServer::envelope(QString()));
}

} // namespace

class TstSavedFilters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savingAsksNamePeriodAndSharing_data()
    {
        QTest::addColumn<QList<std::optional<QString>>>("texts");
        QTest::addColumn<QList<std::optional<QString>>>("rows");
        QTest::addColumn<QString>("savedPeriod"); // "" for fixed dates; "-" when nothing is saved
        QTest::addColumn<QString>("shared");
        using Answers = QList<std::optional<QString>>;
        QTest::newRow("last days, shared") << Answers{"  Mensal  ", "45"} << Answers{"Últimos N dias", "Sim, com os operadores da central CE01"}
                                           << "últimos 45 dias" << "S";
        QTest::newRow("fixed dates, own") << Answers{"Mensal"} << Answers{"Datas fixas", "Não, só para mim"} << "" << "N";
        QTest::newRow("name in use, replaced") << Answers{"Antigo"} << Answers{"Ano letivo", "Não, só para mim", "Substituir"} << "ano letivo" << "N";
        QTest::newRow("name in use, kept") << Answers{"Antigo"} << Answers{"Ano letivo", "Não, só para mim", "Cancelar"} << "-" << "";
        QTest::newRow("zero days") << Answers{"Mensal", "0"} << Answers{"Últimos N dias"} << "-" << "";
        QTest::newRow("blank name") << Answers{"   "} << Answers{} << "-" << "";
    }
    void savingAsksNamePeriodAndSharing()
    {
        QFETCH(QList<std::optional<QString>>, texts);
        QFETCH(QList<std::optional<QString>>, rows);
        QFETCH(QString, savedPeriod);
        QFETCH(QString, shared);
        ScreenFixture fixture;
        serveSavedFilters(fixture, {{"Antigo", "OP01", "Operador", "N", "S"}});
        TfrmCustoPlanXReal *form = fixture.openActive();
        fixture.host->ui.textAnswers = texts;
        fixture.host->ui.rowAnswers = rows;
        Dispatch([&] { form->savedFilters().mnuSalvarFiltrosClick(form->mnuSalvarFiltros); });

        const QList<RecordingServer::Call> saves = fixture.callsOf("SalvaFiltro");
        if (savedPeriod == QLatin1String("-")) {
            QVERIFY(saves.isEmpty());
            // A refusal is told; an answer that cancels is not.
            QCOMPARE(fixture.host->ui.errors.isEmpty(), QTest::currentDataTag() == QByteArray("name in use, kept"));
            return;
        }
        QCOMPARE(saves.size(), 1);
        const QJsonArray params = saves.first().params;
        QCOMPARE(params.at(0).toString(), texts.first()->trimmed());
        const QJsonObject state = params.at(1).toObject();
        QCOMPARE(state.value("periodo").toString(), savedPeriod);
        // A rule replaces the dates; fixed dates are the ones on screen.
        QCOMPARE(state.contains("dataInicial"), savedPeriod.isEmpty());
        if (savedPeriod.isEmpty())
            QCOMPARE(state.value("dataFinal").toString(), form->widgets().depDataFina->text());
        QCOMPARE(params.at(2).toString(), shared);
        QVERIFY2(fixture.host->ui.informations.last().contains(texts.first()->trimmed()), qPrintable(fixture.host->ui.informations.last()));
    }

    // A branch, a menu type and a service removed since the filter was saved: the rest is in
    // force, one message names what was left out, and the emptied menu-type list is left to the
    // report's own check.
    void removedCodesAreLeftOutWithOneMessage()
    {
        ScreenFixture fixture;
        serveSavedFilters(fixture, {{"Mensal", "OP02", "Maria", "S", "N"}});
        const QJsonObject saved{{"filiais", QJsonArray{"0001", "0009"}},
                                {"tiposCardapio", QJsonArray{"09"}},
                                {"servicos", QJsonArray{"000100010", "000900010"}},
                                {"periodo", "mês anterior"},
                                {"diferenca", "total"}};
        fixture.server.on("LeFiltro", RecordingServer::envelope(QJsonObject{{"nome", "Mensal"}, {"dono", "OP02"}, {"filtros", saved}}));
        TfrmCustoPlanXReal *form = fixture.openActive();
        fixture.host->ui.rowAnswers = {"Mensal"};
        // Reached from the keyboard, as from the save button's menu.
        QVERIFY(form->ppmSalvarRelatorio->actions().contains(form->mnuAbrirFiltros));
        form->cbbReportNames->setFocus();
        QTest::keyClick(form->cbbReportNames, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);

        // Another's shared filter is listed with its owner and read by it.
        QCOMPARE(fixture.host->ui.rowRequests.last().table.rows.first().at(1), QStringLiteral("OP02 - Maria"));
        QCOMPARE(fixture.lastParams("LeFiltro"), (QJsonArray{"Mensal", "OP02"}));
        QVERIFY(fixture.host->ui.errors.isEmpty());
        QCOMPARE(fixture.host->ui.informations.size(), 1);
        const QString message = fixture.host->ui.informations.first();
        for (const char *part : {"filiais agregadas 0009", "tipos de cardápio 09", "serviços 000900010", "A lista de tipos de cardápio ficou vazia"})
            QVERIFY2(message.contains(QString::fromUtf8(part)), qPrintable(message));

        QCOMPARE(form->filterValue().branches.keyList(), QStringLiteral("_0001_"));
        QCOMPARE(form->filterValue().services.keyList(), QStringLiteral("_000100010_"));
        QVERIFY(form->widgets().rbtListaTipoCard->isChecked() && form->filterValue().menuTypes.keys.isEmpty());
        QCOMPARE(form->widgets().rdgDiferenca->itemIndex(), 1);
        const QDate firstOfMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
        QCOMPARE(form->widgets().depDataInic->GetDate(), firstOfMonth.addMonths(-1));
        QCOMPARE(form->widgets().depDataFina->GetDate(), firstOfMonth.addDays(-1));
        QVERIFY(!Dispatch([&] { form->serviceFilters().Vd_TipoCard(); }));
        QCOMPARE(fixture.host->ui.errors.last(), QStringLiteral("Tipo de cardápio deve ser informado."));
    }

    // Only the operator's own saved filters are offered for deletion.
    void deletingOffersOwnFiltersOnly()
    {
        ScreenFixture fixture;
        serveSavedFilters(fixture, {{"Meu", "OP01", "Operador", "N", "S"}, {"Da Maria", "OP02", "Maria", "S", "N"}});
        fixture.server.on("ApagaFiltro", RecordingServer::envelope(QString()));
        TfrmCustoPlanXReal *form = fixture.openActive();
        fixture.host->ui.rowAnswers = {"Meu"};
        form->cbbReportNames->setFocus();
        QTest::keyClick(form->cbbReportNames, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(fixture.host->ui.rowRequests.last().table.rows.size(), 1);
        QCOMPARE(fixture.lastParams("ApagaFiltro"), QJsonArray{"Meu"});
    }

    void unknownSavedFilterEndsTheCommandWithTheServersReason()
    {
        ScreenFixture fixture;
        serveSavedFilters(fixture, {{"Mensal", "OP01", "Operador", "N", "S"}});
        fixture.server.on("LeFiltro", RecordingServer::refusal("Filtro salvo \"Mensal\" não encontrado."));
        TfrmCustoPlanXReal *form = fixture.openActive();
        const QString before = form->widgets().depDataInic->text();
        fixture.host->ui.rowAnswers = {"Mensal"};
        QVERIFY(!Dispatch([&] { form->savedFilters().mnuAbrirFiltrosClick(form->mnuAbrirFiltros); }));
        QCOMPARE(fixture.host->ui.errors, QStringList{"Filtro salvo \"Mensal\" não encontrado."});
        QCOMPARE(form->widgets().depDataInic->text(), before);
    }
};

QTEST_MAIN(TstSavedFilters)
#include "tst_savedfilters.moc"
