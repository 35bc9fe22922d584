// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DefaultsStore.h"

#include <QSettings>

namespace pgw {

SettingsDefaultsStore::SettingsDefaultsStore()
    : m_settings(std::make_unique<QSettings>())
{ }

SettingsDefaultsStore::SettingsDefaultsStore(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{ }

SettingsDefaultsStore::~SettingsDefaultsStore() = default;

QVariant SettingsDefaultsStore::value(const QString &key) const
{
    return m_settings->value(key);
}

bool SettingsDefaultsStore::contains(const QString &key) const
{
    return m_settings->contains(key);
}

void SettingsDefaultsStore::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
}

void SettingsDefaultsStore::remove(const QString &key)
{
    m_settings->remove(key);
}

} // namespace pgw
