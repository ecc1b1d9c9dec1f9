#include "filters/filtertransitions.h"

#include <QList>

namespace zub01100 {

namespace {

// What a change clears. A selection put back on "Todos" clears, in turn, what its own "Todos"
// clears, but only when it was not on "Todos" already.
struct Clears {
    QList<Selection> backToAll;
    QList<Selection> marksEmptied;
    bool effectiveServices = false;
};

struct SelectionResets {
    Selection which;
    Clears onAll;     // "Todos" checked
    Clears onList;    // "Lista" checked
    Clears onConfirm; // the dialog confirmed
};

// The services on offer depend on the branches and the service groups: a change of either puts
// the services (and, for branches, the groups) back to "Todos". A confirmed branch list keeps the
// marked services its "Lista" radio kept.
const Clears kServicesDependOnGroups{{Selection::Services}, {Selection::Services}, true};
const Clears kGroupsDependOnBranches{{Selection::ServiceGroups, Selection::Services},
                                     {Selection::ServiceGroups, Selection::Services}, true};

const SelectionResets kResets[] = {
    {Selection::Branches, kGroupsDependOnBranches, kGroupsDependOnBranches,
     {{Selection::ServiceGroups, Selection::Services}, {Selection::ServiceGroups}, true}},
    {Selection::MenuTypes, {{}, {Selection::MenuTypes}, false}, {}, {}},
    {Selection::ServiceGroups, kServicesDependOnGroups, kServicesDependOnGroups, kServicesDependOnGroups},
    {Selection::Services, {{}, {}, true}, {}, {}},
};

const SelectionResets &resetsOf(Selection which)
{
    for (const SelectionResets &resets : kResets) {
        if (resets.which == which)
            return resets;
    }
    Q_UNREACHABLE();
}

FilterValue cleared(FilterValue value, const Clears &clears)
{
    for (Selection which : clears.backToAll)
        value = chooseAll(value, which);
    for (Selection which : clears.marksEmptied)
        selectionOf(value, which).keys.clear();
    if (clears.effectiveServices)
        value.effectiveServices.clear();
    return value;
}

// Every selection that depends on the branch.
const Clears kBranchDependents{{Selection::Branches, Selection::ServiceGroups, Selection::Services},
                               {Selection::Branches, Selection::ServiceGroups, Selection::Services}, true};
// The grouping's own rule leaves the marked services to the radios it sets off.
const Clears kGroupingDependents{{Selection::Branches, Selection::ServiceGroups, Selection::Services},
                                 {Selection::Branches, Selection::ServiceGroups}, true};

} // namespace

wire::KeySelection &selectionOf(FilterValue &value, Selection which)
{
    switch (which) {
    case Selection::Branches: return value.branches;
    case Selection::MenuTypes: return value.menuTypes;
    case Selection::ServiceGroups: return value.serviceGroups;
    case Selection::Services: return value.services;
    }
    Q_UNREACHABLE();
}

const wire::KeySelection &selectionOf(const FilterValue &value, Selection which)
{
    return selectionOf(const_cast<FilterValue &>(value), which);
}

FilterValue chooseAll(FilterValue value, Selection which)
{
    if (selectionOf(value, which).all)
        return value;
    selectionOf(value, which).all = true;
    return cleared(value, resetsOf(which).onAll);
}

FilterValue chooseList(FilterValue value, Selection which)
{
    if (!selectionOf(value, which).all)
        return value;
    selectionOf(value, which).all = false;
    return cleared(value, resetsOf(which).onList);
}

FilterValue confirmMarks(FilterValue value, Selection which, const QString &marked)
{
    selectionOf(value, which).keys = wire::splitKeyList(marked);
    return cleared(chooseList(value, which), resetsOf(which).onConfirm);
}

FilterValue changeBranch(FilterValue value, const QString &code)
{
    value.branch = code;
    value.branchName.clear();
    return cleared(value, kBranchDependents);
}

FilterValue pickBranch(FilterValue value, const QString &code, const QString &name)
{
    value = changeBranch(value, code);
    value.branchName = name;
    return value;
}

FilterValue changeGrouping(FilterValue value, const QString &code)
{
    value.groupingCode = code;
    value.groupingName.clear();
    value.branchName.clear();
    // Emptying a branch code is a change of it, with its own rule.
    if (!value.branch.isEmpty())
        value = changeBranch(value, QString());
    return cleared(value, kGroupingDependents);
}

FilterValue pickGrouping(FilterValue value, const QString &code, const QString &name)
{
    if (code != value.groupingCode)
        value = changeGrouping(value, code);
    value.groupingName = name;
    return value;
}

} // namespace zub01100
