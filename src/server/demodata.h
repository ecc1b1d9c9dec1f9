#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace server {

struct DemoOptions {
    int branches = 14;                 // schools of the main central, and of each further one
    int days = 365;                    // length of the history
    QDate firstDay = QDate(2025, 1, 1);
    int centrals = 1;                  // full centrals like the main one (up to demo::kMaxCentrals)
};

struct DemoSummary {
    int branches = 0;       // every FILIAL row
    int services = 0;       // SERVFILI rows
    int products = 0;       // PRODUTO rows, all levels
    qint64 plannedMeals = 0;  // REFEPLAN rows
    qint64 servedMeals = 0;   // REFESERV rows
    qint64 consumption = 0;   // CONSREAL rows

    QString describe() const;
};

// Fills an empty schema with the demo data. The same options give the same data on every
// machine and in both dialects: all randomness comes from a fixed-seed generator. Rebuilds the
// monthly sums and, on PostgreSQL, the statistics afterwards.
DemoSummary createDemo(QSqlDatabase &db, const DemoOptions &options);

// Demo codes the tests and the client's demo configuration rely on.
namespace demo {
inline constexpr char kCentral[] = "0001";        // main school-meal central
inline constexpr char kOtherCentral[] = "0002";   // a small second central
inline constexpr char kLoneBranch[] = "9900";     // a branch outside any central
inline constexpr char kFirstSchool[] = "0101";
inline constexpr char kInactiveMenuType[] = "04";
QString schoolCode(int index);                    // 0-based index among the main central's schools
// Further full centrals (--centrals): codes 0003 on, their schools lettered A101, B101, …
inline constexpr int kMaxCentrals = 9;
inline constexpr int kMaxSchoolsBesideOtherCentrals = 899;
QString centralCode(int index);                   // 0 is the main central
QString schoolCode(int central, int index);
} // namespace demo

} // namespace server
