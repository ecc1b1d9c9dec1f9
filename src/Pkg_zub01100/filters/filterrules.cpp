#include "filters/filterrules.h"

#include "wire/codes.h"
#include "wire/keylist.h"

#include "host/data/hostfunctions.h"
#include "host/data/params.h"

#include <QDateTime>

using host::EmptyString;

namespace zub01100 {

namespace {

CheckResult failure(const char *messageKey, FilterField field)
{
    return FailedCheck{QString::fromLatin1(messageKey), field};
}

QString flag(bool on)
{
    return on ? QStringLiteral("S") : QStringLiteral("N");
}

QDateTime atMidnight(const QDate &date)
{
    return QDateTime(date, QTime(0, 0));
}

QDate firstDayOfMonth(const QDate &date)
{
    return date.isValid() ? QDate(date.year(), date.month(), 1) : QDate();
}

QDate lastDayOfMonth(const QDate &date)
{
    return date.isValid() ? QDate(date.year(), date.month(), date.daysInMonth()) : QDate();
}

} // namespace

CheckResult checkBranch(const FilterValue &value, bool required)
{
    if (!required)
        return {};
    if (value.singleBranchPage && EmptyString(value.branch))
        return failure("FILI_EMPTY", FilterField::Branch);
    if (!value.singleBranchPage && value.branches.none())
        return failure("FILI_EMPTY", FilterField::BranchList);
    return {};
}

CheckResult checkBranchList(const FilterValue &value)
{
    return value.branches.none() ? failure("FILIAGREG_INF", FilterField::BranchList) : CheckResult{};
}

CheckResult checkMenuTypes(const FilterValue &value)
{
    return value.menuTypes.none() ? failure("TipoCard_inf", FilterField::MenuTypes) : CheckResult{};
}

CheckResult checkCostType(const FilterValue &value)
{
    return EmptyString(value.costTypeName) ? failure("TIPOCUS_NCAD", FilterField::CostType) : CheckResult{};
}

CheckResult checkPeriod(const FilterValue &value, bool required)
{
    if (required && EmptyString(value.startText))
        return failure("DataInic_ni", FilterField::PeriodStart);
    if (required && EmptyString(value.endText))
        return failure("DataFina_ni", FilterField::PeriodEnd);
    // An empty end sorts before any start: a period with a start and no end is refused too.
    if (value.end < value.start)
        return failure("DATA", FilterField::PeriodStart);
    return {};
}

CheckResult checkServiceGroups(const FilterValue &value, bool required)
{
    return required && value.serviceGroups.none() ? failure("GRUP_EMPTY", FilterField::ServiceGroups) : CheckResult{};
}

CheckResult checkServices(const FilterValue &value, bool required)
{
    if (required && !value.services.all && EmptyString(value.effectiveServices))
        return failure("SERV_EMPTY", FilterField::Services);
    return {};
}

CheckResult checkProductTypes(const FilterValue &value, bool required)
{
    if (required && !value.stockable && !value.nonStockable)
        return failure("TIPOPROD", FilterField::ProductTypes);
    return {};
}

CheckResult firstFailedCheck(const FilterValue &value, bool required)
{
    const std::function<CheckResult()> checks[] = {
        [&] { return checkBranch(value, required); },
        [&] { return checkBranchList(value); },
        [&] { return checkMenuTypes(value); },
        [&] { return checkCostType(value); },
        [&] { return checkPeriod(value, required); },
        [&] { return checkServiceGroups(value, required); },
        [&] { return checkServices(value, required); },
        [&] { return checkProductTypes(value, required); },
    };
    for (const auto &check : checks) {
        if (CheckResult result = check())
            return result;
    }
    return {};
}

QString branchSelectionKind(const FilterValue &value)
{
    return EmptyString(value.groupingCode) ? QStringLiteral("F") : QStringLiteral("A");
}

QString groupingArgument(const FilterValue &value)
{
    return EmptyString(value.groupingCode) ? QStringLiteral("T") : value.groupingCode;
}

QString serviceGroupArgument(const FilterValue &value)
{
    return value.serviceGroups.all ? QStringLiteral("T") : value.serviceGroups.keyList();
}

QString serviceBranchArgument(const FilterValue &value)
{
    if (value.singleBranchPage)
        return value.branch;
    return value.branches.all ? QStringLiteral("T") : value.branches.keyList();
}

bool serviceSearchByBranchKey(const FilterValue &value)
{
    if (value.branchModule)
        return value.reportIndex != 0;
    return !value.singleBranchPage;
}

bool serviceSearchShowsBranch(const FilterValue &value)
{
    return !value.branchModule && !value.singleBranchPage;
}

bool reportNeedsAllBranches(const FilterValue &value)
{
    return !value.singleBranchPage && value.branches.all;
}

QString reportBranchKeys(const FilterValue &value, const QStringList &allBranches)
{
    if (value.singleBranchPage)
        return value.branch;
    if (!value.branches.all)
        return value.branches.keyList();
    return QLatin1Char('_') + wire::joinKeyList(allBranches, false);
}

QString menuTypeKeys(const QStringList &activeTypes)
{
    return activeTypes.isEmpty() ? QStringLiteral("T") : wire::joinKeyList(activeTypes, false);
}

QString effectiveServiceKeys(const FilterValue &value, const QStringList &offered)
{
    return value.services.all ? wire::joinKeyList(offered, false) : value.services.keyList();
}

// A key longer than a service code is a branch followed by the service code. Judging each key by
// its shape, not by the page or report chosen now, keeps codes marked under another report whole.
QString reducedServiceKeys(const QString &marked)
{
    return wire::reduceToServiceCodes(marked, wire::kServiceCodeWidth, wire::kBranchCodeWidth);
}

QString planServiceKeys(const FilterValue &value)
{
    // The plan wants service codes, whatever form the service search gave the marks.
    return value.services.all ? QString() : reducedServiceKeys(value.services.keyList());
}

void fillReportParameters(host::TParams &params, const FilterValue &value, const ReportAnswers &answers)
{
    using host::TParam;
    const std::pair<const char *, std::function<void(TParam &)>> parameters[] = {
        {"P_CDFILCENTZUB", [&](TParam &p) { p.setAsString(value.central); }},
        {"P_CDFILIAL", [&](TParam &p) { p.setAsString(answers.branches); }},
        {"P_NRLISTAFILI", [&](TParam &p) { p.setAsString(answers.branchListNumber); }},
        {"P_NRCONSPLAN", [&](TParam &p) { p.setAsString(answers.planNumber.left(wire::kNumberWidth)); }},
        // An accepted plan answer is the plan number alone: no list number follows it.
        {"P_NRLISTA", [&](TParam &p) { p.setAsString(QString()); }},
        {"P_CDTIPOCARD", [&](TParam &p) { p.setAsString(answers.menuTypes); }},
        {"P_LISTATIPOCARD", [&](TParam &p) { p.setAsString(answers.menuTypeListNumber); }},
        {"P_LISTASERVICO", [&](TParam &p) { p.setAsString(answers.serviceListNumber); }},
        {"P_CDSERVFILI", [&](TParam &p) { p.setAsString(value.services.all ? QStringLiteral("T") : value.effectiveServices); }},
        {"P_DTINICIAL", [&](TParam &p) { p.setAsDateTime(atMidnight(value.start)); }},
        {"P_DTFINAL", [&](TParam &p) { p.setAsDateTime(atMidnight(value.end)); }},
        {"P_DTPERIINIC", [&](TParam &p) { p.setAsString(value.startText); }},
        {"P_DTPERIFINA", [&](TParam &p) { p.setAsString(value.endText); }},
        {"P_DTMESINIC", [&](TParam &p) { p.setAsDateTime(atMidnight(firstDayOfMonth(value.start))); }},
        {"P_DTMESFINA", [&](TParam &p) { p.setAsDateTime(atMidnight(lastDayOfMonth(value.end))); }},
        {"P_NRTIPOCUSTO", [&](TParam &p) { p.setAsInteger(answers.costTypeNumber(value.costTypeIndex)); }},
        {"P_NMTIPOCUSTO", [&](TParam &p) { p.setAsString(value.costTypeName); }},
        {"P_IDESTOCAVEIS", [&](TParam &p) { p.setAsString(flag(value.stockable)); }},
        {"P_IDNESTOCAVEIS", [&](TParam &p) { p.setAsString(flag(value.nonStockable)); }},
        {"P_IDDIFERENCA", [&](TParam &p) { p.setAsString(value.difference == DifferenceMode::PerCapita ? QStringLiteral("P") : QStringLiteral("T")); }},
        {"P_NIVEL", [&](TParam &p) { p.setAsString(flag(value.level != 0)); }},
        {"P_NRTAMACNIVEL", [&](TParam &p) { p.setAsInteger(answers.levelCodeWidth(value.level)); }},
        {"P_CDGRUPFILI", [&](TParam &p) { p.setAsString(EmptyString(value.groupingCode) ? answers.noGroupingText : value.groupingCode); }},
        {"P_NMGRUPFILI", [&](TParam &p) { p.setAsString(value.groupingName); }},
    };
    for (const auto &[name, assign] : parameters) {
        const QString parameter = QString::fromLatin1(name);
        if (params.ExistParam(parameter))
            assign(params.ParamByName(parameter));
    }
}

} // namespace zub01100
