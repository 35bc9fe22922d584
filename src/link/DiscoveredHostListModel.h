// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DiscoveredHost.h"

#include <QAbstractListModel>
#include <QList>

namespace pgw {

// The Hosts the lobby offers, in the order given. Updates touch only the rows that change, so a Host
// that stays keeps its row, and with it the view's selection and focus.
class DiscoveredHostListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        RequiresPINRole,
        SupportsEncryptionRole,
    };
    Q_ENUM(Role)

    explicit DiscoveredHostListModel(QObject *parent = nullptr);

    const QList<DiscoveredHost> &hosts() const { return m_hosts; }
    void setHosts(const QList<DiscoveredHost> &hosts);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void dropRow(int row);

    QList<DiscoveredHost> m_hosts;
};

} // namespace pgw
