// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace pgw {

// The per-user defaults store: a flat map of keys to values.
class DefaultsStore
{
public:
    virtual ~DefaultsStore() = default;
    virtual QVariant value(const QString &key) const = 0;
    virtual bool contains(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;
};

class SettingsDefaultsStore : public DefaultsStore
{
public:
    // Uses the application's organisation and name (the platform's usual place for settings).
    SettingsDefaultsStore();
    explicit SettingsDefaultsStore(const QString &fileName);
    ~SettingsDefaultsStore() override;

    QVariant value(const QString &key) const override;
    bool contains(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    void remove(const QString &key) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

class MemoryDefaultsStore : public DefaultsStore
{
public:
    QVariant value(const QString &key) const override { return m_values.value(key); }
    bool contains(const QString &key) const override { return m_values.contains(key); }
    void setValue(const QString &key, const QVariant &value) override { m_values.insert(key, value); }
    void remove(const QString &key) override { m_values.remove(key); }

private:
    QHash<QString, QVariant> m_values;
};

} // namespace pgw
