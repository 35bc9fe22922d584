// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DefaultsStore.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"
#include "support/SerialQueue.h"

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
        });
        scheduler.postAfter(1.0, task(u"b2"_s));
        scheduler.post(task(u"now"_s));
        scheduler.postAfter(0.1, task(u"cancelled"_s)).cancel();
        scheduler.advance(0.99);
        QCOMPARE(ran, (QStringList {u"now@0"_s, u"a"_s}));
        scheduler.advance(2.01);
        QCOMPARE(ran, (QStringList {u"now@0"_s, u"a"_s, u"b1@1"_s, u"b2@1"_s, u"c@1.5"_s}));
    }

    void jsonIntegersAreIntegralNumbers()
    {
        // The value of "n", and the integer it is (none when it is not one).
        const QList<std::pair<QByteArray, std::optional<qint64>>> cases {{"42", 42}, {"0", 0}, {"-7", -7},
            {"3.0", 3}, {"2147483647", 2147483647}, {"-2147483648", -2147483648}, {"2147483648", 2147483648},
            {"-4294967299", -4294967299}, {"2.5", {}}, {R"("4")", {}}, {"true", {}}, {"1e300", {}}, {"", {}}};
        for (const auto &[value, integer] : cases) {
            const auto object = json::parseObject(value.isEmpty() ? "{}" : R"({"n":)" + value + "}");
            QVERIFY(object);
            QCOMPARE(json::optInt(*object, "n"_L1), integer);
            QCOMPARE(json::intOr(*object, "n"_L1, -1), integer.value_or(-1));
            const bool fits = integer && std::in_range<int>(*integer);
            QCOMPARE(json::optInt32(*object, "n"_L1), fits ? std::optional(int(*integer)) : std::nullopt);
            QCOMPARE(json::int32Or(*object, "n"_L1, -1), fits ? int(*integer) : -1);
        }
    }

    void jsonMembersOfAnotherTypeTakeTheirDefaults()
    {
        const auto o = json::parseObject(R"({"s":"text","e":"","n":2.5,"b":true,"o":{"k":1},"a":[1]})");
        QVERIFY(o);
        QCOMPARE(std::tuple(json::stringOr(*o, "s"_L1, u"d"_s), json::stringOr(*o, "n"_L1, u"d"_s),
                     json::nonEmptyString(*o, "s"_L1), json::nonEmptyString(*o, "e"_L1),
                     json::optString(*o, "e"_L1)),
            std::tuple(u"text"_s, u"d"_s, u"text"_s, std::nullopt, QString()));
        QCOMPARE(std::tuple(json::numberOr(*o, "n"_L1, 0), json::numberOr(*o, "s"_L1, 7),
                     json::boolOr(*o, "b"_L1, false), json::boolOr(*o, "s"_L1, true)),
            std::tuple(2.5, 7.0, true, true));
        QCOMPARE(
            std::tuple(json::objectOr(*o, "o"_L1).value("k"_L1).toInt(), json::objectOr(*o, "a"_L1).size(),
                json::arrayOr(*o, "a"_L1).size(), json::arrayOr(*o, "o"_L1).size()),
            std::tuple(1, 0, 1, 0));
        for (const char *notAnObject : {"[1,2]", "\"text\"", "{\"a\":", ""})
            QVERIFY(!json::parseObject(notAnObject));
    }

    void jsonMarksAreCountedOutsideStrings()
    {
        // Written with ' for ".
        const auto marks = [](QByteArray text) { return json::markCount(text.replace('\'', '"')); };
        // An escaped quote does not end a string.
        QCOMPARE((QList {marks("{'a':[1,2],'b':{}}"), marks("{'a,b:[{':'x,y'}"), marks("{'a\\',':',['}"),
                     marks("")}),
            (QList<qsizetype> {7, 2, 2, 0}));
    }

    void serialQueueRunsTasksAndTimersOnItsOwnThreadInOrder()
    {
        SerialQueue queue(u"player.test"_s);
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
