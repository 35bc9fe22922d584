// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/PartOptionListModel.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// The master row comes before every option row.
constexpr int optionRowOffset = 1;

} // namespace

PartOptionListModel::PartOptionListModel(
    const PlayerPartChooser &chooser, const QHash<QString, QString> &instrumentNames, QObject *parent)
    : QAbstractListModel(parent)
    , m_chooser(chooser)
    , m_names(instrumentNames)
{
    update(initialScope(chooser), {});
}

QString PartOptionListModel::scopeTitle(Scope scope)
{
    return scope == Scope::Mine ? u"My Instruments"_s : u"All Available"_s;
}

PartOptionListModel::Scope PartOptionListModel::initialScope(const PlayerPartChooser &chooser)
{
    const bool choiceMatches = chooser.selectedOptionID == PlayerPartResolver::masterChoice
        || chooser.matchingOptionIDs.contains(chooser.selectedOptionID);
    return !chooser.matchingOptions().isEmpty() && choiceMatches ? Scope::Mine : Scope::All;
}

QHash<QString, QString> PartOptionListModel::instrumentNames(const PlayerInstrumentCatalog &catalog)
{
    QHash<QString, QString> names;
    for (const PlayerInstrument &instrument : catalog.instruments)
        names.insert(instrument.id, instrument.label);
    return names;
}

void PartOptionListModel::setScope(Scope scope)
{
    if (scope != m_scope)
        update(scope, m_query);
}

void PartOptionListModel::setQuery(const QString &query)
{
    const QString normalized = query.trimmed().toLower();
    if (normalized != m_query)
        update(m_scope, normalized);
}

QString PartOptionListModel::emptyMessage() const
{
    if (!m_visible.isEmpty())
        return {};
    if (!m_query.isEmpty())
        return u"No charts match this search."_s;
    return m_scope == Scope::All ? u"No additional charts are available for this song."_s
                                 : u"No charts match your selected instruments. Try All Available."_s;
}

void PartOptionListModel::update(Scope scope, const QString &query)
{
    beginResetModel();
    m_scope = scope;
    m_query = query;
    m_visible.clear();
    const QList<PlayerPartOption> candidates
        = scope == Scope::Mine ? m_chooser.matchingOptions() : m_chooser.options;
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(m_visible),
        [this](const PlayerPartOption &option) { return matchesQuery(option); });
    endResetModel();
}

bool PartOptionListModel::matchesQuery(const PlayerPartOption &option) const
{
    const auto contains = [this](const QString &text) { return text.toLower().contains(m_query); };
    return m_query.isEmpty() || contains(option.label)
        || std::any_of(option.instrumentIDs.begin(), option.instrumentIDs.end(),
            [&](const QString &id) { return contains(id) || contains(m_names.value(id)); });
}

QString PartOptionListModel::subtitle(const PlayerPartOption &option) const
{
    if (option.instrumentIDs.isEmpty())
        return u"Additional chart"_s;
    QStringList names;
    for (const QString &id : option.instrumentIDs)
        names.append(m_names.value(id, id));
    return names.join(u" · "_s);
}

int PartOptionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : optionRowOffset + int(m_visible.size());
}

QVariant PartOptionListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const bool master = index.row() < optionRowOffset;
    const PlayerPartOption *option = master ? nullptr : &m_visible.at(index.row() - optionRowOffset);
    const QString optionID = master ? QString(PlayerPartResolver::masterChoice) : option->optionID;
    switch (role) {
    case Qt::DisplayRole:
        return master ? u"Master"_s : option->label;
    case SubtitleRole:
        return master ? u"Use the conductor's full score"_s : subtitle(*option);
    case OptionIdRole:
        return optionID;
    case SelectedRole:
        return optionID == m_chooser.selectedOptionID;
    default:
        return {};
    }
}

} // namespace pgw
