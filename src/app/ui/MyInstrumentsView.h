// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QTreeView;

namespace pgw {

class InstrumentCatalogModel;
class SettingsStore;

// The instruments sheet: the catalog by section with a search; a click marks or unmarks an instrument.
class MyInstrumentsView : public QDialog
{
    Q_OBJECT

public:
    explicit MyInstrumentsView(SettingsStore &settings, QWidget *parent = nullptr);

private:
    InstrumentCatalogModel *m_instruments;
    QTreeView *m_list;
};

} // namespace pgw
