// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"
#include "annotations/PrivateAnnotationStroke.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

// What the crash child writes, rebuilt by the test from the numbers the child acknowledges.
namespace pgw::crash {

using namespace Qt::StringLiterals;

inline const QString inkFile = u"PrivateAnnotations.json"_s;
inline const QString residueFile = u"EphemeralResidue.json"_s;
inline const QString settingsFile = u"settings.ini"_s;

inline PrivateAnnotationPageKey page(int run, int step)
{
    return {u"score-%1"_s.arg(run), step % 3};
}

// Coordinates with full 17-digit mantissas, so a stroke must reload bit for bit.
inline PrivateAnnotationStroke stroke(int run, int step)
{
    const QString name = u"%1/%2"_s.arg(run).arg(step);
    PrivateAnnotationStroke stroke {QUuid::createUuidV5(QUuid(), name), {}, {}};
    for (int i = 1; i <= 3; ++i) {
        const double t = std::fmod((step + i) * 0.6180339887498949, 1.0);
        stroke.points.append({t, 1.0 - t, std::sqrt(t)});
    }
    return stroke;
}

// Two shows per run, each saved over and over with a new page version.
inline QJsonObject manifest(int run, int step)
{
    const QJsonArray pages {QJsonObject {{"index"_L1, 0}, {"baseVersion"_L1, QString::number(step)}}};
    return {{"show"_L1, QJsonObject {{"setlistName"_L1, u"Crash %1-%2"_s.arg(run).arg(step / 4 % 2)}}},
        {"score"_L1, QJsonObject {{"scoreKey"_L1, u"crash"_s}, {"scoreToken"_L1, 1}, {"pages"_L1, pages}}}};
}

} // namespace pgw::crash
