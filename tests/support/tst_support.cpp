// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DefaultsStore.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"
#include "support/SerialQueue.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <utility>

using namespace pgw;
using namespace Qt::StringLiterals;

class SupportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void manualSchedulerRunsByDeadlineThenPostingOrder()
    {
        ManualScheduler scheduler;
        QStringList ran;
        const auto task = [&](const QString &name) {
            return [&ran, &scheduler, name] { ran << name + u'@' + QString::number(scheduler.now() - 1000); };
        };
        scheduler.postAfter(1.0, task(u"b1"_s));
        scheduler.postAfter(0.5, [&] {
            ran << u"a"_s;
            scheduler.postAfter(1.0, task(u"c"_s));
            scheduler.postAfter(5.0, task(u"d"_s));
        });
        scheduler.postAfter(1.0, task(u"b2"_s));
        scheduler.post(task(u"now"_s));
        TaskHandle cancelled = scheduler.postAfter(0.1, task(u"cancelled"_s));
        QVERIFY(cancelled.isActive());
        cancelled.cancel();
        QVERIFY(!cancelled.isActive());
        QCOMPARE(scheduler.pendingCount(), 4);
        scheduler.advance(0.99);
        QCOMPARE(ran, (QStringList {u"now@0"_s, u"a"_s}));
        scheduler.advance(2.01);
        QCOMPARE(ran, (QStringList {u"now@0"_s, u"a"_s, u"b1@1"_s, u"b2@1"_s, u"c@1.5"_s}));
        QCOMPARE(scheduler.now(), 1003.0);
        scheduler.advance(3.0);
        QCOMPARE(ran.last(), u"d@5.5"_s);
    }

    void jsonIntegersAreIntegralNumbers_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QVariant>("integer"); // invalid when the value is not one
        QTest::newRow("integer") << QByteArray("42") << QVariant(42);
        QTest::newRow("zero") << QByteArray("0") << QVariant(0);
        QTest::newRow("negative") << QByteArray("-7") << QVariant(-7);
        QTest::newRow("integral double") << QByteArray("3.0") << QVariant(3);
        QTest::newRow("largest int") << QByteArray("2147483647") << QVariant(2147483647);
        QTest::newRow("smallest int") << QByteArray("-2147483648") << QVariant(qint64(-2147483648));
        QTest::newRow("beyond int") << QByteArray("2147483648") << QVariant(qint64(2147483648));
        QTest::newRow("below int") << QByteArray("-4294967299") << QVariant(qint64(-4294967299));
        QTest::newRow("fraction") << QByteArray("2.5") << QVariant();
        QTest::newRow("string") << QByteArray(R"("4")") << QVariant();
        QTest::newRow("bool") << QByteArray("true") << QVariant();
        QTest::newRow("huge") << QByteArray("1e300") << QVariant();
        QTest::newRow("missing") << QByteArray() << QVariant();
    }

    void jsonIntegersAreIntegralNumbers()
    {
        QFETCH(QByteArray, value);
        QFETCH(QVariant, integer);
        const auto object = json::parseObject(value.isEmpty() ? "{}" : R"({"n":)" + value + "}");
        QVERIFY(object);
        const qint64 expected = integer.toLongLong();
        QCOMPARE(json::optInt(*object, "n"_L1).has_value(), integer.isValid());
        QCOMPARE(json::intOr(*object, "n"_L1, -1), integer.isValid() ? expected : -1);
        const bool fits = integer.isValid() && std::in_range<int>(expected);
        QCOMPARE(json::optInt32(*object, "n"_L1).has_value(), fits);
        QCOMPARE(json::int32Or(*object, "n"_L1, -1), fits ? int(expected) : -1);
    }

    void jsonMembersOfAnotherTypeTakeTheirDefaults()
    {
        const auto o = json::parseObject(R"({"s":"text","e":"","n":2.5,"b":true,"o":{"k":1},"a":[1]})");
        QVERIFY(o);
        QCOMPARE(json::stringOr(*o, "s"_L1, u"d"_s), u"text"_s);
        QCOMPARE(json::stringOr(*o, "n"_L1, u"d"_s), u"d"_s);
        QCOMPARE(json::nonEmptyString(*o, "s"_L1), u"text"_s);
        QVERIFY(!json::nonEmptyString(*o, "e"_L1));
        QCOMPARE(json::optString(*o, "e"_L1), QString());
        QCOMPARE(json::numberOr(*o, "n"_L1, 0), 2.5);
        QCOMPARE(json::numberOr(*o, "s"_L1, 7), 7.0);
        QCOMPARE(json::boolOr(*o, "b"_L1, false), true);
        QCOMPARE(json::boolOr(*o, "s"_L1, true), true);
        QCOMPARE(json::objectOr(*o, "o"_L1).value("k"_L1).toInt(), 1);
        QVERIFY(json::objectOr(*o, "a"_L1).isEmpty());
        QCOMPARE(json::arrayOr(*o, "a"_L1).size(), 1);
        QVERIFY(json::arrayOr(*o, "o"_L1).isEmpty());
        for (const char *notAnObject : {"[1,2]", "\"text\"", "{\"a\":", ""})
            QVERIFY(!json::parseObject(notAnObject));
    }

    void jsonMarksAreCountedOutsideStrings()
    {
        // Written with ' for ".
        const auto marks = [](QByteArray text) { return json::markCount(text.replace('\'', '"')); };
        QCOMPARE(marks("{'a':[1,2],'b':{}}"), 7);
        QCOMPARE(marks("{'a,b:[{':'x,y'}"), 2);
        QCOMPARE(marks("{'a\\',':',['}"), 2); // an escaped quote does not end a string
        QCOMPARE(marks(""), 0);
    }

    void serialQueueRunsTasksAndTimersOnItsOwnThreadInOrder()
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

        std::atomic<int> fired = 0;
        queue.scheduler().postAfter(0.01, [&] { ++fired; });
        queue.scheduler().postAfter(0.01, [&] { fired += 100; }).cancel();
        queue.scheduler().postAfter(0.02, [&] { fired += 1000; });
        QTRY_COMPARE(fired.load(), 1001);
    }

    void defaultsStoresKeepWhatIsSet()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"defaults.ini"_s);
        MemoryDefaultsStore memory;
        auto settings = std::make_unique<SettingsDefaultsStore>(file);
        for (DefaultsStore *store : std::initializer_list<DefaultsStore *> {settings.get(), &memory}) {
            store->setValue(u"playerName"_s, u"Ann"_s);
            store->setValue(u"gone"_s, 1);
            store->remove(u"gone"_s);
        }
        settings.reset(); // what was written is read back
        settings = std::make_unique<SettingsDefaultsStore>(file);
        for (DefaultsStore *store : std::initializer_list<DefaultsStore *> {settings.get(), &memory}) {
            QCOMPARE(store->value(u"playerName"_s).toString(), u"Ann"_s);
            QVERIFY(store->contains(u"playerName"_s) && !store->contains(u"gone"_s)
                && !store->value(u"gone"_s).isValid());
        }
    }
};

QTEST_GUILESS_MAIN(SupportTest)
#include "tst_support.moc"
