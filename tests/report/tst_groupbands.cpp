// Group headers, footers and totals from sorted rows in memory, with no database.
#include "report/groupbands.h"

#include <QtTest>

using namespace host;

class TstGroupBands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A school that changes while the service code stays the same still closes and reopens the
    // service; each footer adds its own rows (the meals once per service), the school's footer its
    // services, and the grand total every school.
    void breaksAndTotals()
    {
        ReportLayout layout;
        layout.groups = {{"ESCOLA", "Escola", "{ESCOLA}", {}, {}}, {"SERVICO", "Serviço", "{SERVICO}", {}, {}}};
        ReportLayout::Column cost;
        cost.field = "VRCUSTO";
        ReportLayout::Column meals;
        meals.field = "QTREFEICOES";
        cost.total = meals.total = true;
        layout.columns = {cost, meals};
        layout.sums = {"VRCUSTO"};
        layout.groupValues = {"QTREFEICOES"};
        auto row = [](const char *school, const char *service, double value, int meals) {
            return QVariantMap{{"ESCOLA", school}, {"SERVICO", service}, {"VRCUSTO", value}, {"QTREFEICOES", meals}};
        };

        ReportDocument document("ZUB011", "Teste", TParams());
        GroupBands bands(layout, TParams(), layout.columns, document);
        for (const QVariantMap &r : {row("Norte", "1", 2, 10), row("Norte", "1", 3, 10), row("Sul", "1", 5, 20), row("Sul", "2", 4, 7)})
            bands.add(r);
        bands.finish();

        QStringList found;
        for (const ReportDocument::Band &band : document.bands()) {
            QStringList values;
            for (const QVariant &value : band.values)
                values << value.toString();
            found << QStringLiteral("%1 %2 %3 [%4] %5").arg(int(band.kind)).arg(band.level).arg(band.text, values.join(' '), band.groups.join('/'));
        }
        QCOMPARE(found, QStringList({"0 0 Escola: Norte [] ", "0 1 Serviço: 1 [] ",
                                     "1 2  [2 10] Norte/1", "1 2  [3 10] Norte/1",
                                     "2 1 Total - Serviço 1 [5 10] ", "2 0 Total - Escola Norte [5 10] ",
                                     "0 0 Escola: Sul [] ", "0 1 Serviço: 1 [] ", "1 2  [5 20] Sul/1",
                                     "2 1 Total - Serviço 1 [5 20] ", "0 1 Serviço: 2 [] ", "1 2  [4 7] Sul/2",
                                     "2 1 Total - Serviço 2 [4 7] ", "2 0 Total - Escola Sul [9 27] ",
                                     "3 0 Total geral [14 37] "}));
    }
};

QTEST_GUILESS_MAIN(TstGroupBands)
#include "tst_groupbands.moc"
