#pragma once

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace wire {

// A period as monthly sums can serve it: the whole months in it (the first days of the first and
// the last; invalid when there is none) and the one or two day ranges outside them.
struct PeriodParts {
    QDate firstMonth;
    QDate lastMonth;
    QList<QPair<QDate, QDate>> days;
};
PeriodParts splitByMonth(const QDate &start, const QDate &end);

// The same parts as the date parameters a report query reads them by, so its whole months come
// from the monthly sums and only the edges from the day rows: P_DTMESESINI/P_DTMESESFIM (first
// days of the whole months) and P_DTDIAS1INI/FIM, P_DTDIAS2INI/FIM. A missing part is a range
// that ends before it starts, so "BETWEEN" finds nothing in it.
QList<QPair<QString, QDate>> periodPartParameters(const QDate &start, const QDate &end);
const QStringList &periodPartNames();
bool isPeriodPartParameter(const QString &name);

} // namespace wire
