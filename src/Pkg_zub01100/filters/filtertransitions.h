#pragma once

// A user's change of the report screen's filters as a transition of its value: value -> value'.
// What each change puts back on "Todos" and what it empties is the data of the table in the
// source, so the screen's handlers only apply a transition and show its result.

#include "filters/filtervalue.h"

namespace zub01100 {

// The four "Todos"/"Lista" filters of the screen.
enum class Selection { Branches, MenuTypes, ServiceGroups, Services };

wire::KeySelection &selectionOf(FilterValue &value, Selection which);
const wire::KeySelection &selectionOf(const FilterValue &value, Selection which);

// "Todos" checked: nothing changes when it already was, else what that radio clears goes too.
FilterValue chooseAll(FilterValue value, Selection which);
// "Lista" checked: nothing changes when it already was.
FilterValue chooseList(FilterValue value, Selection which);
// The dialog confirmed with `marked`: the marks replace the list, "Lista" is checked.
FilterValue confirmMarks(FilterValue value, Selection which, const QString &marked);
// A new text of the single-branch code: every branch-dependent selection back to "Todos".
FilterValue changeBranch(FilterValue value, const QString &code);
// A branch chosen in its lookup, even the one already in the field.
FilterValue pickBranch(FilterValue value, const QString &code, const QString &name);
// A new text of the grouping code: its name and the branch go, the branch lists back to "Todos".
FilterValue changeGrouping(FilterValue value, const QString &code);
// A grouping chosen in its lookup.
FilterValue pickGrouping(FilterValue value, const QString &code, const QString &name);

} // namespace zub01100
