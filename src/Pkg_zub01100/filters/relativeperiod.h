#pragma once

// Periods named by a rule instead of two dates ("mês anterior", "últimos 30 dias"), so a saved
// filter or a scheduled run covers the right days whenever it runs. Resolved against a given
// "today", without widgets or a server: the central's school years are passed in.

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

namespace zub01100 {

enum class PeriodRule {
    CurrentMonth,  // "mês atual": the whole calendar month of today
    PreviousMonth, // "mês anterior": the whole month before
    CurrentYear,   // "ano corrente": 01/01 to 31/12 of today's year
    LastDays,      // "últimos N dias": N days ending today
    SchoolYear,    // "ano letivo": the central's school year in force
};

struct RelativePeriod {
    PeriodRule rule = PeriodRule::CurrentMonth;
    int days = 0; // LastDays only
    bool operator==(const RelativePeriod &) const = default;
};

// One school year of a central's calendar (table ANOLETIVO).
struct SchoolYear {
    int year = 0;
    QDate start;
    QDate end;
};

struct ResolvedPeriod {
    QDate start;
    QDate end;
    // Set when "ano letivo" fell back to the calendar year: says why, for the user.
    QString note;
};

inline constexpr int kMaxLastDays = 3660;

// The rule a text names ("mês atual", "Mes anterior", "últimos 30 dias"; case and accents are
// ignored), or nothing with the reason in *why.
std::optional<RelativePeriod> parseRelativePeriod(const QString &text, QString *why);
// The text of a rule as filter values store it: "mês atual", "últimos 30 dias", ...
QString relativePeriodText(const RelativePeriod &period);
// Every rule's text, "N" standing for the days of "últimos N dias", for lists and messages.
QString relativePeriodChoices();

// The dates of the rule on `today`. "ano letivo" takes the school year that contains today, else
// the latest one that started before today; without one, the calendar year, with a note saying
// so (`central` names the central in it).
ResolvedPeriod resolveRelativePeriod(const RelativePeriod &period, const QDate &today, const QList<SchoolYear> &schoolYears,
                                     const QString &central);

} // namespace zub01100
