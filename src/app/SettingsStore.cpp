// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"

#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"
#include "support/Json.h"

#include <QJsonDocument>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Settings files keep Booleans as text; accept both forms.
std::optional<bool> toBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == "true"_L1)
            return true;
        if (value.toString() == "false"_L1)
            return false;
    }
    return std::nullopt;
}

std::optional<QString> toText(const QVariant &value)
{
    return value.typeId() == QMetaType::QString ? std::optional(value.toString()) : std::nullopt;
}

// A list of one element comes back from a settings file as plain text.
QStringList toTextList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return {value.toString()};
    QStringList list;
    for (const QVariant &element : value.toList()) {
        if (element.typeId() != QMetaType::QString)
            return {};
        list.append(element.toString());
    }
    return list;
}

QStringList sorted(const QSet<QString> &set)
{
    QStringList list(set.begin(), set.end());
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

SettingsStore::SettingsStore(DefaultsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    load();
}

bool SettingsStore::storedBool(QLatin1StringView key, bool fallback) const
{
    return toBool(m_defaults.value(key)).value_or(fallback);
}

void SettingsStore::load()
{
    m_zoomRequest = StageZoomRequest();
    m_invert = storedBool(DefaultsKeys::invert, false);
    m_fitWidth = storedBool(DefaultsKeys::fitWidth, false);

    const auto storedLayout = toText(m_defaults.value(DefaultsKeys::pageLayout));
    m_pageLayout = pageLayoutFromPersisted(storedLayout);
    // Older names are rewritten once, so the stored text is always canonical afterwards.
    if (storedLayout != pageLayoutRawValue(m_pageLayout))
        m_defaults.setValue(DefaultsKeys::pageLayout, pageLayoutRawValue(m_pageLayout));

    m_pageSeparators = storedBool(DefaultsKeys::pageSeparators, true);
    m_autoReturn = storedBool(DefaultsKeys::autoReturn, true);
    m_turnsPagesLocally = storedBool(DefaultsKeys::turnsPagesLocally, false);
    m_tool = fromRawValue(privateAnnotationTools,
        toText(m_defaults.value(DefaultsKeys::privateAnnotationTool)).value_or(QString()))
                 .value_or(PlayerPrivateAnnotationTool::Pen);
    m_color = fromRawValue(privateAnnotationColors,
        toText(m_defaults.value(DefaultsKeys::privateAnnotationColor)).value_or(QString()))
                  .value_or(PlayerPrivateAnnotationColor::Red);

    const QStringList instruments = toTextList(m_defaults.value(DefaultsKeys::myInstrumentIDs));
    m_myInstrumentIDs = QSet<QString>(instruments.begin(), instruments.end());

    m_partChoices.clear();
    const QVariantMap choices = m_defaults.value(DefaultsKeys::partChoicesBySongKey).toMap();
    for (auto it = choices.begin(); it != choices.end(); ++it) {
        if (it.value().typeId() != QMetaType::QString) {
            m_partChoices.clear();
            break;
        }
        m_partChoices.insert(it.key(), it.value().toString());
    }

    std::optional<PlayerInstrumentCatalog> stored;
    const QVariant catalogData = m_defaults.value(DefaultsKeys::lastInstrumentCatalog);
    if (catalogData.typeId() == QMetaType::QByteArray) {
        if (const auto object = json::parseObject(catalogData.toByteArray()))
            stored = PlayerInstrumentCatalog::fromJson(*object);
    }
    m_instrumentCatalog = PlayerInstrumentCatalog::mergingBuiltIns(stored);
}

template<typename T>
bool SettingsStore::change(T &field, const T &value, void (SettingsStore::*changed)())
{
    if (field == value)
        return false;
    field = value;
    Q_EMIT(this->*changed)();
    return true;
}

void SettingsStore::setBool(bool &field, bool value, QLatin1StringView key, void (SettingsStore::*changed)())
{
    if (change(field, value, changed))
        m_defaults.setValue(key, value);
}

void SettingsStore::setInvert(bool on)
{
    setBool(m_invert, on, DefaultsKeys::invert, &SettingsStore::invertChanged);
}

void SettingsStore::setFitWidth(bool on)
{
    setBool(m_fitWidth, on, DefaultsKeys::fitWidth, &SettingsStore::fitWidthChanged);
}

void SettingsStore::setPageLayout(PageLayoutPreference layout)
{
    if (change(m_pageLayout, layout, &SettingsStore::pageLayoutChanged))
        m_defaults.setValue(DefaultsKeys::pageLayout, pageLayoutRawValue(layout));
}

void SettingsStore::setPageSeparators(bool on)
{
    setBool(m_pageSeparators, on, DefaultsKeys::pageSeparators, &SettingsStore::pageSeparatorsChanged);
}

void SettingsStore::requestZoom(StageZoomAction action)
{
    change(m_zoomRequest, m_zoomRequest.next(action), &SettingsStore::zoomRequestChanged);
}

void SettingsStore::setAutoReturn(bool on)
{
    setBool(m_autoReturn, on, DefaultsKeys::autoReturn, &SettingsStore::autoReturnChanged);
}

void SettingsStore::setTurnsPagesLocally(bool on)
{
    setBool(
        m_turnsPagesLocally, on, DefaultsKeys::turnsPagesLocally, &SettingsStore::turnsPagesLocallyChanged);
}

void SettingsStore::setPrivateAnnotationTool(PlayerPrivateAnnotationTool tool)
{
    if (change(m_tool, tool, &SettingsStore::privateAnnotationToolChanged))
        m_defaults.setValue(DefaultsKeys::privateAnnotationTool, rawValue(privateAnnotationTools, tool));
}

void SettingsStore::setPrivateAnnotationColor(PlayerPrivateAnnotationColor color)
{
    if (change(m_color, color, &SettingsStore::privateAnnotationColorChanged))
        m_defaults.setValue(DefaultsKeys::privateAnnotationColor, rawValue(privateAnnotationColors, color));
}

void SettingsStore::setInstrument(const QString &id, bool selected)
{
    const QString trimmed = id.trimmed();
    if (trimmed.isEmpty())
        return;
    QSet<QString> next = m_myInstrumentIDs;
    if (selected)
        next.insert(trimmed);
    else
        next.remove(trimmed);
    if (change(m_myInstrumentIDs, next, &SettingsStore::myInstrumentIDsChanged))
        m_defaults.setValue(DefaultsKeys::myInstrumentIDs, sorted(m_myInstrumentIDs));
}

void SettingsStore::updateInstrumentCatalog(const PlayerInstrumentCatalog &catalog)
{
    const PlayerInstrumentCatalog merged = PlayerInstrumentCatalog::mergingBuiltIns(catalog);
    if (change(m_instrumentCatalog, merged, &SettingsStore::instrumentCatalogChanged))
        m_defaults.setValue(
            DefaultsKeys::lastInstrumentCatalog, json::compact(merged.customOverlay().toJson()));
}

void SettingsStore::savePartChoice(const QString &partID, const QString &songKey)
{
    if (partID.isEmpty() || songKey.isEmpty())
        return;
    QHash<QString, QString> next = m_partChoices;
    next.insert(songKey, partID);
    if (!change(m_partChoices, next, &SettingsStore::partChoicesBySongKeyChanged))
        return;
    QVariantMap stored;
    for (auto it = m_partChoices.begin(); it != m_partChoices.end(); ++it)
        stored.insert(it.key(), it.value());
    m_defaults.setValue(DefaultsKeys::partChoicesBySongKey, stored);
}

} // namespace pgw
