// Periods named by a rule, resolved on fixed days: month and year ends, leap days, and the
// central's school year with and without a calendar.
#include "filters/filtervalue.h"
#include "filters/relativeperiod.h"
#include "host/data/errors.h"

#include <QtTest>

using namespace zub01100;

namespace {

QDate day(const char *text)
{
    return QDate::fromString(QString::fromLatin1(text), QStringLiteral("dd/MM/yyyy"));
}

// School years of a central: February to mid-December.
const QList<SchoolYear> kCalendar = {
    {2025, day("03/02/2025"), day("19/12/2025")},
    {2026, day("02/02/2026"), day("18/12/2026")},
};

} // namespace

class TstRelativePeriod : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resolvesOnTheDay_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<bool>("withCalendar");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<bool>("noted"); // fell back to the calendar year

        QTest::newRow("mês atual on 31/01") << "mês atual" << day("31/01/2026") << true << day("01/01/2026") << day("31/01/2026") << false;
        QTest::newRow("mês atual on 28/02") << "mês atual" << day("28/02/2026") << true << day("01/02/2026") << day("28/02/2026") << false;
        QTest::newRow("mês atual on 29/02 leap") << "Mes Atual" << day("29/02/2028") << true << day("01/02/2028") << day("29/02/2028") << false;
        QTest::newRow("mês atual on 31/12") << "mês atual" << day("31/12/2026") << true << day("01/12/2026") << day("31/12/2026") << false;
        QTest::newRow("mês anterior in January") << "mês anterior" << day("15/01/2026") << true << day("01/12/2025") << day("31/12/2025") << false;
        QTest::newRow("mês anterior on 31/03 leap") << "mês anterior" << day("31/03/2028") << true << day("01/02/2028") << day("29/02/2028") << false;
        QTest::newRow("mês anterior on 31/03") << "mês anterior" << day("31/03/2026") << true << day("01/02/2026") << day("28/02/2026") << false;
        QTest::newRow("ano corrente on 31/12") << "ano corrente" << day("31/12/2026") << true << day("01/01/2026") << day("31/12/2026") << false;
        QTest::newRow("últimos 1 dia is today") << "últimos 1 dia" << day("01/03/2026") << true << day("01/03/2026") << day("01/03/2026") << false;
        QTest::newRow("últimos 30 dias across a month") << "últimos 30 dias" << day("10/03/2026") << true << day("09/02/2026") << day("10/03/2026") << false;
        QTest::newRow("últimos 7 dias across the year") << "ultimos 7 dias" << day("03/01/2026") << true << day("28/12/2025") << day("03/01/2026") << false;
        QTest::newRow("últimos 2 dias over a leap day") << "últimos 2 dias" << day("01/03/2028") << true << day("29/02/2028") << day("01/03/2028") << false;
        QTest::newRow("ano letivo in force") << "ano letivo" << day("10/03/2026") << true << day("02/02/2026") << day("18/12/2026") << false;
        QTest::newRow("ano letivo on its first day") << "ano letivo" << day("02/02/2026") << true << day("02/02/2026") << day("18/12/2026") << false;
        QTest::newRow("ano letivo in the January recess") << "ano letivo" << day("20/01/2026") << true << day("03/02/2025") << day("19/12/2025") << false;
        QTest::newRow("ano letivo after the last one ended") << "ano letivo" << day("30/12/2027") << true << day("02/02/2026") << day("18/12/2026") << false;
        QTest::newRow("ano letivo before any started") << "ano letivo" << day("10/01/2025") << true << day("01/01/2025") << day("31/12/2025") << true;
        QTest::newRow("ano letivo without a calendar") << "ano letivo" << day("10/03/2026") << false << day("01/01/2026") << day("31/12/2026") << true;
    }
    void resolvesOnTheDay()
    {
        QFETCH(QString, rule);
        QFETCH(QDate, today);
        QFETCH(bool, withCalendar);
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(bool, noted);
        QString why;
        const std::optional<RelativePeriod> period = parseRelativePeriod(rule, &why);
        QVERIFY2(period, qPrintable(why));
        const ResolvedPeriod resolved = resolveRelativePeriod(*period, today, withCalendar ? kCalendar : QList<SchoolYear>{}, "0001");
        QCOMPARE(resolved.start, start);
        QCOMPARE(resolved.end, end);
        QCOMPARE(!resolved.note.isEmpty(), noted);
        if (noted)
            QVERIFY2(resolved.note.contains("0001") && resolved.note.contains("ano civil"), qPrintable(resolved.note));
    }

    void refusesWhatNamesNoRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero days") << "últimos 0 dias" << "de 1 a";
        QTest::newRow("too many days") << "últimos 99999 dias" << "de 1 a";
        QTest::newRow("negative") << "últimos -3 dias" << "desconhecido";
        QTest::newRow("unknown") << "semana passada" << "desconhecido";
        QTest::newRow("empty") << "" << "desconhecido";
    }
    void refusesWhatNamesNoRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QString why;
        QVERIFY(!parseRelativePeriod(text, &why));
        QVERIFY2(why.contains(message), qPrintable(why));
    }

    // A stored text reads back as the same rule.
    void textsReadBack()
    {
        for (const RelativePeriod period : {RelativePeriod{PeriodRule::CurrentMonth}, RelativePeriod{PeriodRule::PreviousMonth},
                                            RelativePeriod{PeriodRule::CurrentYear}, RelativePeriod{PeriodRule::LastDays, 45},
                                            RelativePeriod{PeriodRule::SchoolYear}})
            QVERIFY2(parseRelativePeriod(relativePeriodText(period), nullptr) == period, qPrintable(relativePeriodText(period)));
    }

    // "periodo" fills both dates; a date given beside it replaces that end only.
    void filterJsonResolvesThePeriod()
    {
        FilterOptions options;
        options.today = day("15/01/2026");
        options.costTypes = {"Custo Médio"};
        FilterValue value;
        value.central = "0001";
        value = filterFromJson({{"periodo", "mês anterior"}, {"dataFinal", "20/12/2025"}}, value, options);
        QCOMPARE(value.start, day("01/12/2025"));
        QCOMPARE(value.startText, QStringLiteral("01/12/2025"));
        QCOMPARE(value.end, day("20/12/2025"));

        QStringList notes;
        value = filterFromJson({{"periodo", "ano letivo"}}, value, options, &notes);
        QCOMPARE(value.end, day("31/12/2026"));
        QCOMPARE(notes.size(), 1);

        QVERIFY_THROWS_EXCEPTION(host::HostError, filterFromJson({{"periodo", 30}}, value, options));
    }
};

QTEST_GUILESS_MAIN(TstRelativePeriod)
#include "tst_relativeperiod.moc"
