// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTest>

#include <cmath>

// Compares reals within an absolute tolerance and names both values when they differ.
#define PGW_COMPARE_NEAR(actual, expected, tolerance)                                                        \
    do {                                                                                                     \
        const double pgwActual = (actual);                                                                   \
        const double pgwExpected = (expected);                                                               \
        QVERIFY2(std::abs(pgwActual - pgwExpected) <= (tolerance),                                           \
            qPrintable(QStringLiteral("%1 is %2, expected %3")                                               \
                           .arg(QStringLiteral(#actual))                                                     \
                           .arg(pgwActual, 0, 'g', 12)                                                       \
                           .arg(pgwExpected, 0, 'g', 12)));                                                  \
    } while (false)

#define PGW_COMPARE_RECT(actual, expected, tolerance)                                                        \
    do {                                                                                                     \
        const QRectF pgwRect = (actual);                                                                     \
        const QRectF pgwWanted = (expected);                                                                 \
        PGW_COMPARE_NEAR(pgwRect.x(), pgwWanted.x(), tolerance);                                             \
        PGW_COMPARE_NEAR(pgwRect.y(), pgwWanted.y(), tolerance);                                             \
        PGW_COMPARE_NEAR(pgwRect.width(), pgwWanted.width(), tolerance);                                     \
        PGW_COMPARE_NEAR(pgwRect.height(), pgwWanted.height(), tolerance);                                   \
    } while (false)
