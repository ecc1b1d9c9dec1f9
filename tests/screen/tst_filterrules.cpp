// The screen's rules on filter values, without widgets or a server.
#include "filters/filterrules.h"
#include "filters/filtertransitions.h"
#include "host/data/errors.h"
#include "host/data/params.h"

#include <QJsonArray>
#include <QtTest>

using namespace zub01100;

Q_DECLARE_METATYPE(zub01100::FilterValue)
Q_DECLARE_METATYPE(zub01100::FilterField)
using Transition = std::function<FilterValue(const FilterValue &)>;
Q_DECLARE_METATYPE(Transition)

namespace {

// The list page of a central's user, all on "Todos", a one-day period and both product types.
FilterValue listPage()
{
    FilterValue value;
    value.central = "CE01";
    value.costTypeIndex = 0;
    value.costTypeName = "Último Custo";
    value.start = value.end = QDate(2026, 3, 10);
    value.startText = value.endText = "10/03/2026";
    return value;
}

FilterValue with(const std::function<void(FilterValue &)> &change)
{
    FilterValue value = listPage();
    change(value);
    return value;
}

// Every list on "Lista" with marks, a grouping and a single branch chosen.
FilterValue everythingMarked()
{
    return with([](FilterValue &v) {
        v.branches = {false, {"0001"}};
        v.menuTypes = {false, {"01"}};
        v.serviceGroups = {false, {"001"}};
        v.services = {false, {"00010"}};
        v.effectiveServices = "_00010_";
        v.groupingCode = "0000000010";
        v.groupingName = "Zona Leste";
        v.branch = "0001";
        v.branchName = "EM Jardim";
    });
}

FilterValue changed(FilterValue value, const std::function<void(FilterValue &)> &change)
{
    change(value);
    return value;
}

} // namespace

class TstFilterRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstFailedCheckInTheCommandsOrder_data()
    {
        QTest::addColumn<FilterValue>("value");
        QTest::addColumn<bool>("required");
        QTest::addColumn<QString>("messageKey");
        QTest::addColumn<FilterField>("field");
        QTest::newRow("all passes") << listPage() << true << "" << FilterField::Branch;
        QTest::newRow("single page without branch") << with([](FilterValue &v) { v.singleBranchPage = true; })
                                                    << true << "FILI_EMPTY" << FilterField::Branch;
        // The branch list is checked by the branch's check first, and then on its own.
        QTest::newRow("branch list unmarked") << with([](FilterValue &v) { v.branches.all = false; })
                                              << true << "FILI_EMPTY" << FilterField::BranchList;
        QTest::newRow("branch list unmarked, leaving a field") << with([](FilterValue &v) { v.branches.all = false; })
                                                               << false << "FILIAGREG_INF" << FilterField::BranchList;
        QTest::newRow("menu types before cost type") << with([](FilterValue &v) { v.menuTypes.all = false; v.costTypeName.clear(); })
                                                     << true << "TipoCard_inf" << FilterField::MenuTypes;
        QTest::newRow("cost type before period") << with([](FilterValue &v) { v.costTypeName = " "; v.endText.clear(); v.end = {}; })
                                                 << true << "TIPOCUS_NCAD" << FilterField::CostType;
        QTest::newRow("end missing") << with([](FilterValue &v) { v.endText.clear(); v.end = {}; })
                                     << true << "DataFina_ni" << FilterField::PeriodEnd;
        QTest::newRow("end missing, leaving a field") << with([](FilterValue &v) { v.endText.clear(); v.end = {}; })
                                                      << false << "DATA" << FilterField::PeriodStart;
        QTest::newRow("end before start") << with([](FilterValue &v) { v.end = v.start.addDays(-1); })
                                          << false << "DATA" << FilterField::PeriodStart;
        QTest::newRow("groups before services") << with([](FilterValue &v) { v.serviceGroups.all = v.services.all = false; })
                                                << true << "GRUP_EMPTY" << FilterField::ServiceGroups;
        QTest::newRow("services in force, not the marks") << with([](FilterValue &v) { v.services = {false, {"00010"}}; })
                                                          << true << "SERV_EMPTY" << FilterField::Services;
        QTest::newRow("no product type") << with([](FilterValue &v) { v.stockable = v.nonStockable = false; })
                                         << true << "TIPOPROD" << FilterField::ProductTypes;
        QTest::newRow("optional lists pass when leaving a field")
            << with([](FilterValue &v) { v.serviceGroups.all = v.services.all = v.stockable = v.nonStockable = false; })
            << false << "" << FilterField::Branch;
    }
    void firstFailedCheckInTheCommandsOrder()
    {
        QFETCH(FilterValue, value);
        QFETCH(bool, required);
        QFETCH(QString, messageKey);
        QFETCH(FilterField, field);
        const CheckResult result = firstFailedCheck(value, required);
        QCOMPARE(result.has_value(), !messageKey.isEmpty());
        if (result) {
            QCOMPARE(result->messageKey, messageKey);
            QCOMPARE(result->field, field);
        }
    }

    // What a user's change clears: the selections that depend on it go back to "Todos", and a
    // radio already on "Todos" clears nothing of its own.
    void userChangesClearWhatDependsOnThem_data()
    {
        QTest::addColumn<FilterValue>("before");
        QTest::addColumn<Transition>("change");
        QTest::addColumn<FilterValue>("after");
        const FilterValue marked = everythingMarked();
        auto allBranchLists = [](FilterValue &v) {
            v.branches = v.serviceGroups = v.services = {true, {}};
            v.effectiveServices.clear();
        };
        QTest::newRow("branch typed") << marked << Transition([](const FilterValue &v) { return changeBranch(v, "0005"); })
                                      << changed(marked, [&](FilterValue &v) { allBranchLists(v); v.branch = "0005"; v.branchName.clear(); });
        QTest::newRow("same branch picked") << marked << Transition([](const FilterValue &v) { return pickBranch(v, "0001", "EM Jardim"); })
                                            << changed(marked, allBranchLists);
        QTest::newRow("grouping typed") << marked << Transition([](const FilterValue &v) { return changeGrouping(v, "20"); })
                                        << changed(marked, [&](FilterValue &v) {
                                               allBranchLists(v);
                                               v.groupingCode = "20";
                                               v.groupingName = v.branch = v.branchName = QString();
                                           });
        // With nothing on "Lista" and no branch, no rule reaches the marked services.
        const FilterValue servicesOnly = with([](FilterValue &v) { v.services.keys = {"00010"}; });
        QTest::newRow("grouping typed, lists on Todos") << servicesOnly << Transition([](const FilterValue &v) { return changeGrouping(v, "20"); })
                                                        << changed(servicesOnly, [](FilterValue &v) { v.groupingCode = "20"; });
        QTest::newRow("groups to Todos keep their marks") << marked << Transition([](const FilterValue &v) { return chooseAll(v, Selection::ServiceGroups); })
                                                          << changed(marked, [](FilterValue &v) {
                                                                 v.serviceGroups.all = v.services.all = true;
                                                                 v.services.keys.clear();
                                                                 v.effectiveServices.clear();
                                                             });
        QTest::newRow("menu types to Todos lose theirs") << marked << Transition([](const FilterValue &v) { return chooseAll(v, Selection::MenuTypes); })
                                                         << changed(marked, [](FilterValue &v) { v.menuTypes = {true, {}}; });
        QTest::newRow("services to Todos") << marked << Transition([](const FilterValue &v) { return chooseAll(v, Selection::Services); })
                                           << changed(marked, [](FilterValue &v) { v.services.all = true; v.effectiveServices.clear(); });
        QTest::newRow("Lista already checked") << marked << Transition([](const FilterValue &v) { return chooseList(v, Selection::Branches); })
                                               << marked;
        // A confirmed branch list from "Todos" runs the "Lista" radio's handling too.
        const FilterValue branchesAll = changed(marked, [](FilterValue &v) { v.branches.all = true; });
        QTest::newRow("branches confirmed") << branchesAll << Transition([](const FilterValue &v) { return confirmMarks(v, Selection::Branches, "_0005_"); })
                                            << changed(marked, [&](FilterValue &v) { allBranchLists(v); v.branches = {false, {"0005"}}; });
        QTest::newRow("services confirmed") << marked << Transition([](const FilterValue &v) { return confirmMarks(v, Selection::Services, "_00020_"); })
                                            << changed(marked, [](FilterValue &v) { v.services.keys = {"00020"}; });
    }
    void userChangesClearWhatDependsOnThem()
    {
        QFETCH(FilterValue, before);
        QFETCH(Transition, change);
        QFETCH(FilterValue, after);
        QCOMPARE(change(before), after);
    }

    void reducedServiceKeys_data()
    {
        QTest::addColumn<QString>("marked");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("branch keys to distinct services")
            << "_000100010_000200010_000100020_" << "_00010_00020_";
        QTest::newRow("service codes stay") << "_00010_00020_" << "_00010_00020_";
        QTest::newRow("mixed shapes, judged key by key") << "_00020_000100010_" << "_00020_00010_";
        // Regression: a code inside another code was taken as already there.
        QTest::newRow("code inside another code") << "_00123_0012_" << "_00123_0012_";
        QTest::newRow("nothing marked") << "" << "_";
    }
    void reducedServiceKeys()
    {
        QFETCH(QString, marked);
        QFETCH(QString, reduced);
        QCOMPARE(zub01100::reducedServiceKeys(marked), reduced);
    }

    void requestArgumentsFollowTheChoices()
    {
        const FilterValue all = listPage();
        QCOMPARE(serviceBranchArgument(all), QStringLiteral("T"));
        QCOMPARE(reportBranchKeys(all, {"0001", "0005"}), QStringLiteral("_0001_0005_"));
        QCOMPARE(reportBranchKeys(all, {}), QStringLiteral("_"));
        const FilterValue marked = with([](FilterValue &v) { v.branches = {false, {"0005"}}; v.groupingCode = "0000000010"; });
        QVERIFY(!reportNeedsAllBranches(marked));
        QCOMPARE(reportBranchKeys(marked, {"0001"}), QStringLiteral("_0005_"));
        QCOMPARE(branchSelectionKind(marked) + groupingArgument(marked), QStringLiteral("A0000000010"));
        const FilterValue single = with([](FilterValue &v) { v.branchModule = v.singleBranchPage = true; v.branch = "0005"; });
        QCOMPARE(serviceBranchArgument(single), QStringLiteral("0005"));
        QVERIFY(!serviceSearchByBranchKey(single) && !serviceSearchShowsBranch(single));
        QVERIFY(serviceSearchByBranchKey(with([](FilterValue &v) { v.branchModule = v.singleBranchPage = true; v.reportIndex = 1; })));
        QCOMPARE(menuTypeKeys({}), QStringLiteral("T"));
        QCOMPARE(effectiveServiceKeys(all, {"000100010", "000500010"}), QStringLiteral("000100010_000500010_"));
        QCOMPARE(planServiceKeys(with([](FilterValue &v) { v.services = {false, {"000100010"}}; })), QStringLiteral("_00010_"));
    }

    void parametersOfTheValueAndTheAnswers()
    {
        host::TParams params;
        for (const char *name : {"P_CDFILIAL", "P_NRCONSPLAN", "P_NRLISTA", "P_CDSERVFILI", "P_DTMESFINA", "P_IDDIFERENCA",
                                 "P_NIVEL", "P_CDGRUPFILI", "P_LISTATIPOCARD"})
            params.declare(name);
        const FilterValue value = with([](FilterValue &v) {
            v.end = QDate(2026, 2, 3);
            v.difference = DifferenceMode::Total;
            v.services = {false, {"00010"}};
            v.effectiveServices = "_00010_";
        });
        ReportAnswers answers{"_0001_", "01_", "0000000042", "S1", "T1", "F1", "Nenhum", {}, {}};
        // Undeclared parameters are not computed: their lookups would fail on this run.
        answers.costTypeNumber = [](int) -> int { throw host::HostError(QStringLiteral("not asked")); };
        answers.levelCodeWidth = answers.costTypeNumber;
        fillReportParameters(params, value, answers);
        const QStringList expected{"_0001_", "0000000042", "", "_00010_", "28/02/2026 00:00", "T", "N", "Nenhum", "T1"};
        QStringList actual;
        for (const host::TParam &param : params.items())
            actual << (param.DataType == host::ParamType::DateTime ? param.AsDateTime().toString("dd/MM/yyyy hh:mm") : param.AsString());
        QCOMPARE(actual, expected);
    }

    void jsonRoundTripAndRefusals()
    {
        const FilterOptions options{{"Por serviço", "Por filial"}, {"Último Custo", "Custo Médio"}, 0, 1, {}, {}};
        const QJsonObject state{{"relatorio", "Por filial"}, {"filiais", QJsonArray{"0001", "0005"}}, {"tipoCusto", "Custo Médio"},
                                {"dataInicial", "01/03/2026"}, {"servicos", "todos"}, {"diferenca", "Total"}, {"nivel", 1}};
        const FilterValue before = with([](FilterValue &v) { v.services.keys = {"00010"}; });
        const FilterValue value = filterFromJson(state, before, options);
        QCOMPARE(value.reportIndex, 1);
        QCOMPARE(value.branches, (wire::KeySelection{false, {"0001", "0005"}}));
        QCOMPARE(value.costTypeIndex, 1);
        QCOMPARE(value.start, QDate(2026, 3, 1));
        QCOMPARE(value.services, (wire::KeySelection{true, {"00010"}}));
        QCOMPARE(filterFromJson(filterToJson(value), before, options), value);
        // Refused before anything changes, naming the key.
        const std::pair<QJsonObject, QString> refused[] = {
            {{{"relatorio", 2}}, "Filtro \"relatorio\": relatório não encontrado."},
            {{{"filial", "0001"}}, "Filtro \"filial\": a filial única é a filial logada, no modo filial; use \"filiais\" nos demais casos."},
            {{{"estocaveis", "S"}}, "Filtro \"estocaveis\": use true ou false."},
            {{{"diferenca", "media"}}, "Filtro \"diferenca\": use \"per capita\" ou \"total\"."},
        };
        for (const auto &[json, message] : refused) {
            try {
                filterFromJson(json, listPage(), options);
                QFAIL(qPrintable("taken: " + message));
            } catch (const host::HostError &error) {
                QCOMPARE(error.text(), message);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TstFilterRules)
#include "tst_filterrules.moc"
