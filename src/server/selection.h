#pragma once

#include "server/database.h"
#include "wire/keylist.h"

namespace server {

// Service keys are service codes (up to 5 characters, any branch) or branch-plus-service keys
// (4 + 5 characters), the form the client uses when each branch's services are listed apart.
struct ServiceKeys {
    bool all = false;
    QStringList services;
    QStringList branchServices;
};

// Restricts F (FILIAL) to the aggregated branches of the central, then to the selection and grouping.
void restrictBranches(Sql &sql, const QString &central, const wire::KeySelection &branches, const QString &grouping = {});

// Restricts the rows of `alias` (with CDFILIAL and CDSERVFILI) to the services.
void restrictServices(Sql &sql, const QString &alias, const ServiceKeys &services);

// Restricts `column` to the keys unless all are chosen.
void restrictKeys(Sql &sql, const QString &column, const wire::KeySelection &selection);

} // namespace server
