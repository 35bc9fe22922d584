// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "saved/DemoShow.h"
#include "support/ManualScheduler.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QtEndian>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

QJsonObject withSamples(QJsonObject message, int chunk)
{
    const QJsonArray all = vectors("demo_circle_samples"_L1).toArray();
    message.insert("samples"_L1, QJsonArray::fromVariantList(all.toVariantList().mid(chunk * 4, 4)));
    return message;
}

QJsonObject nav(int t, int page)
{
    return {{"type"_L1, "nav"_L1}, {"t"_L1, t}, {"pageIndex"_L1, page}, {"structureVersion"_L1, 1}};
}

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

} // namespace

class DemoShowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptSendsEachMessageAtItsTime()
    {
        QCOMPARE(DemoShow::circleSamples(), vectors("demo_circle_samples"_L1).toArray());
        const QJsonObject begin
            = withSamples(object(R"({"type":"ink","phase":"begin","strokeId":"demo-stroke-1",
            "pageIndex":1,"style":{"color":[0.9,0.12,0.12,1.0],"width":0.004}})"),
                0);
        const QJsonObject append = object(R"({"type":"ink","phase":"append","strokeId":"demo-stroke-1"})");
        QJsonObject secondBegin = begin;
        secondBegin.insert("strokeId"_L1, u"demo-stroke-2"_s);
        // Milliseconds after the start, and the message.
        const QList<std::pair<qint64, QJsonObject>> expected {
            {0, object(R"({"type":"hello","protocolVersion":1,
              "structureVersion":1,"state":{"pageIndex":0,"blackout":false,"followers":3}})")},
            {0, object(R"({"type":"presence","count":3,"names":["you","Alex","Sam"]})")}, {6000, nav(2, 1)},
            {9000, begin}, {9400, withSamples(append, 1)}, {9520, withSamples(append, 2)},
            {9640, withSamples(append, 3)}, {9760, withSamples(append, 4)}, {9880, withSamples(append, 5)},
            {10300, object(R"({"type":"ink","phase":"end","strokeId":"demo-stroke-1"})")}, {15000, nav(3, 2)},
            {19000, object(R"({"type":"blackout","on":true})")},
            {21500, object(R"({"type":"blackout","on":false})")}, {24000, nav(4, 0)}, {33000, nav(1002, 1)},
            {36000, secondBegin}};

        ManualScheduler scheduler;
        DemoShow demo(scheduler, QString());
        double started = scheduler.now();
        QList<std::pair<qint64, QJsonObject>> sent;
        demo.onMessage = [&](const QJsonObject &message) {
            sent.append({qRound64((scheduler.now() - started) * 1000), message});
        };
        demo.start();
        scheduler.advance(36.1);
        QCOMPARE(sent, expected);

        // A restart keeps the page-turn stamps growing.
        demo.start();
        sent.clear();
        started = scheduler.now();
        scheduler.advance(6.0);
        QCOMPARE(sent, (QList<std::pair<qint64, QJsonObject>> {{6000, nav(2002, 1)}}));
    }

    // Halted mid-stroke from outside, or by the receiver from its callback: nothing more is sent.
    void haltingCancelsTheRest()
    {
        // Whether the demo is destroyed rather than stopped, the message it is halted on (none: mid-stroke
        // from outside), how many messages arrive.
        for (const auto &[destroy, haltOnMessage, received] : {std::tuple(false, 0, 5),
                 std::tuple(true, 0, 5), std::tuple(false, 1, 2), std::tuple(true, 4, 4)}) {
            ManualScheduler scheduler;
            QPointer<DemoShow> demo = new DemoShow(scheduler, QString());
            const auto halt = [&] { destroy ? delete demo.data() : demo->stop(); };
            int count = 0;
            demo->onMessage = [&](const QJsonObject &) {
                if (++count == haltOnMessage)
                    halt();
            };
            demo->start();
            if (!haltOnMessage) {
                scheduler.advance(9.5);
                halt();
            }
            if (!destroy)
                QCOMPARE(scheduler.pendingCount(), 0);
            scheduler.advance(100.0);
            QCOMPARE(
                std::tuple(count, scheduler.pendingCount(), demo.isNull()), std::tuple(received, 0, destroy));
            delete demo.data();
        }
    }

    // Every page must be there; the demo serves its own version of a page whatever version was asked for.
    void manifestAndAssetAnswers()
    {
        for (const QList<int> &present : {QList<int> {2, 3}, {1, 2}, {1, -2, 3}}) {
            DemoOverPages d(present);
            QVERIFY(!d.demo.load() && d.demo.pages().isEmpty());
        }
        DemoOverPages d;
        QVERIFY(d.demo.load());
        QCOMPARE(d.demo.manifest(),
            object(R"({"structureVersion":1,"score":{"scoreToken":999001,"scoreKey":"demo-cantsavethis",
                "title":"Can\u0027t Save This \u2014 demo","pageCount":3,"pages":[{"index":0,"baseVersion":"demo-b0"},
                {"index":1,"baseVersion":"demo-b1"},{"index":2,"baseVersion":"demo-b2"}]}})"));
        const auto answer = [&d](qint64 token, qint64 page, const QString &kind = u"base.png"_s) {
            return d.demo.answerAsset(token, page, kind, u"anything"_s);
        };
        QCOMPARE(answer(DemoShow::scoreToken, 0), (DemoShow::AssetAnswer {200, u"demo-b0"_s, "page 1"}));
        QCOMPARE(answer(DemoShow::scoreToken, 2), (DemoShow::AssetAnswer {200, u"demo-b2"_s, "page 3"}));
        const DemoShow::AssetAnswer missing {404, std::nullopt, {}};
        QCOMPARE(answer(DemoShow::scoreToken, 3), missing);
        QCOMPARE(answer(DemoShow::scoreToken, -1), missing);
        QCOMPARE(answer(DemoShow::scoreToken, 0, u"marks.png"_s), missing);
        QCOMPARE(answer(7, 0), missing);
    }

    // Eight-bit grayscale PNGs of a letter-size page, wide enough to stay sharp on a stage screen.
    void installedPagesAreLetterSizeGrayscalePngs()
    {
        ManualScheduler scheduler;
        DemoShow demo(scheduler, DemoShow::defaultPagesFolder());
        QVERIFY(demo.load());
        for (const QByteArray &png : demo.pages()) {
            QVERIFY(png.size() > 33 && png.startsWith("\x89PNG\r\n\x1a\n"));
            const quint32 width = qFromBigEndian<quint32>(png.constData() + 16);
            const quint32 height = qFromBigEndian<quint32>(png.constData() + 20);
            QVERIFY(width >= 1200 && width <= 1800 && qAbs(double(height) / width - 22.0 / 17.0) < 0.01);
            QCOMPARE(png.mid(24, 2), QByteArray("\x08\x00", 2));
        }
    }
};

QTEST_GUILESS_MAIN(DemoShowTest)
#include "tst_demoshow.moc"
