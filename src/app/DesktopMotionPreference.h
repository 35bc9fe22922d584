// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusVariant>
#include <QObject>

namespace pgw {

// Whether the desktop asks for reduced motion: the settings portal's GNOME "enable-animations" off, or
// KDE's animation speed at 0. Motion stays on where neither can be read.
class DesktopMotionPreference : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool reduced READ reduced NOTIFY reducedChanged)

public:
    explicit DesktopMotionPreference(QObject *parent = nullptr);

    bool reduced() const { return m_reduced; }

    // KDE's "AnimationDurationFactor" in a kdeglobals file; false when absent.
    static bool kdeReducesMotion(const QString &kdeglobalsPath);

Q_SIGNALS:
    void reducedChanged();

private Q_SLOTS:
    void portalSettingChanged(
        const QString &settingsNamespace, const QString &key, const QDBusVariant &value);

private:
    void setReduced(bool on);
    void readPortal();

    bool m_reduced = false;
    bool m_kdeReduced = false;
};

} // namespace pgw
