#include "filters/relativeperiod.h"

#include <QRegularExpression>

namespace zub01100 {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

// Lower case without accents, single spaces: what users type in a batch option varies.
QString folded(const QString &text)
{
    QString plain;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() != QChar::Mark_NonSpacing)
            plain.append(c.toLower());
    }
    return plain.simplified();
}

struct NamedRule {
    PeriodRule rule;
    const char *text; // as stored
};

const NamedRule kNamedRules[] = {
    {PeriodRule::CurrentMonth, "mês atual"},
    {PeriodRule::PreviousMonth, "mês anterior"},
    {PeriodRule::CurrentYear, "ano corrente"},
    {PeriodRule::SchoolYear, "ano letivo"},
};

QDate lastOfMonth(const QDate &first)
{
    return first.addMonths(1).addDays(-1);
}

} // namespace

std::optional<RelativePeriod> parseRelativePeriod(const QString &text, QString *why)
{
    const QString plain = folded(text);
    for (const NamedRule &named : kNamedRules) {
        if (plain == folded(QString::fromUtf8(named.text)))
            return RelativePeriod{named.rule, 0};
    }
    static const QRegularExpression lastDays(QStringLiteral("^ultimos? (\\d{1,9}) dias?$"));
    const QRegularExpressionMatch match = lastDays.match(plain);
    if (match.hasMatch()) {
        const int days = match.captured(1).toInt();
        if (days >= 1 && days <= kMaxLastDays)
            return RelativePeriod{PeriodRule::LastDays, days};
        if (why)
            *why = QStringLiteral("o número de dias de \"últimos N dias\" vai de 1 a %1.").arg(kMaxLastDays);
        return std::nullopt;
    }
    if (why)
        *why = QStringLiteral("período \"%1\" desconhecido; use %2.").arg(text.left(40), relativePeriodChoices());
    return std::nullopt;
}

QString relativePeriodText(const RelativePeriod &period)
{
    if (period.rule == PeriodRule::LastDays)
        return QStringLiteral("últimos %1 dias").arg(period.days);
    for (const NamedRule &named : kNamedRules) {
        if (named.rule == period.rule)
            return QString::fromUtf8(named.text);
    }
    return {};
}

QString relativePeriodChoices()
{
    return QStringLiteral("\"mês atual\", \"mês anterior\", \"ano corrente\", \"últimos N dias\" ou \"ano letivo\"");
}

ResolvedPeriod resolveRelativePeriod(const RelativePeriod &period, const QDate &today, const QList<SchoolYear> &schoolYears,
                                     const QString &central)
{
    const QDate firstOfMonth(today.year(), today.month(), 1);
    const QDate firstOfYear(today.year(), 1, 1);
    const QDate lastOfYear(today.year(), 12, 31);
    switch (period.rule) {
    case PeriodRule::CurrentMonth:
        return {firstOfMonth, lastOfMonth(firstOfMonth), {}};
    case PeriodRule::PreviousMonth: {
        const QDate first = firstOfMonth.addMonths(-1);
        return {first, lastOfMonth(first), {}};
    }
    case PeriodRule::CurrentYear:
        return {firstOfYear, lastOfYear, {}};
    case PeriodRule::LastDays:
        return {today.addDays(1 - qMax(1, period.days)), today, {}};
    case PeriodRule::SchoolYear:
        break;
    }
    const SchoolYear *inForce = nullptr;
    for (const SchoolYear &year : schoolYears) {
        if (!year.start.isValid() || !year.end.isValid() || year.start > today)
            continue;
        const bool contains = today <= year.end;
        const bool inForceContains = inForce && today <= inForce->end;
        // One that contains today beats any other; among the rest the latest start wins.
        if (!inForce || (contains && !inForceContains) || (contains == inForceContains && year.start > inForce->start))
            inForce = &year;
    }
    if (inForce)
        return {inForce->start, inForce->end, {}};
    const QString why = schoolYears.isEmpty()
        ? QStringLiteral("a central %1 não tem ano letivo cadastrado").arg(central)
        : QStringLiteral("a central %1 não tem ano letivo iniciado até %2").arg(central, today.toString(kDateFormat));
    return {firstOfYear, lastOfYear,
            QStringLiteral("Período \"ano letivo\": %1; usado o ano civil de %2 (%3 a %4).")
                .arg(why, QString::number(today.year()), firstOfYear.toString(kDateFormat), lastOfYear.toString(kDateFormat))};
}

} // namespace zub01100
