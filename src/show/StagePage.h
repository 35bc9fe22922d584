// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

namespace pgw {

// One page the stage may draw, with whatever images have been loaded for it.
struct StagePage
{
    QString key;
    QString scoreKey;
    std::optional<QString> annotationScoreKey;
    qint64 scoreToken = 0;
    std::optional<int> itemIndex;
    int pageIndex = 0;
    QString chartIdentity;
    int ordinal = 0;
    QString baseVersion;
    std::optional<QString> marksVersion;
    double pixelWidth = 0;
    double pixelHeight = 0;
    std::optional<QByteArray> basePNG;
    std::optional<QByteArray> marksPNG;
    bool baseIsExact = false;
    bool marksAreExact = false;

    bool operator==(const StagePage &) const = default;
};

using StagePageList = QList<StagePage>;

} // namespace pgw

Q_DECLARE_METATYPE(pgw::StagePage)
Q_DECLARE_METATYPE(pgw::StagePageList)
