// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/SavedShowListModel.h"

#include "saved/DownloadedShowLibrary.h"

namespace pgw {

SavedShowListModel::SavedShowListModel(DownloadedShowLibrary &library, QObject *parent)
    : QAbstractListModel(parent)
    , m_library(library)
    , m_shows(library.shows())
{
    connect(&library, &DownloadedShowLibrary::showsChanged, this, &SavedShowListModel::reload);
}

void SavedShowListModel::reload()
{
    beginResetModel();
    m_shows = m_library.shows();
    endResetModel();
}

int SavedShowListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shows.size());
}

QVariant SavedShowListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const DownloadedShowSummary &show = m_shows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return show.title;
    case IdRole:
        return show.id;
    case StatusTextRole:
        return show.statusText();
    case OpenableRole:
        return show.isOpenable();
    default:
        return {};
    }
}

} // namespace pgw
