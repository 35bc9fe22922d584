// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/DiscoveredHostListModel.h"

#include <QSet>

#include <tuple>

namespace pgw {

namespace {

// DiscoveredHost compares ids only; a row must be redrawn when anything else about its Host changes.
bool sameRecord(const DiscoveredHost &a, const DiscoveredHost &b)
{
    return std::tie(a.id, a.name, a.endpoint, a.recoveryServiceName, a.pin, a.key, a.supportsEncryption,
               a.requiresPIN)
        == std::tie(b.id, b.name, b.endpoint, b.recoveryServiceName, b.pin, b.key, b.supportsEncryption,
            b.requiresPIN);
}

} // namespace

DiscoveredHostListModel::DiscoveredHostListModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

void DiscoveredHostListModel::setHosts(const QList<DiscoveredHost> &hosts)
{
    QSet<QString> ids;
    for (const DiscoveredHost &host : hosts)
        ids.insert(host.id);
    for (int row = int(m_hosts.size()) - 1; row >= 0; --row) {
        if (!ids.contains(m_hosts.at(row).id))
            dropRow(row);
    }
    // Rows before `row` already match the given list.
    for (int row = 0; row < hosts.size(); ++row) {
        const DiscoveredHost &host = hosts.at(row);
        int found = row;
        while (found < m_hosts.size() && m_hosts.at(found).id != host.id)
            ++found;
        if (found == m_hosts.size()) {
            beginInsertRows({}, row, row);
            m_hosts.insert(row, host);
            endInsertRows();
            continue;
        }
        if (found != row) {
            beginMoveRows({}, found, found, {}, row);
            m_hosts.move(found, row);
            endMoveRows();
        }
        if (!sameRecord(m_hosts.at(row), host)) {
            m_hosts[row] = host;
            Q_EMIT dataChanged(index(row), index(row));
        }
    }
    // Only rows repeating an id already placed can be left over.
    while (m_hosts.size() > hosts.size())
        dropRow(int(m_hosts.size()) - 1);
}

void DiscoveredHostListModel::dropRow(int row)
{
    beginRemoveRows({}, row, row);
    m_hosts.removeAt(row);
    endRemoveRows();
}

int DiscoveredHostListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hosts.size());
}

QVariant DiscoveredHostListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DiscoveredHost &host = m_hosts.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return host.name;
    case IdRole:
        return host.id;
    case RequiresPINRole:
        return host.requiresPIN;
    case SupportsEncryptionRole:
        return host.supportsEncryption;
    default:
        return {};
    }
}

} // namespace pgw
