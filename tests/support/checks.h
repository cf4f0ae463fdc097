#pragma once

#include <QtTest>

// QVERIFY and QCOMPARE for helpers that answer bool: a failed check is recorded as the test's
// failure and the helper answers false, so the caller's QVERIFY stops the test there.
#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!QTest::qVerify(static_cast<bool>(condition), #condition, "", __FILE__, __LINE__)) \
            return false;                                                                      \
    } while (false)

#define CHECK_COMPARE(actual, expected)                                                 \
    do {                                                                                \
        if (!QTest::qCompare(actual, expected, #actual, #expected, __FILE__, __LINE__)) \
            return false;                                                               \
    } while (false)
