// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnnotationFixtures.h"

#include "annotations/PrivateAnnotationStore.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace pgw;
using namespace pgw::fixtures;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

const QString newerSchema = u"Private annotations were written by an unsupported newer version."_s;
const QString oversized = u"Private annotation storage exceeds its safe size limit."_s;

using Points = QList<PrivateAnnotationPoint>;

Points at(double x, double y)
{
    return {{x, y, 1}};
}

Points segment(double x1, double y1, double x2, double y2)
{
    return {{x1, y1, 1}, {x2, y2, 1}};
}

// A valid file of exactly `size` bytes: the JSON is followed by white space.
QByteArray paddedDocument(qsizetype size)
{
    QByteArray document = envelope(page(strokeJson()));
    document.append(size - document.size(), ' ');
    return document;
}

} // namespace

class PrivateAnnotationStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    void placeFile(const QByteArray &contents) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
        writeFile(m_path, contents);
    }

    // Adds strokes that must all be written.
    static void addAll(PrivateAnnotationStore &store, const QList<PrivateAnnotationStroke> &strokes,
        const PrivateAnnotationPageKey &page = pageKey())
    {
        for (const PrivateAnnotationStroke &stroke : strokes)
            QVERIFY(store.addStroke(stroke, page));
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(u"Support/Player/PrivateAnnotations.json"_s);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void firstStrokeCreatesTheFileAndItsFolder()
    {
        PrivateAnnotationStore store(m_path);
        QVERIFY(!store.loadBlocked());
        QVERIFY(store.strokes(pageKey()).isEmpty());
        QSignalSpy generations(&store, &PrivateAnnotationStore::generationChanged);

        const PrivateAnnotationStroke drawn = line(0.1, 0.2);
        QVERIFY(store.addStroke(drawn, pageKey()));
        QCOMPARE(store.strokes(pageKey()), QList {drawn});
        QCOMPARE(store.generation(), 1);
        QCOMPARE(generations.size(), 1);
        QVERIFY(store.canUndo(pageKey()));

        const PrivateAnnotationStore reopened(m_path);
        QCOMPARE(reopened.strokes(pageKey()), QList {drawn});
        QCOMPARE(reopened.generation(), 0);
        QVERIFY(!reopened.canUndo(pageKey()));
    }

    void untrustedFilesBlockAndStayUntouched_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected");

        QTest::newRow("newer schema") << envelope(page(strokeJson()), "2") << newerSchema;
        QTest::newRow("other format") << envelope(page(strokeJson()), "1", "\"com.example.notes\"")
                                      << u"Private annotation storage has an unknown format."_s;
        QTest::newRow("duplicate page key")
            << envelope(page(strokeJson()) + "," + page(strokeJson()))
            << u"Private annotation storage is invalid: duplicate page key."_s;
        QTest::newRow("one byte over the size limit") << paddedDocument(16'777'217) << oversized;
        QTest::newRow("truncated") << envelope(page(strokeJson())).chopped(3)
                                   << u"Private annotation storage could not be read: "_s;
    }

    void untrustedFilesBlockAndStayUntouched()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        placeFile(contents);

        PrivateAnnotationStore store(m_path);
        QVERIFY(store.loadBlocked());
        QVERIFY2(store.lastPersistenceError().startsWith(expected), qPrintable(store.lastPersistenceError()));
        const QString error = store.lastPersistenceError();
        QVERIFY(store.strokes({u"s|base:1"_s, 0}).isEmpty());

        QVERIFY(!store.addStroke(line(0.1, 0.1), pageKey()));
        QCOMPARE(store.erase({{0.5, 0.5, 1}}, 0.02, 1.0, {u"s|base:1"_s, 0}), 0);
        QVERIFY(!store.clear({u"s|base:1"_s, 0}));
        QCOMPARE(store.generation(), 0);
        QCOMPARE(store.lastPersistenceError(), error);
        QCOMPARE(readAll(m_path), contents);
    }

    void fileAtTheSizeLimitLoads()
    {
        placeFile(paddedDocument(16'777'216));

        const PrivateAnnotationStore store(m_path);
        QVERIFY(!store.loadBlocked());
        QCOMPARE(store.strokes({u"s|base:1"_s, 0}).size(), 1);
    }

    void pagesWithUnpairedSurrogatesInTheirKeysSurviveARestart()
    {
        // JSON from the Host may carry half of a surrogate pair; such keys must not collapse into one.
        const QString high(QChar(0xD800));
        const QString low(QChar(0xDC00));
        const QList<PrivateAnnotationPageKey> pages {*PrivateAnnotationPageKey::rendered(u"s"_s, high, 0),
            *PrivateAnnotationPageKey::rendered(u"s"_s, low, 0),
            *PrivateAnnotationPageKey::rendered(u"\U0001F3B5"_s + low + high, u"v1"_s, 0)};
        PrivateAnnotationStore store(m_path);
        QList<PrivateAnnotationStroke> drawn;
        for (const PrivateAnnotationPageKey &page : pages) {
            drawn.append(line(0.1, 0.1));
            addAll(store, {drawn.last()}, page);
        }

        const PrivateAnnotationStore restarted(m_path);
        QCOMPARE(restarted.lastPersistenceError(), QString());
        for (qsizetype i = 0; i < pages.size(); ++i)
            QCOMPARE(restarted.strokes(pages[i]), QList {drawn[i]});
    }

    void unusablePathsBlock_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");

        QTest::newRow("relative") << u"PrivateAnnotations.json"_s
                                  << u"Private annotation storage requires a local file URL."_s;
        QTest::newRow("empty") << QString() << u"Private annotation storage requires a local file URL."_s;
        QTest::newRow("a folder")
            << u"."_s << u"Private annotation storage is invalid: storage URL is not a regular file."_s;
    }

    void unusablePathsBlock()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        if (path == "."_L1)
            path = m_dir.path();

        PrivateAnnotationStore store(path);
        QVERIFY(store.loadBlocked());
        QCOMPARE(store.lastPersistenceError(), expected);
        QVERIFY(!store.addStroke(line(0.1, 0.1), pageKey()));
    }

    void refusedStrokeLeavesEverythingAsItWas()
    {
        PrivateAnnotationStore store(m_path);
        const PrivateAnnotationStroke kept = line(0.1, 0.1);
        addAll(store, {kept});
        const QByteArray before = readAll(m_path);
        QSignalSpy errors(&store, &PrivateAnnotationStore::lastPersistenceErrorChanged);

        QVERIFY(!store.addStroke(stroke({{0.5, 0.5, notANumber}}), pageKey()));
        QCOMPARE(store.lastPersistenceError(),
            u"Private annotation storage is invalid: stroke contains a non-normalized point."_s);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(store.strokes(pageKey()), QList {kept});
        QCOMPARE(store.generation(), 1);
        QCOMPARE(readAll(m_path), before);
        QVERIFY(store.undo(pageKey()));
        QVERIFY(!store.canUndo(pageKey()));

        QVERIFY(store.addStroke(line(0.2, 0.2), pageKey()));
        QCOMPARE(store.lastPersistenceError(), QString());
        QCOMPARE(errors.size(), 2);
    }

    void limitsApplyWhenWriting()
    {
        PrivateAnnotationLimits limits;
        limits.maximumStrokesPerPage = 2;
        PrivateAnnotationStore store(m_path, limits);
        addAll(store, {line(0.1, 0.1), line(0.2, 0.2)});

        QVERIFY(!store.addStroke(line(0.3, 0.3), pageKey()));
        QCOMPARE(store.lastPersistenceError(), oversized);
        QCOMPARE(store.strokes(pageKey()).size(), 2);
        QVERIFY(store.addStroke(line(0.3, 0.3), pageKey(1)));
    }

    void failedWriteLeavesMemoryUnchanged()
    {
        PrivateAnnotationStore store(m_path);
        const PrivateAnnotationStroke first = line(0.1, 0.1);
        const PrivateAnnotationStroke second = line(0.1, 0.5);
        addAll(store, {first, second});
        QVERIFY(store.undo(pageKey()));
        // A folder where the file should be makes the atomic replacement fail.
        QVERIFY(QFile::remove(m_path));
        QVERIFY(QDir().mkdir(m_path));

        QVERIFY(!store.addStroke(line(0.5, 0.5), pageKey()));
        QVERIFY2(store.lastPersistenceError().startsWith("Private annotations could not be saved: "_L1),
            qPrintable(store.lastPersistenceError()));
        QCOMPARE(store.erase({{0.12, 0.1, 1}}, 0.02, 1.0, pageKey()), 0);
        QVERIFY(!store.clear(pageKey()));
        QVERIFY(!store.undo(pageKey()));
        QVERIFY(!store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), QList {first});
        QCOMPARE(store.generation(), 3);
        QVERIFY(store.canUndo(pageKey()));
        QVERIFY(store.canRedo(pageKey()));

        QVERIFY(QDir().rmdir(m_path));
        QVERIFY(store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), (QList {first, second}));
        QCOMPARE(store.lastPersistenceError(), QString());
    }

    void undoReachesBackOneHundredSteps()
    {
        PrivateAnnotationStore store(m_path);
        QList<PrivateAnnotationStroke> strokes;
        for (int i = 0; i < 101; ++i)
            strokes.append(line(0.005 * i, 0.5));
        addAll(store, strokes);

        for (int i = 0; i < 100; ++i)
            QVERIFY(store.undo(pageKey()));
        QVERIFY(!store.canUndo(pageKey()));
        QVERIFY(!store.undo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), QList {strokes.first()});

        for (int i = 0; i < 100; ++i)
            QVERIFY(store.redo(pageKey()));
        QVERIFY(!store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), strokes);
        QCOMPARE(store.generation(), 301);

        // A new stroke after an undo forgets what could be redone.
        QVERIFY(store.undo(pageKey()));
        QVERIFY(store.addStroke(line(0.3, 0.3), pageKey()));
        QVERIFY(!store.canRedo(pageKey()));
        QVERIFY(!store.redo(pageKey()));
    }

    void undoAfterEraseRestoresFormerPositions()
    {
        PrivateAnnotationStore store(m_path);
        QList<PrivateAnnotationStroke> strokes;
        for (int i = 0; i < 7; ++i)
            strokes.append(line(0.1 * i, i == 2 || i == 5 ? 0.8 : 0.2));
        addAll(store, strokes);

        QCOMPARE(store.erase({{0.0, 0.8, 1}, {1.0, 0.8, 1}}, 0.02, 1.0, pageKey()), 2);
        QCOMPARE(
            store.strokes(pageKey()), (QList {strokes[0], strokes[1], strokes[3], strokes[4], strokes[6]}));

        QVERIFY(store.undo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), strokes);
        QCOMPARE(PrivateAnnotationStore(m_path).strokes(pageKey()), strokes);
        QVERIFY(store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()).size(), 5);
    }

    void clearIsUndoable()
    {
        PrivateAnnotationStore store(m_path);
        QVERIFY(!store.clear(pageKey()));
        const QList<PrivateAnnotationStroke> strokes {line(0.1, 0.1), line(0.2, 0.2)};
        addAll(store, strokes);

        QVERIFY(store.clear(pageKey()));
        QVERIFY(store.strokes(pageKey()).isEmpty());
        QVERIFY(!store.clear(pageKey()));
        QVERIFY(!readAll(m_path).contains("score|base:v1"));

        QVERIFY(store.undo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), strokes);
        QVERIFY(store.redo(pageKey()));
        QVERIFY(store.strokes(pageKey()).isEmpty());
    }

    void historyBelongsToEachPage()
    {
        PrivateAnnotationStore store(m_path);
        const PrivateAnnotationStroke onFirst = line(0.1, 0.1);
        addAll(store, {onFirst}, pageKey(0));
        addAll(store, {line(0.1, 0.1)}, pageKey(1));

        QVERIFY(store.undo(pageKey(1)));
        QVERIFY(!store.canUndo(pageKey(1)));
        QVERIFY(store.canUndo(pageKey(0)));
        QVERIFY(!store.canRedo(pageKey(0)));
        QCOMPARE(store.strokes(pageKey(0)), QList {onFirst});
        QVERIFY(!store.canUndo(pageKey(2)));
        QVERIFY(!store.undo(pageKey(2)));
    }

    void eraserHits_data()
    {
        QTest::addColumn<Points>("stroke");
        QTest::addColumn<double>("width");
        QTest::addColumn<Points>("path");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<bool>("hit");

        const Points dot = at(0.5, 0.5);
        const Points across = segment(0.4, 0.5, 0.6, 0.5);
        // Radius 0.02 plus half of the 0.0025 width reaches 0.02125.
        QTest::newRow("dot within reach of a click") << dot << 0.0025 << at(0.52, 0.5) << 0.02 << 1.0 << true;
        QTest::newRow("dot beyond reach of a click")
            << dot << 0.0025 << at(0.5213, 0.5) << 0.02 << 1.0 << false;
        QTest::newRow("dot beside a sweep") << at(0.5, 0.51) << 0.0025 << across << 0.02 << 1.0 << true;
        QTest::newRow("dot past the end of a sweep")
            << at(0.65, 0.5) << 0.0025 << across << 0.02 << 1.0 << false;
        QTest::newRow("click off a line") << across << 0.0025 << at(0.5, 0.53) << 0.02 << 1.0 << false;
        QTest::newRow("crossing far from every end")
            << segment(0.1, 0.1, 0.9, 0.9) << 0.0001 << segment(0.1, 0.9, 0.9, 0.1) << 0.0 << 1.0 << true;
        QTest::newRow("overlapping on one line")
            << segment(0.1, 0.5, 0.5, 0.5) << 0.0001 << segment(0.3, 0.5, 0.7, 0.5) << 0.0 << 1.0 << true;
        QTest::newRow("parallel and apart")
            << segment(0.1, 0.5, 0.5, 0.5) << 0.0025 << segment(0.1, 0.53, 0.5, 0.53) << 0.02 << 1.0 << false;
        QTest::newRow("line near one end of a sweep")
            << segment(0.1, 0.5, 0.5, 0.5) << 0.0025 << segment(0.51, 0.2, 0.51, 0.8) << 0.02 << 1.0 << true;
        // On a page twice as wide as high, 0.015 across is 0.03 page heights; 0.015 down is 0.015.
        QTest::newRow("wide page across") << dot << 0.0025 << at(0.515, 0.5) << 0.02 << 2.0 << false;
        QTest::newRow("wide page down") << dot << 0.0025 << at(0.5, 0.515) << 0.02 << 2.0 << true;
        QTest::newRow("tall page across") << dot << 0.0025 << at(0.515, 0.5) << 0.02 << 0.5 << true;
        // The reach never exceeds two page heights, however large the radius.
        QTest::newRow("huge radius on a square page")
            << at(0, 0) << 0.0025 << at(1, 1) << 100.0 << 1.0 << true;
        QTest::newRow("huge radius on a very wide page")
            << at(0, 0) << 0.0025 << at(1, 1) << 100.0 << 4.0 << false;
    }

    void eraserHits()
    {
        QFETCH(Points, stroke);
        QFETCH(double, width);
        QFETCH(Points, path);
        QFETCH(double, radius);
        QFETCH(double, aspect);
        QFETCH(bool, hit);

        PrivateAnnotationStore store(m_path);
        addAll(store, {fixtures::stroke(stroke, width)});
        QCOMPARE(store.erase(path, radius, aspect, pageKey()), hit ? 1 : 0);
        QCOMPARE(store.strokes(pageKey()).isEmpty(), hit);
        QCOMPARE(store.generation(), hit ? 2 : 1);
    }

    void eraserRefusesUnusableInput_data()
    {
        QTest::addColumn<Points>("path");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("aspect");

        const Points click {{0.1, 0.1, 1}};
        QTest::newRow("no points") << Points {} << 0.02 << 1.0;
        QTest::newRow("too many points") << Points(20'001, {0.1, 0.1, 1}) << 0.02 << 1.0;
        QTest::newRow("negative radius") << click << -0.01 << 1.0;
        QTest::newRow("NaN radius") << click << notANumber << 1.0;
        QTest::newRow("infinite radius") << click << infinity << 1.0;
        QTest::newRow("zero aspect") << click << 0.02 << 0.0;
        QTest::newRow("infinite aspect") << click << 0.02 << infinity;
    }

    void eraserRefusesUnusableInput()
    {
        QFETCH(Points, path);
        QFETCH(double, radius);
        QFETCH(double, aspect);

        PrivateAnnotationStore store(m_path);
        addAll(store, {line(0.1, 0.1)});
        QCOMPARE(store.erase(path, radius, aspect, pageKey()), 0);
        QCOMPARE(store.strokes(pageKey()).size(), 1);
        QCOMPARE(store.erase({{0.1, 0.1, 1}}, 0.02, 1.0, pageKey(3)), 0);
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationStoreTest)
#include "tst_privateannotationstore.moc"
