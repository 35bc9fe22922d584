// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace pgw {

// One saved show as the lobby lists it, with its download progress.
struct DownloadedShowSummary
{
    QString id;
    QString title;
    QDateTime updatedAt;
    // Set-list items, or 1 for a single score.
    int chartCount = 0;
    // Pages whose images are all cached, of all the show's pages.
    int cachedPages = 0;
    int totalPages = 0;
    // Expected part renditions whose pages are all cached, of all expected ones.
    int readyPartCount = 0;
    int totalPartCount = 0;
    qint64 byteCount = 0;
    // Charts whose pages cannot be named yet.
    int unresolvedChartCount = 0;

    bool operator==(const DownloadedShowSummary &) const = default;

    QString statusText() const;
    // Whether everything is on the device, so the show can be practised offline.
    bool isOpenable() const;
};

} // namespace pgw

Q_DECLARE_METATYPE(pgw::DownloadedShowSummary)
