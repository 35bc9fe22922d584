// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "saved/DownloadedShowSummary.h"

#include <QAbstractListModel>
#include <QList>

namespace pgw {

class DownloadedShowLibrary;

// The lobby's saved shows, in the library's order.
class SavedShowListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        StatusTextRole,
        // Whether everything is on the device, so the show can be opened offline.
        OpenableRole,
    };
    Q_ENUM(Role)

    explicit SavedShowListModel(DownloadedShowLibrary &library, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void reload();

    DownloadedShowLibrary &m_library;
    QList<DownloadedShowSummary> m_shows;
};

} // namespace pgw
