#pragma once

#include "host/data/params.h"

#include <QDate>
#include <QString>
#include <QVariant>
#include <functional>

namespace host {

// How report values read: numbers 1.234,56, dates dd/mm/yyyy, and the "{FIELD}" texts of
// headings and group captions.
class ReportFormat
{
public:
    // Brazilian decimals; `grouping` false for spreadsheets, which read "1234,56".
    static QString number(double value, int decimals, bool grouping = true);
    // Any value as a person reads it: integers grouped, other numbers with 2 decimals,
    // dates (also ISO text "yyyy-mm-dd", as SQLite returns them) as dd/mm/yyyy.
    static QString value(const QVariant &value);
    static QString date(const QVariant &value);
    // The day a date value holds (also ISO text); invalid when it holds none.
    static QDate day(const QVariant &value);
    static QString param(const TParam &param);
    // A date-time parameter at midnight is a date: SQLite keeps dates as "yyyy-mm-dd" text,
    // which a bound date-time ("yyyy-mm-ddT00:00:00") would not compare equal to.
    static QVariant bindValue(const TParam &param);
    // Replaces each {NAME} by lookup(NAME). A part in [brackets] is left out when a name in it
    // is empty, so "{CODE}[ - {NAME}]" reads "0001" when there is no name.
    static QString fill(const QString &text, const std::function<QString(const QString &)> &lookup);
};

} // namespace host
