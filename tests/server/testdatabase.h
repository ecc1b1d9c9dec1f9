#pragma once

#include "serverharness.h"

#include <QTest>

// In a test's initTestCase: sets `url` to the run's database (harness::testDatabaseUrl), or skips
// the PostgreSQL half when no PostgreSQL is at hand outside CI, or fails.
#define ZUB_OPEN_TEST_DATABASE(url, postgres, scratch, dir)                                           \
    do {                                                                                              \
        QString why_;                                                                                 \
        url = harness::testDatabaseUrl(postgres, scratch, dir, &why_);                                \
        if (url.isEmpty() && (!(postgres) || !qEnvironmentVariableIsEmpty("CI")))                     \
            QFAIL(qPrintable(why_));                                                                  \
        if (url.isEmpty())                                                                            \
            QSKIP(qPrintable(QStringLiteral("PostgreSQL tests skipped: %1").arg(why_)));              \
    } while (false)
