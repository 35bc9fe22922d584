// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/PlayerInstrumentCatalog.h"

#include <QAbstractItemModel>
#include <QList>
#include <QSet>
#include <QString>

namespace pgw {

class SettingsStore;

// The instruments screen's list as a two-level tree: one top-level row per catalog group that has
// instruments, in catalog order, holding those instruments; instruments of no known group come last
// under "Other". A search query narrows it to the instruments it finds, dropping emptied sections.
class InstrumentCatalogModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        CustomRole,
        SelectedRole,
        IsSectionRole,
    };
    Q_ENUM(Role)

    static inline const QString otherSectionID = QStringLiteral("__other");

    explicit InstrumentCatalogModel(SettingsStore &settings, QObject *parent = nullptr);

    // Trimmed and lowercased.
    QString query() const { return m_query; }
    void setQuery(const QString &query);
    // Selects the instrument when it is not selected and deselects it otherwise; sections do nothing.
    void toggle(const QModelIndex &index);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Section
    {
        QString id;
        QString label;
        QList<PlayerInstrument> instruments;
    };

    void rebuild();
    void updateSelection();
    const PlayerInstrument *instrumentAt(const QModelIndex &index) const;

    SettingsStore &m_settings;
    QString m_query;
    QList<Section> m_sections;
    // The selection the rows last reported, so a change can name the rows it touches.
    QSet<QString> m_selected;
};

} // namespace pgw
