// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PartChooserView.h"

#include "app/ui/SheetItemDelegate.h"
#include "show/PartOptionListModel.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

PartChooserView::PartChooserView(
    const PlayerPartChooser &chooser, const QHash<QString, QString> &instrumentNames, QWidget *parent)
    : QDialog(parent)
    , m_options(new PartOptionListModel(chooser, instrumentNames, this))
    , m_scopes(new QButtonGroup(this))
    , m_search(new QLineEdit(this))
    , m_list(new QListView(this))
    , m_empty(new QLabel(this))
{
    setObjectName(u"part-chooser"_s);
    setWindowTitle(u"Chart for "_s + chooser.title);
    setMinimumSize(440, 420);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(u"Chart for "_s + chooser.title, this);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    title->setFont(heading);
    layout->addWidget(title);

    auto *scopes = new QHBoxLayout;
    scopes->setSpacing(0);
    for (const auto scope : {PartOptionListModel::Scope::Mine, PartOptionListModel::Scope::All}) {
        auto *segment = new QToolButton(this);
        segment->setText(PartOptionListModel::scopeTitle(scope));
        segment->setCheckable(true);
        segment->setChecked(m_options->scope() == scope);
        segment->setAccessibleDescription(u"Charts"_s);
        segment->setToolButtonStyle(Qt::ToolButtonTextOnly);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_scopes->addButton(segment, int(scope));
        scopes->addWidget(segment);
    }
    connect(m_scopes, &QButtonGroup::idClicked, this, [this](int id) {
        m_options->setScope(PartOptionListModel::Scope(id));
        refresh();
    });
    layout->addLayout(scopes);

    m_search->setPlaceholderText(u"Search charts or instruments"_s);
    m_search->setAccessibleName(u"Search charts or instruments"_s);
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_options->setQuery(text);
        refresh();
    });
    layout->addWidget(m_search);

    m_list->setObjectName(u"part-options"_s);
    m_list->setModel(m_options);
    m_list->setItemDelegate(new SheetItemDelegate(
        {PartOptionListModel::SubtitleRole, -1, {}, PartOptionListModel::SelectedRole, -1}, m_list));
    m_list->setUniformItemSizes(true);
    onRowChosen(m_list, [this](const QModelIndex &index) {
        if (m_chosen)
            return;
        m_chosen = true;
        if (onSelect)
            onSelect(index.data(PartOptionListModel::OptionIdRole).toString());
        accept();
    });
    layout->addWidget(m_list, 1);
    m_empty->setObjectName(u"part-options-empty"_s);
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_empty);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(u"Not now"_s, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(this, &QDialog::finished, this, [this] {
        if (!m_chosen && onDismiss)
            onDismiss();
    });
    refresh();
}

void PartChooserView::refresh()
{
    // The master row always stands first; the message takes the place of the option rows.
    const QString message = m_options->emptyMessage();
    m_empty->setText(message);
    m_empty->setVisible(!message.isEmpty());
}

} // namespace pgw
