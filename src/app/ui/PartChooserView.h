// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/PlayerPart.h"

#include <QDialog>
#include <QHash>

#include <functional>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QListView;

namespace pgw {

class PartOptionListModel;

// The part chooser sheet: the song's charts for the player's instruments or all of them, with a search.
// Choosing a row or "Not now" closes it; closing it any other way counts as "Not now".
class PartChooserView : public QDialog
{
    Q_OBJECT

public:
    PartChooserView(const PlayerPartChooser &chooser, const QHash<QString, QString> &instrumentNames,
        QWidget *parent = nullptr);

    std::function<void(const QString &optionID)> onSelect;
    std::function<void()> onDismiss;

    PartOptionListModel *options() const { return m_options; }

private:
    void refresh();

    PartOptionListModel *m_options;
    QButtonGroup *m_scopes;
    QLineEdit *m_search;
    QListView *m_list;
    QLabel *m_empty;
    bool m_chosen = false;
};

} // namespace pgw
