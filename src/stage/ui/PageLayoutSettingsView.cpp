// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/PageLayoutSettingsView.h"

#include "app/SettingsStore.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace pgw {

PageLayoutSettingsView::PageLayoutSettingsView(SettingsStore &settings, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"page-layout-sheet"_s);
    setWindowTitle(u"Page Layout"_s);
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(u"Page Layout"_s, this);
    QFont heading = title->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    title->setFont(heading);
    layout->addWidget(title);

    auto *rows = new QButtonGroup(this);
    for (const PageLayoutPreference preference :
        {PageLayoutPreference::OneRow, PageLayoutPreference::TwoRows}) {
        auto *row = new QRadioButton(pageLayoutLabel(preference), this);
        row->setObjectName(pageLayoutRawValue(preference));
        row->setChecked(settings.pageLayout() == preference);
        rows->addButton(row, int(preference));
        layout->addWidget(row);
    }
    connect(rows, &QButtonGroup::idClicked, &settings,
        [&settings](int id) { settings.setPageLayout(PageLayoutPreference(id)); });

    auto *note
        = new QLabel(u"Fit pages in one or two rows. Complete pages fill from the left, and the remaining "
                     "width previews the next column. Page turns still move one page at a time."_s,
            this);
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(u"Done"_s);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

} // namespace pgw
