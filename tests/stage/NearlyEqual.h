// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRectF>
#include <QTest>

#include <algorithm>
#include <cmath>

// Compares reals, or rectangles side by side, within an absolute tolerance and names both values when they
// differ.
#define PGW_COMPARE_NEAR(actual, expected, tolerance)                                                        \
    QVERIFY2(std::abs(double(actual) - double(expected)) <= (tolerance),                                     \
        qPrintable(QStringLiteral(#actual " is %1, expected %2")                                             \
                       .arg(double(actual), 0, 'g', 12)                                                      \
                       .arg(double(expected), 0, 'g', 12)))

#define PGW_COMPARE_RECT(actual, expected, tolerance)                                                        \
    do {                                                                                                     \
        const QRectF pgwRect = (actual);                                                                     \
        const QRectF pgwWanted = (expected);                                                                 \
        for (const auto side : {&QRectF::x, &QRectF::y, &QRectF::width, &QRectF::height})                    \
            PGW_COMPARE_NEAR((pgwRect.*side)(), (pgwWanted.*side)(), tolerance);                             \
    } while (false)
