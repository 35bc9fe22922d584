// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowActivity.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

QDBusMessage screenSaverCall(const QString &method)
{
    return QDBusMessage::createMethodCall(u"org.freedesktop.ScreenSaver"_s, u"/org/freedesktop/ScreenSaver"_s,
        u"org.freedesktop.ScreenSaver"_s, method);
}

} // namespace

// Shared with pending replies, which may arrive after the activity object is gone.
struct FreedesktopShowActivity::State
{
    std::optional<uint> cookie;
    bool pending = false;
    bool wanted = false;

    void release()
    {
        if (!cookie)
            return;
        QDBusMessage call = screenSaverCall(u"UnInhibit"_s);
        call << *cookie;
        QDBusConnection::sessionBus().asyncCall(call);
        cookie.reset();
    }
};

FreedesktopShowActivity::FreedesktopShowActivity()
    : m_state(std::make_shared<State>())
{ }

FreedesktopShowActivity::~FreedesktopShowActivity()
{
    m_state->wanted = false;
    m_state->release();
}

void FreedesktopShowActivity::begin()
{
    m_wanted = true;
    m_state->wanted = true;
    if (m_state->cookie || m_state->pending)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = screenSaverCall(u"Inhibit"_s);
    call << QCoreApplication::applicationName() << QString(reason);
    // Asynchronous: a slow session bus must not stall the stage.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    m_state->pending = true;
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, [state = m_state](QDBusPendingCallWatcher *finished) {
            QDBusPendingReply<uint> reply = *finished;
            finished->deleteLater();
            state->pending = false;
            if (reply.isError())
                return;
            state->cookie = reply.value();
            if (!state->wanted)
                state->release();
        });
}

void FreedesktopShowActivity::end()
{
    m_wanted = false;
    m_state->wanted = false;
    m_state->release();
}

} // namespace pgw
