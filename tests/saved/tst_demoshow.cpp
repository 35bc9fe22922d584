#include "saved/DemoShow.h"
#include "support/ManualScheduler.h"

#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

QJsonArray vectorSamples()
{
    QFile file(QStringLiteral(PGW_SHARED_DIR "/vectors/names-and-identities.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("demo_circle_samples"_L1).toArray();
}

QJsonArray vectorChunk(int chunk)
{
    const QJsonArray all = vectorSamples();
    QJsonArray result;
    for (int i = chunk * 4; i < chunk * 4 + 4; ++i)
        result.append(all.at(i));
    return result;
}

QJsonObject withSamples(QJsonObject message, int chunk)
{
    message.insert("samples"_L1, vectorChunk(chunk));
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

// Writes the given pages (1-based numbers) into a folder, each holding distinct bytes.
void writePages(const QTemporaryDir &dir, const QList<int> &numbers)
{
    for (int number : numbers) {
        QFile file(dir.filePath(DemoShow::pageFileName(number)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("page " + QByteArray::number(number));
    }
}

quint32 bigEndian32(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

} // namespace

class DemoShowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strokeSamplesMatchIndependentValues()
    {
        const QJsonArray expected = vectorSamples();
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

    void stopDuringStrokeCancelsTheRest()
    {
        RunningDemo run;
        run.scheduler.advance(9.5);
        QCOMPARE(run.sent.last().second.value("phase"_L1).toString(), u"append"_s);
        const qsizetype sentBeforeStop = run.sent.size();

        run.demo->stop();
        QCOMPARE(run.scheduler.pendingCount(), 0);
        run.scheduler.advance(100.0);
        QCOMPARE(run.sent.size(), sentBeforeStop);
    }

    void receiverStoppingOnGreetingStopsTheScript()
    {
        ManualScheduler scheduler;
        DemoShow demo(scheduler, QString());
        int received = 0;
        demo.onMessage = [&](const QJsonObject &) {
            ++received;
            demo.stop();
        };
        demo.start();
        scheduler.advance(60.0);
        QCOMPARE(received, 2);
    }

    void destroyedDemoIgnoresPendingSteps()
    {
        RunningDemo run;
        run.scheduler.advance(9.5);
        const qsizetype sentBefore = run.sent.size();
        delete std::exchange(run.demo, nullptr);

        run.scheduler.advance(100.0);
        QCOMPARE(run.sent.size(), sentBefore);
        QCOMPARE(run.scheduler.pendingCount(), 0);
    }

    void receiverDestroyingDemoMidStrokeIsSafe()
    {
        ManualScheduler scheduler;
        QPointer<DemoShow> demo = new DemoShow(scheduler, QString());
        int received = 0;
        demo->onMessage = [&](const QJsonObject &message) {
            ++received;
            if (message.value("phase"_L1) == "begin"_L1)
                delete demo.data();
        };
        demo->start();
        scheduler.advance(100.0);
        QVERIFY(demo.isNull());
        QCOMPARE(received, 4);
    }

    void manifestDescribesThePages()
    {
        QTemporaryDir dir;
        writePages(dir, {1, 2, 3});
        ManualScheduler scheduler;
        DemoShow demo(scheduler, dir.path());
        QVERIFY(demo.load());
        QCOMPARE(demo.manifest(),
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
    }

    void loadFailsWithoutEveryPage()
    {
        QFETCH(QList<int>, present);
        QFETCH(bool, loads);
        QTemporaryDir dir;
        writePages(dir, present);
        ManualScheduler scheduler;
        DemoShow demo(scheduler, dir.path());
        QCOMPARE(demo.load(), loads);
        QCOMPARE(demo.pages().size(), loads ? 3 : 0);
        QCOMPARE(
            demo.answerAsset(DemoShow::scoreToken, 0, u"base.png"_s, u"demo-b0"_s).status, loads ? 200 : 404);
    }

    void emptyPageFailsLoad()
    {
        QTemporaryDir dir;
        writePages(dir, {1, 3});
        QFile empty(dir.filePath(DemoShow::pageFileName(2)));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        ManualScheduler scheduler;
        DemoShow demo(scheduler, dir.path());
        QVERIFY(!demo.load());
    }

    void assetAnswers_data()
    {
        QTest::addColumn<qint64>("scoreToken");
        QTest::addColumn<qint64>("pageIndex");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<std::optional<QString>>("fingerprint");
        QTest::addColumn<QByteArray>("data");
        const qint64 demo = 999001;
        QTest::newRow("page 0") << demo << qint64(0) << u"base.png"_s << 200 << std::optional(u"demo-b0"_s)
                                << QByteArray("page 1");
        QTest::newRow("page 2") << demo << qint64(2) << u"base.png"_s << 200 << std::optional(u"demo-b2"_s)
                                << QByteArray("page 3");
        QTest::newRow("page 3") << demo << qint64(3) << u"base.png"_s << 404 << std::optional<QString>()
                                << QByteArray();
        QTest::newRow("negative page")
            << demo << qint64(-1) << u"base.png"_s << 404 << std::optional<QString>() << QByteArray();
        QTest::newRow("marks") << demo << qint64(0) << u"marks.png"_s << 404 << std::optional<QString>()
                               << QByteArray();
        QTest::newRow("other score") << qint64(7) << qint64(0) << u"base.png"_s << 404
                                     << std::optional<QString>() << QByteArray();
    }

    void assetAnswers()
    {
        QFETCH(qint64, scoreToken);
        QFETCH(qint64, pageIndex);
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(std::optional<QString>, fingerprint);
        QFETCH(QByteArray, data);
        QTemporaryDir dir;
        writePages(dir, {1, 2, 3});
        ManualScheduler scheduler;
        DemoShow demo(scheduler, dir.path());
        QVERIFY(demo.load());
        QCOMPARE(demo.answerAsset(scoreToken, pageIndex, kind, u"anything"_s),
            (DemoShow::AssetAnswer {status, fingerprint, data}));
    }

    void installedPagesAreLetterSizeGrayscalePngs_data()
    {
        QTest::addColumn<int>("number");
        QTest::newRow("page 1") << 1;
        QTest::newRow("page 2") << 2;
        QTest::newRow("page 3") << 3;
    }

    void installedPagesAreLetterSizeGrayscalePngs()
    {
        QFETCH(int, number);
        ManualScheduler scheduler;
        DemoShow demo(scheduler, DemoShow::defaultPagesFolder());
        QVERIFY(demo.load());
        const QByteArray png = demo.pages().at(number - 1);
        QVERIFY(png.size() < 1024 * 1024);
        QVERIFY(png.size() > 33);
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
};

QTEST_GUILESS_MAIN(DemoShowTest)
#include "tst_demoshow.moc"
