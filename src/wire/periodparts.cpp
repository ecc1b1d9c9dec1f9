#include "wire/periodparts.h"

namespace wire {

PeriodParts splitByMonth(const QDate &start, const QDate &end)
{
    PeriodParts parts;
    const QDate firstWhole = start.day() == 1 ? start : QDate(start.year(), start.month(), 1).addMonths(1);
    const QDate lastWholeEnd = end.day() == end.daysInMonth() ? end : QDate(end.year(), end.month(), 1).addDays(-1);
    if (firstWhole > lastWholeEnd) {
        parts.days.append({start, end});
        return parts;
    }
    parts.firstMonth = firstWhole;
    parts.lastMonth = QDate(lastWholeEnd.year(), lastWholeEnd.month(), 1);
    if (start < firstWhole)
        parts.days.append({start, firstWhole.addDays(-1)});
    if (lastWholeEnd < end)
        parts.days.append({lastWholeEnd.addDays(1), end});
    return parts;
}

QDate weekStart(const QDate &day)
{
    return qMax(day.addDays(1 - day.dayOfWeek()), QDate(day.year(), day.month(), 1));
}

namespace {

QDate weekEnd(const QDate &day)
{
    const QDate sunday = day.addDays(7 - day.dayOfWeek());
    return qMin(sunday, QDate(day.year(), day.month(), day.daysInMonth()));
}

// Appends the range, joined to the last one when it follows it at once.
void append(QList<QPair<QDate, QDate>> &ranges, const QDate &from, const QDate &to, bool weeks)
{
    if (!ranges.isEmpty() && (weeks ? weekEnd(ranges.last().second) : ranges.last().second).addDays(1) == from)
        ranges.last().second = to;
    else
        ranges.append({from, to});
}

// The whole weeks of days within one month, and the days before and after them.
void splitByWeek(const QDate &from, const QDate &to, PeriodParts &parts)
{
    const QDate firstWeek = weekStart(from) == from ? from : weekEnd(from).addDays(1);
    const QDate lastWeekEnd = weekEnd(to) == to ? to : weekStart(to).addDays(-1);
    if (firstWeek > lastWeekEnd) {
        append(parts.days, from, to, false);
        return;
    }
    if (from < firstWeek)
        append(parts.days, from, firstWeek.addDays(-1), false);
    append(parts.weeks, firstWeek, weekStart(lastWeekEnd), true);
    if (lastWeekEnd < to)
        append(parts.days, lastWeekEnd.addDays(1), to, false);
}

} // namespace

PeriodParts splitByMonthAndWeek(const QDate &start, const QDate &end)
{
    PeriodParts parts = splitByMonth(start, end);
    const QList<QPair<QDate, QDate>> edges = parts.days;
    parts.days.clear();
    for (const auto &[from, to] : edges) {
        // An edge without whole months between may still cross into the next month.
        for (QDate day = from; day <= to;) {
            const QDate monthEnd = qMin(to, QDate(day.year(), day.month(), day.daysInMonth()));
            splitByWeek(day, monthEnd, parts);
            day = monthEnd.addDays(1);
        }
    }
    return parts;
}

QList<QPair<QString, QDate>> periodPartParameters(const QDate &start, const QDate &end)
{
    const PeriodParts parts = splitByMonthAndWeek(start, end);
    Q_ASSERT(parts.weeks.size() <= 2 && parts.days.size() <= 2);
    const QPair<QDate, QDate> nothing{end.addDays(1), end};
    const QPair<QDate, QDate> months = parts.firstMonth.isValid() ? qMakePair(parts.firstMonth, parts.lastMonth) : nothing;
    const QPair<QDate, QDate> weeks1 = parts.weeks.value(0, nothing);
    const QPair<QDate, QDate> weeks2 = parts.weeks.value(1, nothing);
    const QPair<QDate, QDate> days1 = parts.days.value(0, nothing);
    const QPair<QDate, QDate> days2 = parts.days.value(1, nothing);
    return {{QStringLiteral("P_DTMESESINI"), months.first},     {QStringLiteral("P_DTMESESFIM"), months.second},
            {QStringLiteral("P_DTSEMANAS1INI"), weeks1.first},  {QStringLiteral("P_DTSEMANAS1FIM"), weeks1.second},
            {QStringLiteral("P_DTSEMANAS2INI"), weeks2.first},  {QStringLiteral("P_DTSEMANAS2FIM"), weeks2.second},
            {QStringLiteral("P_DTDIAS1INI"), days1.first},      {QStringLiteral("P_DTDIAS1FIM"), days1.second},
            {QStringLiteral("P_DTDIAS2INI"), days2.first},      {QStringLiteral("P_DTDIAS2FIM"), days2.second}};
}

const QStringList &periodPartNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const auto &[name, day] : periodPartParameters(QDate(2000, 1, 1), QDate(2000, 1, 1)))
            list << name;
        return list;
    }();
    return names;
}

bool isPeriodPartParameter(const QString &name)
{
    return periodPartNames().contains(name);
}

} // namespace wire
