// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DesktopMotionPreference.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

const QString portalService = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString settingsInterface = u"org.freedesktop.portal.Settings"_s;
const QString gnomeNamespace = u"org.gnome.desktop.interface"_s;
const QString animationsKey = u"enable-animations"_s;

// The portal wraps values in variants, sometimes twice.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

DesktopMotionPreference::DesktopMotionPreference(QObject *parent)
    : QObject(parent)
{
    const QString kdeglobals = QStandardPaths::locate(QStandardPaths::GenericConfigLocation, u"kdeglobals"_s);
    m_kdeReduced = !kdeglobals.isEmpty() && kdeReducesMotion(kdeglobals);
    m_reduced = m_kdeReduced;
    readPortal();
}

bool DesktopMotionPreference::kdeReducesMotion(const QString &kdeglobalsPath)
{
    const QSettings kdeglobals(kdeglobalsPath, QSettings::IniFormat);
    bool ok = false;
    const double factor = kdeglobals.value(u"KDE/AnimationDurationFactor"_s).toDouble(&ok);
    return ok && factor == 0;
}

void DesktopMotionPreference::setReduced(bool on)
{
    if (m_reduced == on)
        return;
    m_reduced = on;
    Q_EMIT reducedChanged();
}

void DesktopMotionPreference::readPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Asked without blocking: the stage starts with motion on and follows the answer.
    QDBusMessage read
        = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, u"Read"_s);
    read << gnomeNamespace << animationsKey;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return;
        const QVariant value = unwrapped(reply.value().variant());
        if (value.typeId() == QMetaType::Bool)
            setReduced(m_kdeReduced || !value.toBool());
    });
    bus.connect(portalService, portalPath, settingsInterface, u"SettingChanged"_s, this,
        SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
}

void DesktopMotionPreference::portalSettingChanged(
    const QString &settingsNamespace, const QString &key, const QDBusVariant &value)
{
    const QVariant enabled = unwrapped(value.variant());
    if (settingsNamespace == gnomeNamespace && key == animationsKey && enabled.typeId() == QMetaType::Bool)
        setReduced(m_kdeReduced || !enabled.toBool());
}

} // namespace pgw
