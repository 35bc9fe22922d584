// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "saved/DemoShow.h"
#include "support/ManualScheduler.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QtEndian>

#include <utility>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

QJsonObject withSamples(QJsonObject message, int chunk)
{
    const QJsonArray all = vectors("demo_circle_samples"_L1).toArray();
    QJsonArray samples;
    for (int i = chunk * 4; i < chunk * 4 + 4; ++i)
        samples.append(all.at(i));
    message.insert("samples"_L1, samples);
    return message;
}

// A started demo whose messages are recorded with the seconds since the start.
struct RunningDemo
{
    ManualScheduler scheduler;
    DemoShow *demo = new DemoShow(scheduler, QString());
    double started = scheduler.now();
    QList<std::pair<double, QJsonObject>> sent;

    RunningDemo()
    {
        demo->onMessage = [this](const QJsonObject &message) {
            sent.append({scheduler.now() - started, message});
        };
        demo->start();
    }
    ~RunningDemo() { delete demo; }
};

// A demo over a folder holding the given pages (1-based numbers), each with distinct bytes; a
// negative number leaves that page empty.
struct DemoOverPages
{
    QTemporaryDir dir;
    ManualScheduler scheduler;
    DemoShow demo {scheduler, dir.path()};

    explicit DemoOverPages(const QList<int> &numbers = {1, 2, 3})
    {
        for (int number : numbers)
            writeFile(dir.filePath(DemoShow::pageFileName(qAbs(number))),
                number < 0 ? QByteArray() : "page " + QByteArray::number(number));
    }
};

quint32 bigEndian32(const QByteArray &bytes, int offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

} // namespace

class DemoShowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strokeSamplesMatchIndependentValues()
    {
        const QJsonArray expected = vectors("demo_circle_samples"_L1).toArray();
        QCOMPARE(expected.size(), 24);
        QCOMPARE(DemoShow::circleSamples(), expected);
    }

    void scriptSendsEachMessageAtItsTime_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("at");
        QTest::addColumn<QJsonObject>("message");

        const QJsonObject begin1 = object(R"({"type":"ink","phase":"begin","strokeId":"demo-stroke-1",
            "pageIndex":1,"style":{"color":[0.9,0.12,0.12,1.0],"width":0.004}})");
        const QJsonObject append1 = object(R"({"type":"ink","phase":"append","strokeId":"demo-stroke-1"})");
        QTest::newRow("greeting") << 0 << 0.0
                                  << object(R"({"type":"hello","protocolVersion":1,"structureVersion":1,
                                      "state":{"pageIndex":0,"blackout":false,"followers":3}})");
        QTest::newRow("presence") << 1 << 0.0
                                  << object(R"({"type":"presence","count":3,"names":["you","Alex","Sam"]})");
        QTest::newRow("turn to page 1")
            << 2 << 6.0 << object(R"({"type":"nav","t":2,"pageIndex":1,"structureVersion":1})");
        QTest::newRow("ink begin") << 3 << 9.0 << withSamples(begin1, 0);
        QTest::newRow("append 1") << 4 << 9.4 << withSamples(append1, 1);
        QTest::newRow("append 2") << 5 << 9.52 << withSamples(append1, 2);
        QTest::newRow("append 3") << 6 << 9.64 << withSamples(append1, 3);
        QTest::newRow("append 4") << 7 << 9.76 << withSamples(append1, 4);
        QTest::newRow("append 5") << 8 << 9.88 << withSamples(append1, 5);
        QTest::newRow("ink end") << 9 << 10.3
                                 << object(R"({"type":"ink","phase":"end","strokeId":"demo-stroke-1"})");
        QTest::newRow("turn to page 2")
            << 10 << 15.0 << object(R"({"type":"nav","t":3,"pageIndex":2,"structureVersion":1})");
        QTest::newRow("blackout on") << 11 << 19.0 << object(R"({"type":"blackout","on":true})");
        QTest::newRow("blackout off") << 12 << 21.5 << object(R"({"type":"blackout","on":false})");
        QTest::newRow("back to page 0")
            << 13 << 24.0 << object(R"({"type":"nav","t":4,"pageIndex":0,"structureVersion":1})");
        QTest::newRow("second cycle turn")
            << 14 << 33.0 << object(R"({"type":"nav","t":1002,"pageIndex":1,"structureVersion":1})");
        QJsonObject begin2 = withSamples(begin1, 0);
        begin2.insert("strokeId"_L1, u"demo-stroke-2"_s);
        QTest::newRow("second cycle stroke") << 15 << 36.0 << begin2;
    }

    void scriptSendsEachMessageAtItsTime()
    {
        QFETCH(int, index);
        QFETCH(double, at);
        QFETCH(QJsonObject, message);

        RunningDemo run;
        run.scheduler.advance(36.1);
        QCOMPARE(run.sent.size(), 16);
        QCOMPARE(run.sent.at(index).second, message);
        QVERIFY2(qAbs(run.sent.at(index).first - at) < 1e-9,
            qPrintable(QString::number(run.sent.at(index).first)));
    }

    void restartKeepsPageTurnStampsGrowing()
    {
        RunningDemo run;
        run.scheduler.advance(30.0);
        run.demo->start();
        run.sent.clear();
        run.scheduler.advance(6.0);
        QCOMPARE(run.sent.size(), 1);
        QCOMPARE(run.sent.at(0).second.value("t"_L1).toInteger(), 2002);
    }

    void stoppingOrDestroyingMidStrokeCancelsTheRest_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stop") << false;
        QTest::newRow("destroy") << true;
    }

    void stoppingOrDestroyingMidStrokeCancelsTheRest()
    {
        QFETCH(bool, destroy);
        RunningDemo run;
        run.scheduler.advance(9.5);
        QCOMPARE(run.sent.last().second.value("phase"_L1).toString(), u"append"_s);
        const qsizetype sentBefore = run.sent.size();
        if (destroy) {
            delete std::exchange(run.demo, nullptr);
        } else {
            run.demo->stop();
            QCOMPARE(run.scheduler.pendingCount(), 0);
        }
        run.scheduler.advance(100.0);
        QCOMPARE(run.sent.size(), sentBefore);
        QCOMPARE(run.scheduler.pendingCount(), 0);
    }

    void receiverMayStopOrDestroyTheDemoFromItsCallback_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<int>("received");
        QTest::newRow("stop on the greeting") << false << 2;
        QTest::newRow("destroy on the ink's begin") << true << 4;
    }

    void receiverMayStopOrDestroyTheDemoFromItsCallback()
    {
        QFETCH(bool, destroy);
        QFETCH(int, received);
        ManualScheduler scheduler;
        QPointer<DemoShow> demo = new DemoShow(scheduler, QString());
        int count = 0;
        demo->onMessage = [&](const QJsonObject &message) {
            ++count;
            if (!destroy)
                demo->stop();
            else if (message.value("phase"_L1) == "begin"_L1)
                delete demo.data();
        };
        demo->start();
        scheduler.advance(100.0);
        QCOMPARE(count, received);
        QCOMPARE(demo.isNull(), destroy);
        delete demo.data();
    }

    void manifestDescribesThePages()
    {
        DemoOverPages d;
        QVERIFY(d.demo.load());
        QCOMPARE(d.demo.manifest(),
            object(R"({"structureVersion":1,"score":{"scoreToken":999001,"scoreKey":"demo-cantsavethis",
                "title":"Can\u0027t Save This \u2014 demo","pageCount":3,"pages":[{"index":0,"baseVersion":"demo-b0"},
                {"index":1,"baseVersion":"demo-b1"},{"index":2,"baseVersion":"demo-b2"}]}})"));
    }

    void loadFailsWithoutEveryPage_data()
    {
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<bool>("loads");
        QTest::newRow("all three") << QList<int> {1, 2, 3} << true;
        QTest::newRow("first missing") << QList<int> {2, 3} << false;
        QTest::newRow("last missing") << QList<int> {1, 2} << false;
        QTest::newRow("second empty") << QList<int> {1, -2, 3} << false;
    }

    void loadFailsWithoutEveryPage()
    {
        QFETCH(QList<int>, present);
        QFETCH(bool, loads);
        DemoOverPages d(present);
        QCOMPARE(d.demo.load(), loads);
        QCOMPARE(d.demo.pages().size(), loads ? 3 : 0);
        QCOMPARE(d.demo.answerAsset(DemoShow::scoreToken, 0, u"base.png"_s, u"demo-b0"_s).status,
            loads ? 200 : 404);
    }

    void assetAnswers_data()
    {
        QTest::addColumn<qint64>("scoreToken");
        QTest::addColumn<qint64>("pageIndex");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<DemoShow::AssetAnswer>("answer");
        const qint64 demo = 999001;
        const DemoShow::AssetAnswer missing {404, std::nullopt, {}};
        QTest::newRow("page 0") << demo << 0LL << u"base.png"_s
                                << DemoShow::AssetAnswer {200, u"demo-b0"_s, "page 1"};
        QTest::newRow("page 2") << demo << 2LL << u"base.png"_s
                                << DemoShow::AssetAnswer {200, u"demo-b2"_s, "page 3"};
        QTest::newRow("page 3") << demo << 3LL << u"base.png"_s << missing;
        QTest::newRow("negative page") << demo << -1LL << u"base.png"_s << missing;
        QTest::newRow("marks") << demo << 0LL << u"marks.png"_s << missing;
        QTest::newRow("other score") << 7LL << 0LL << u"base.png"_s << missing;
    }

    void assetAnswers()
    {
        QFETCH(qint64, scoreToken);
        QFETCH(qint64, pageIndex);
        QFETCH(QString, kind);
        QFETCH(DemoShow::AssetAnswer, answer);
        DemoOverPages d;
        QVERIFY(d.demo.load());
        QCOMPARE(d.demo.answerAsset(scoreToken, pageIndex, kind, u"anything"_s), answer);
    }

    void installedPagesAreLetterSizeGrayscalePngs()
    {
        ManualScheduler scheduler;
        DemoShow demo(scheduler, DemoShow::defaultPagesFolder());
        QVERIFY(demo.load());
        QCOMPARE(demo.pages().size(), 3);
        for (const QByteArray &png : demo.pages()) {
            QVERIFY(png.size() > 33 && png.size() < 1024 * 1024);
            QCOMPARE(png.first(8), QByteArray("\x89PNG\r\n\x1a\n"));
            QCOMPARE(bigEndian32(png, 8), 13u);
            QCOMPARE(png.mid(12, 4), QByteArray("IHDR"));
            const quint32 width = bigEndian32(png, 16);
            const quint32 height = bigEndian32(png, 20);
            QVERIFY(width >= 1200 && width <= 1800);
            QVERIFY(qAbs(double(height) / width - 22.0 / 17.0) < 0.01);
            QCOMPARE(int(png.at(24)), 8); // bit depth
            QCOMPARE(int(png.at(25)), 0); // grayscale
        }
    }
};

QTEST_GUILESS_MAIN(DemoShowTest)
#include "tst_demoshow.moc"
