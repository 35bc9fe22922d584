// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DefaultsStore.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"
#include "support/SerialQueue.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace pgw;
using namespace Qt::StringLiterals;

class SupportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void manualSchedulerRunsEqualDeadlinesInPostingOrder()
    {
        ManualScheduler scheduler;
        QStringList ran;
        scheduler.postAfter(1.0, [&] { ran << u"b1"_s; });
        scheduler.postAfter(0.5, [&] { ran << u"a"_s; });
        scheduler.postAfter(1.0, [&] { ran << u"b2"_s; });
        scheduler.post([&] { ran << u"now"_s; });
        scheduler.advance(0.99);
        QCOMPARE(ran, (QStringList {u"now"_s, u"a"_s}));
        scheduler.advance(0.01);
        QCOMPARE(ran, (QStringList {u"now"_s, u"a"_s, u"b1"_s, u"b2"_s}));
    }

    void manualSchedulerNeverRunsCancelledTasks()
    {
        ManualScheduler scheduler;
        int runs = 0;
        TaskHandle handle = scheduler.postAfter(1.0, [&] { ++runs; });
        QVERIFY(handle.isActive());
        handle.cancel();
        QVERIFY(!handle.isActive());
        scheduler.advance(5);
        QCOMPARE(runs, 0);
        QCOMPARE(scheduler.pendingCount(), 0);
    }

    void manualSchedulerRunsTasksScheduledWhileAdvancingWhenDue()
    {
        ManualScheduler scheduler;
        QList<double> times;
        scheduler.postAfter(1.0, [&] {
            times << scheduler.now();
            scheduler.postAfter(1.0, [&] { times << scheduler.now(); });
            scheduler.postAfter(5.0, [&] { times << scheduler.now(); });
        });
        const double start = scheduler.now();
        scheduler.advance(3.0);
        QCOMPARE(times, (QList<double> {start + 1.0, start + 2.0}));
        QCOMPARE(scheduler.now(), start + 3.0);
        scheduler.advance(3.0);
        QCOMPARE(times.size(), 3);
        QCOMPARE(times.last(), start + 6.0);
    }

    void jsonIntegersAreIntegralNumbers_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("present");
        QTest::addColumn<qint64>("value");
        QTest::newRow("integer") << QByteArray(R"({"n": 42})") << true << qint64(42);
        QTest::newRow("zero") << QByteArray(R"({"n": 0})") << true << qint64(0);
        QTest::newRow("negative") << QByteArray(R"({"n": -7})") << true << qint64(-7);
        QTest::newRow("integral double") << QByteArray(R"({"n": 3.0})") << true << qint64(3);
        QTest::newRow("fraction") << QByteArray(R"({"n": 2.5})") << false << qint64(0);
        QTest::newRow("string") << QByteArray(R"({"n": "4"})") << false << qint64(0);
        QTest::newRow("bool") << QByteArray(R"({"n": true})") << false << qint64(0);
        QTest::newRow("huge") << QByteArray(R"({"n": 1e300})") << false << qint64(0);
        QTest::newRow("missing") << QByteArray(R"({})") << false << qint64(0);
    }

    void jsonIntegersAreIntegralNumbers()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, present);
        QFETCH(qint64, value);
        const auto object = json::parseObject(document);
        QVERIFY(object);
        const auto read = json::optInt(*object, "n"_L1);
        QCOMPARE(read.has_value(), present);
        if (present)
            QCOMPARE(*read, value);
        QCOMPARE(json::intOr(*object, "n"_L1, -1), present ? value : -1);
    }

    void jsonIndicesMustFitAnInt()
    {
        const auto object = json::parseObject(R"({"big": 4294967299, "ok": 12})");
        QVERIFY(!json::optInt32(*object, "big"_L1));
        QCOMPARE(json::optInt(*object, "big"_L1), qint64(4294967299));
        QCOMPARE(json::optInt32(*object, "ok"_L1), 12);
    }

    void jsonMistypedMembersTakeTheirDefaults()
    {
        const auto object = json::parseObject(R"({"s": 5, "b": "yes", "o": [], "a": {}, "e": ""})");
        QCOMPARE(json::stringOr(*object, "s"_L1, u"d"_s), u"d"_s);
        QCOMPARE(json::boolOr(*object, "b"_L1, true), true);
        QVERIFY(!json::optObject(*object, "o"_L1));
        QVERIFY(!json::optArray(*object, "a"_L1));
        QVERIFY(!json::nonEmptyString(*object, "e"_L1));
        QCOMPARE(json::optString(*object, "e"_L1), QString());
    }

    void jsonParseObjectRejectsEverythingButAnObject()
    {
        QVERIFY(!json::parseObject("[1,2]"));
        QVERIFY(!json::parseObject("\"text\""));
        QVERIFY(!json::parseObject("{\"a\":"));
        QVERIFY(!json::parseObject(QByteArray()));
        QVERIFY(json::parseObject("{}"));
    }

    void serialQueueRunsTasksOnItsOwnThreadInOrder()
    {
        SerialQueue queue(u"player.test"_s);
        QCOMPARE(queue.name(), u"player.test"_s);
        QList<int> order;
        QThread *seen = nullptr;
        for (int i = 0; i < 5; ++i)
            queue.scheduler().post([&order, i] { order << i; });
        queue.scheduler().runSync([&] { seen = QThread::currentThread(); });
        QCOMPARE(order, (QList<int> {0, 1, 2, 3, 4}));
        QVERIFY(seen && seen != QThread::currentThread());
    }

    void serialQueueTimersFireAndCancel()
    {
        SerialQueue queue(u"player.timers"_s);
        std::atomic<int> fired = 0;
        queue.scheduler().postAfter(0.01, [&] { ++fired; });
        TaskHandle cancelled = queue.scheduler().postAfter(0.01, [&] { fired += 100; });
        cancelled.cancel();
        QTRY_COMPARE(fired.load(), 1);
        QTest::qWait(50);
        QCOMPARE(fired.load(), 1);
    }

    void defaultsStoresRoundTrip()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"defaults.ini"_s);
        {
            SettingsDefaultsStore store(file);
            store.setValue(u"playerName"_s, u"Ann"_s);
            store.setValue(u"gone"_s, 1);
            store.remove(u"gone"_s);
        }
        SettingsDefaultsStore reopened(file);
        QCOMPARE(reopened.value(u"playerName"_s).toString(), u"Ann"_s);
        QVERIFY(!reopened.contains(u"gone"_s));

        MemoryDefaultsStore memory;
        memory.setValue(u"k"_s, true);
        QVERIFY(memory.contains(u"k"_s));
        memory.remove(u"k"_s);
        QVERIFY(!memory.value(u"k"_s).isValid());
    }
};

QTEST_GUILESS_MAIN(SupportTest)
#include "tst_support.moc"
