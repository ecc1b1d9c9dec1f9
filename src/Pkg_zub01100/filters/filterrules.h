#pragma once

// The rules of the report screen as functions of its filter value: the checks before a report,
// the arguments of the server's requests, the service-key reduction and the layout's parameters.
// No widget and no server here: what the server answers comes in as arguments.

#include "filters/filtervalue.h"

#include <functional>
#include <optional>

namespace host {
class TParams;
}

namespace zub01100 {

// The field a failed check sends the focus to.
enum class FilterField { Branch, Grouping, BranchList, MenuTypes, CostType, PeriodStart, PeriodEnd, ServiceGroups, Services, ProductTypes };

struct FailedCheck {
    QString messageKey; // in the screen's message table
    FilterField field;
    bool operator==(const FailedCheck &) const = default;
};
using CheckResult = std::optional<FailedCheck>;

// One check each; `required` is true for the checks of a report command, false on leaving a field.
CheckResult checkBranch(const FilterValue &value, bool required);
CheckResult checkBranchList(const FilterValue &value);
CheckResult checkMenuTypes(const FilterValue &value);
CheckResult checkCostType(const FilterValue &value);
CheckResult checkPeriod(const FilterValue &value, bool required);
CheckResult checkServiceGroups(const FilterValue &value, bool required);
CheckResult checkServices(const FilterValue &value, bool required);
CheckResult checkProductTypes(const FilterValue &value, bool required);
// The first failure in the order of a report command: branch, branch list, menu types, cost type,
// period, service groups, services, product types. Whether the branch and the grouping are on
// file is the server's answer; the screen asks it between the branch and the branch list.
CheckResult firstFailedCheck(const FilterValue &value, bool required);

// Arguments of the branch, grouping and service requests.
QString branchSelectionKind(const FilterValue &value); // "F" without a grouping, "A" with one
QString groupingArgument(const FilterValue &value);    // the code, or "T"
QString serviceGroupArgument(const FilterValue &value); // the marked groups, or "T"
QString serviceBranchArgument(const FilterValue &value); // the single branch, "T" or the marked branches
// The service search lists branch-plus-service keys wherever services of several branches can be
// listed, and shows the branch column where a central's user chooses among branches.
bool serviceSearchByBranchKey(const FilterValue &value);
bool serviceSearchShowsBranch(const FilterValue &value);

// Whether the report needs every aggregated branch of the central from the server.
bool reportNeedsAllBranches(const FilterValue &value);
// The branches of the report: the single branch, the marked ones, or every one given ("_" for none).
QString reportBranchKeys(const FilterValue &value, const QStringList &allBranches);
// Every active menu type "K1_K2_", or "T" for a central without any.
QString menuTypeKeys(const QStringList &activeTypes);
// The services the report runs on: the marked ones, or every one the service request offered.
QString effectiveServiceKeys(const FilterValue &value, const QStringList &offered);
// Marked services as distinct service codes, in the order of first appearance.
QString reducedServiceKeys(const QString &marked);
// The services the plan preparation takes: none for "Todos", else service codes.
QString planServiceKeys(const FilterValue &value);

// What the server and the session answered for one report run.
struct ReportAnswers {
    QString branches;         // as sent to the list request
    QString menuTypes;        // as sent to the list request
    QString planNumber;       // the plan preparation's answer: the plan number
    QString serviceListNumber;
    QString menuTypeListNumber;
    QString branchListNumber;
    QString noGroupingText;
    // Looked up only when the layout declares the parameter that needs them.
    std::function<int(int costTypeIndex)> costTypeNumber;
    std::function<int(int level)> levelCodeWidth;
};

// Sets every parameter of the 24 that the layout declares.
void fillReportParameters(host::TParams &params, const FilterValue &value, const ReportAnswers &answers);

} // namespace zub01100
