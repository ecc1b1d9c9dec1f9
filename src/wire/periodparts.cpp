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

QList<QPair<QString, QDate>> periodPartParameters(const QDate &start, const QDate &end)
{
    const PeriodParts parts = splitByMonth(start, end);
    const QPair<QDate, QDate> nothing{end.addDays(1), end};
    const QPair<QDate, QDate> months = parts.firstMonth.isValid() ? qMakePair(parts.firstMonth, parts.lastMonth) : nothing;
    const QPair<QDate, QDate> days1 = parts.days.value(0, nothing);
    const QPair<QDate, QDate> days2 = parts.days.value(1, nothing);
    return {{QStringLiteral("P_DTMESESINI"), months.first}, {QStringLiteral("P_DTMESESFIM"), months.second},
            {QStringLiteral("P_DTDIAS1INI"), days1.first},  {QStringLiteral("P_DTDIAS1FIM"), days1.second},
            {QStringLiteral("P_DTDIAS2INI"), days2.first},  {QStringLiteral("P_DTDIAS2FIM"), days2.second}};
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
