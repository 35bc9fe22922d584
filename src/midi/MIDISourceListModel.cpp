// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MIDISourceListModel.h"

#include "midi/MIDIPageTurnController.h"

namespace pgw {

MIDISourceListModel::MIDISourceListModel(MIDIPageTurnController &controller, QObject *parent)
    : QAbstractListModel(parent)
    , m_controller(controller)
    , m_names(controller.sourceNames())
{
    connect(&controller, &MIDIPageTurnController::sourceNamesChanged, this, &MIDISourceListModel::reload);
}

void MIDISourceListModel::reload()
{
    beginResetModel();
    m_names = m_controller.sourceNames();
    endResetModel();
}

int MIDISourceListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant MIDISourceListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    return m_names.at(index.row());
}

} // namespace pgw
