// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

#include <functional>

class QAbstractItemView;

namespace pgw {

// Rows of the sheets' lists: a title, an optional dimmed subtitle or tag, a brass check when the row is
// the chosen one, and section headings in small capitals.
class SheetItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Roles of the list's model; -1 where it has none.
    struct Roles
    {
        int subtitle = -1;
        // A Boolean role: when true, `tagText` follows the title.
        int tag = -1;
        QString tagText;
        int checked = -1;
        int section = -1;
    };

    explicit SheetItemDelegate(Roles roles, QObject *parent = nullptr);

    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QString text(const QModelIndex &index, int role) const;

    Roles m_roles;
};

// Calls `choose` once for a click on a row, or for Return, Enter or Space on the current row, so a
// list can be used from the keyboard as well as the mouse.
void onRowChosen(QAbstractItemView *view, std::function<void(const QModelIndex &)> choose);

} // namespace pgw
