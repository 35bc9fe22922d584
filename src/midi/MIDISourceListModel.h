// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace pgw {

class MIDIPageTurnController;

// The names of the connected MIDI sources, in the controller's order, for the pedal setup screen.
class MIDISourceListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit MIDISourceListModel(MIDIPageTurnController &controller, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void reload();

    MIDIPageTurnController &m_controller;
    QStringList m_names;
};

} // namespace pgw
