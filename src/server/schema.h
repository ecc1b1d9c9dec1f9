#pragma once

#include <QSqlDatabase>
#include <QStringList>

namespace server {

// The schema version this build creates and expects.
int currentSchemaVersion();
// The version the database holds; 0 when it has no schema of this server.
int installedSchemaVersion(QSqlDatabase &db);

// Creates the tables, or brings an older schema up to date, in one transaction.
void ensureSchema(QSqlDatabase &db);

// Drops every table and counter of the schema (for re-creating the demo database).
void dropSchema(QSqlDatabase &db);

// Tables of the schema, in creation order.
QStringList schemaTables();

} // namespace server
