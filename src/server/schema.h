#pragma once

#include <QSqlDatabase>
#include <QStringList>

namespace server {

// The schema version this build creates and expects.
int currentSchemaVersion();

// Creates the tables, or brings an older schema up to date, in one transaction.
void ensureSchema(QSqlDatabase &db);

// Drops every table and counter of the schema (for re-creating the demo database).
void dropSchema(QSqlDatabase &db);

// Tables of the schema, in creation order.
QStringList schemaTables();

} // namespace server
