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
        const QList<std::pair<double, QJsonObject>> expected {
            {0.0, object(R"({"type":"hello","protocolVersion":1,
              "structureVersion":1,"state":{"pageIndex":0,"blackout":false,"followers":3}})")},
            {0.0, object(R"({"type":"presence","count":3,"names":["you","Alex","Sam"]})")}, {6.0, nav(2, 1)},
            {9.0, begin}, {9.4, withSamples(append, 1)}, {9.52, withSamples(append, 2)},
            {9.64, withSamples(append, 3)}, {9.76, withSamples(append, 4)}, {9.88, withSamples(append, 5)},
            {10.3, object(R"({"type":"ink","phase":"end","strokeId":"demo-stroke-1"})")}, {15.0, nav(3, 2)},
            {19.0, object(R"({"type":"blackout","on":true})")},
            {21.5, object(R"({"type":"blackout","on":false})")}, {24.0, nav(4, 0)}, {33.0, nav(1002, 1)},
            {36.0, secondBegin}};

        ManualScheduler scheduler;
        DemoShow demo(scheduler, QString());
        const double started = scheduler.now();
        QList<std::pair<double, QJsonObject>> sent;
        demo.onMessage = [&](const QJsonObject &message) {
            sent.append({scheduler.now() - started, message});
        };
        demo.start();
        scheduler.advance(36.1);
        QCOMPARE(sent.size(), expected.size());
        for (qsizetype i = 0; i < sent.size(); ++i) {
            QCOMPARE(sent[i].second, expected[i].second);
            QVERIFY2(
                qAbs(sent[i].first - expected[i].first) < 1e-9, qPrintable(QString::number(sent[i].first)));
        }

        // A restart keeps the page-turn stamps growing.
        demo.start();
        sent.clear();
        scheduler.advance(6.0);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].second, nav(2002, 1));
    }

    // Halted mid-stroke from outside, or by the receiver from its callback: nothing more is sent.
    void haltingCancelsTheRest_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<int>("haltOnMessage");
        QTest::addColumn<int>("received");
        QTest::newRow("stop mid-stroke") << false << 0 << 5;
        QTest::newRow("destroy mid-stroke") << true << 0 << 5;
        QTest::newRow("stop on the greeting") << false << 1 << 2;
        QTest::newRow("destroy on the ink's begin") << true << 4 << 4;
    }

    void haltingCancelsTheRest()
    {
        QFETCH(bool, destroy);
        QFETCH(int, haltOnMessage);
        QFETCH(int, received);
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
        QCOMPARE(count, received);
        QCOMPARE(scheduler.pendingCount(), 0);
        QCOMPARE(demo.isNull(), destroy);
        delete demo.data();
    }

    void loadNeedsEveryPage()
    {
        for (const QList<int> &present : {QList<int> {2, 3}, {1, 2}, {1, -2, 3}}) {
            DemoOverPages d(present);
            QVERIFY(!d.demo.load());
            QVERIFY(d.demo.pages().isEmpty());
            QCOMPARE(d.demo.answerAsset(DemoShow::scoreToken, 0, u"base.png"_s, u"demo-b0"_s).status, 404);
        }
    }

    // The demo's own version of a page, whatever version was asked for.
    void manifestAndAssetAnswers()
    {
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

    void installedPagesAreLetterSizeGrayscalePngs()
    {
        ManualScheduler scheduler;
        DemoShow demo(scheduler, DemoShow::defaultPagesFolder());
        QVERIFY(demo.load());
        QCOMPARE(demo.pages().size(), 3);
        for (const QByteArray &png : demo.pages()) {
            QVERIFY(png.size() > 33 && png.size() < 1024 * 1024);
            QCOMPARE(png.first(16), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
            const quint32 width = qFromBigEndian<quint32>(png.constData() + 16);
            const quint32 height = qFromBigEndian<quint32>(png.constData() + 20);
            QVERIFY(width >= 1200 && width <= 1800);
            QVERIFY(qAbs(double(height) / width - 22.0 / 17.0) < 0.01);
            // Eight-bit grayscale.
            QCOMPARE(png.mid(24, 2), QByteArray("\x08\x00", 2));
        }
    }
};

QTEST_GUILESS_MAIN(DemoShowTest)
#include "tst_demoshow.moc"
