// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowActivity.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

// Stands in for the desktop's screen saver on a private session bus.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList reasons;
    QList<uint> released;

public Q_SLOTS:
    uint Inhibit(const QString &, const QString &reason)
    {
        reasons.append(reason);
        return 40 + uint(reasons.size());
    }
    void UnInhibit(uint cookie) { released.append(cookie); }
};

class ShowActivityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inhibitsWhileHeldAndReleasesOnEnd()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus (run under dbus-run-session)");
        {
            // Without a screen saver nothing fails; a round trip to the bus brings its refusal of the call.
            // Its own object: a refusal still on its way would hold back the next request.
            FreedesktopShowActivity activity;
            activity.begin();
            bus.interface()->isServiceRegistered(u"org.freedesktop.ScreenSaver"_s);
            QCoreApplication::processEvents();
            activity.end();
            QVERIFY(!activity.isHeld());
        }

        FreedesktopShowActivity activity;
        FakeScreenSaver saver;
        QVERIFY(
            bus.registerObject(u"/org/freedesktop/ScreenSaver"_s, &saver, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.ScreenSaver"_s));
        activity.begin();
        activity.begin();
        QVERIFY(activity.isHeld());
        QTRY_COMPARE(saver.reasons, QStringList {u"Keep the Pagewright player visible during the show"_s});
        activity.end();
        QTRY_COMPARE(saver.released, QList<uint> {41});
        QVERIFY(!activity.isHeld());

        // Ending before the screen saver answered still releases the cookie it hands out.
        activity.begin();
        activity.end();
        QTRY_COMPARE(saver.released, (QList<uint> {41, 42}));
        bus.unregisterService(u"org.freedesktop.ScreenSaver"_s);
    }
};

QTEST_GUILESS_MAIN(ShowActivityTest)
#include "tst_showactivity.moc"
