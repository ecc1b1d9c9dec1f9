#pragma once

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace wire {

// A period as the monthly and weekly sums can serve it: the whole months in it (the first days of
// the first and the last; invalid when there is none), at most two ranges of whole weeks (the
// first days of the first and the last week of each range, see weekStart) and at most two day
// ranges around them.
struct PeriodParts {
    QDate firstMonth;
    QDate lastMonth;
    QList<QPair<QDate, QDate>> weeks;
    QList<QPair<QDate, QDate>> days;
};
// Whole months, and the days before and after them (no weeks).
PeriodParts splitByMonth(const QDate &start, const QDate &end);
// Whole months, then whole weeks of the days around them, then the days left (at most six
// before the first week and six after the last).
PeriodParts splitByMonthAndWeek(const QDate &start, const QDate &end);

// Weeks start on Monday and are cut at the edges of months, so each lies in one month: the first
// day of a day's week is its Monday, or the first of its month when that comes later.
QDate weekStart(const QDate &day);

// The parts of splitByMonthAndWeek as the date parameters a report query reads them by, so its
// whole months come from the monthly sums, whole weeks from the weekly sums and only the rest from
// the day rows: P_DTMESESINI/P_DTMESESFIM (first days of the whole months), P_DTSEMANAS1INI/FIM
// and P_DTSEMANAS2INI/FIM (first days of whole weeks), P_DTDIAS1INI/FIM and P_DTDIAS2INI/FIM. A
// missing part is a range that ends before it starts, so "BETWEEN" finds nothing in it.
QList<QPair<QString, QDate>> periodPartParameters(const QDate &start, const QDate &end);
const QStringList &periodPartNames();
bool isPeriodPartParameter(const QString &name);

} // namespace wire
