#pragma once

#include "server/selection.h"
#include "server/sessions.h"

namespace server {

// What the caller of a call may ask about. Each check answers "" when it may, else the
// Portuguese refusal; a machine caller and an administrator may ask about everything. The
// central is checked first: the branch and service lists are then read within that central.
QString centralRefusal(const Caller &caller, const QString &central);
// A school's operator asks only about its own branch: one code, or a list of it alone.
QString branchRefusal(const Caller &caller, const QString &branch);
QString branchesRefusal(const Caller &caller, const wire::KeySelection &branches);
QString serviceKeysRefusal(const Caller &caller, const ServiceKeys &services);
// The branches a selection of "all" stands for: a school's operator's own branch, else every
// branch of the central the call names.
wire::KeySelection allVisibleBranches(const Caller &caller);
// A grouping is visible when it has a member the caller may see.
QString groupingRefusal(QSqlDatabase &db, const Caller &caller, const QString &grouping);
// Narrows a query of groupings (alias-free CDGRUPFILI) to those the caller may see.
void restrictGroupings(Sql &sql, const Caller &caller);
// The operator argument of a call may only name the caller itself.
QString operatorArgumentRefusal(const Caller &caller, const QString &operatorCode);

} // namespace server
