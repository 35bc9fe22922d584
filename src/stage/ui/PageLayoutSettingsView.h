// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace pgw {

class SettingsStore;

// The page layout sheet: one row per layout, the current one checked.
class PageLayoutSettingsView : public QDialog
{
    Q_OBJECT

public:
    explicit PageLayoutSettingsView(SettingsStore &settings, QWidget *parent = nullptr);
};

} // namespace pgw
