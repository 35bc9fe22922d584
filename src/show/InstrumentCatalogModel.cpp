// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/InstrumentCatalogModel.h"

#include "app/SettingsStore.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Section rows carry this internal id; an instrument row carries its section's row plus one.
constexpr quintptr sectionRowID = 0;

bool isSection(const QModelIndex &index)
{
    return index.internalId() == sectionRowID;
}

} // namespace

InstrumentCatalogModel::InstrumentCatalogModel(SettingsStore &settings, QObject *parent)
    : QAbstractItemModel(parent)
    , m_settings(settings)
{
    connect(&settings, &SettingsStore::instrumentCatalogChanged, this, &InstrumentCatalogModel::rebuild);
    connect(
        &settings, &SettingsStore::myInstrumentIDsChanged, this, &InstrumentCatalogModel::updateSelection);
    rebuild();
}

void InstrumentCatalogModel::setQuery(const QString &query)
{
    const QString normalized = query.trimmed().toLower();
    if (normalized == m_query)
        return;
    m_query = normalized;
    rebuild();
}

void InstrumentCatalogModel::toggle(const QModelIndex &index)
{
    if (const PlayerInstrument *instrument = instrumentAt(index)) {
        const QString id = instrument->id;
        m_settings.setInstrument(id, !m_selected.contains(id));
    }
}

void InstrumentCatalogModel::rebuild()
{
    beginResetModel();
    const PlayerInstrumentCatalog &catalog = m_settings.instrumentCatalog();
    m_sections.clear();
    QHash<QString, qsizetype> sectionOfGroup;
    for (const PlayerInstrumentGroup &group : catalog.groups) {
        sectionOfGroup.insert(group.id, m_sections.size());
        m_sections.append({group.id, group.label, {}});
    }
    Section other {otherSectionID, u"Other"_s, {}};
    for (const PlayerInstrument &instrument : catalog.instruments) {
        if (!instrument.matchesSearch(m_query))
            continue;
        const auto group = sectionOfGroup.constFind(instrument.groupID);
        Section &section = group == sectionOfGroup.cend() ? other : m_sections[*group];
        section.instruments.append(instrument);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(other.instruments.begin(), other.instruments.end(),
        [&](const PlayerInstrument &a, const PlayerInstrument &b) {
            return collator.compare(a.label, b.label) < 0;
        });
    m_sections.append(other);
    m_sections.removeIf([](const Section &section) { return section.instruments.isEmpty(); });
    m_selected = m_settings.myInstrumentIDs();
    endResetModel();
}

void InstrumentCatalogModel::updateSelection()
{
    const QSet<QString> &now = m_settings.myInstrumentIDs();
    const QSet<QString> before = std::exchange(m_selected, now);
    for (qsizetype section = 0; section < m_sections.size(); ++section) {
        const QList<PlayerInstrument> &instruments = m_sections.at(section).instruments;
        for (qsizetype row = 0; row < instruments.size(); ++row) {
            const QString &id = instruments.at(row).id;
            if (before.contains(id) == now.contains(id))
                continue;
            const QModelIndex changed = createIndex(int(row), 0, quintptr(section) + 1);
            Q_EMIT dataChanged(changed, changed, {SelectedRole});
        }
    }
}

const PlayerInstrument *InstrumentCatalogModel::instrumentAt(const QModelIndex &index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || isSection(index))
        return nullptr;
    return &m_sections.at(qsizetype(index.internalId() - 1)).instruments.at(index.row());
}

QModelIndex InstrumentCatalogModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, parent.isValid() ? quintptr(parent.row()) + 1 : sectionRowID);
}

QModelIndex InstrumentCatalogModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || isSection(child))
        return {};
    return createIndex(int(child.internalId() - 1), 0, sectionRowID);
}

int InstrumentCatalogModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sections.size());
    if (isSection(parent) && parent.column() == 0)
        return int(m_sections.at(parent.row()).instruments.size());
    return 0;
}

int InstrumentCatalogModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant InstrumentCatalogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (isSection(index)) {
        const Section &section = m_sections.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
            return section.label;
        case IdRole:
            return section.id;
        case IsSectionRole:
            return true;
        default:
            return {};
        }
    }
    const PlayerInstrument &instrument = *instrumentAt(index);
    switch (role) {
    case Qt::DisplayRole:
        return instrument.label;
    case IdRole:
        return instrument.id;
    case CustomRole:
        return instrument.custom;
    case SelectedRole:
        return m_selected.contains(instrument.id);
    case IsSectionRole:
        return false;
    default:
        return {};
    }
}

Qt::ItemFlags InstrumentCatalogModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (isSection(index))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace pgw
