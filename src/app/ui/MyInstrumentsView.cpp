// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/MyInstrumentsView.h"

#include "app/ui/SheetItemDelegate.h"
#include "show/InstrumentCatalogModel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

MyInstrumentsView::MyInstrumentsView(SettingsStore &settings, QWidget *parent)
    : QDialog(parent)
    , m_instruments(new InstrumentCatalogModel(settings, this))
    , m_list(new QTreeView(this))
{
    setObjectName(u"my-instruments"_s);
    setWindowTitle(u"My Instruments"_s);
    setMinimumSize(420, 520);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(u"My Instruments"_s, this);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    title->setFont(heading);
    layout->addWidget(title);

    auto *search = new QLineEdit(this);
    search->setPlaceholderText(u"Search instruments"_s);
    search->setAccessibleName(u"Search instruments"_s);
    search->setClearButtonEnabled(true);
    connect(search, &QLineEdit::textChanged, m_instruments, &InstrumentCatalogModel::setQuery);
    layout->addWidget(search);

    m_list->setObjectName(u"instrument-list"_s);
    m_list->setModel(m_instruments);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setItemDelegate(new SheetItemDelegate(
        {-1, InstrumentCatalogModel::CustomRole, u"custom"_s, InstrumentCatalogModel::SelectedRole,
            InstrumentCatalogModel::IsSectionRole},
        m_list));
    // Sections are headings, always open.
    const auto expand = [this] { m_list->expandAll(); };
    connect(m_instruments, &QAbstractItemModel::modelReset, m_list, expand);
    connect(m_instruments, &QAbstractItemModel::rowsInserted, m_list, expand);
    expand();
    onRowChosen(m_list, [this](const QModelIndex &index) { m_instruments->toggle(index); });
    layout->addWidget(m_list, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(u"Done"_s);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace pgw
