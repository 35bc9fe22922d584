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

using Points = QList<PrivateAnnotationPoint>;
using Strokes = QList<PrivateAnnotationStroke>;

constexpr double infinity = std::numeric_limits<double>::infinity();
// The page of the documents the fixtures write.
const PrivateAnnotationPageKey storedPage {u"s|base:1"_s, 0};

Points at(double x, double y)
{
    return {{x, y, 1}};
}

Points segment(double x1, double y1, double x2, double y2)
{
    return {{x1, y1, 1}, {x2, y2, 1}};
}

// Limits a test can reach: a 4000-byte file, two strokes a page, three points a stroke, three undo steps.
const PrivateAnnotationLimits smallLimits {
    .maximumFileBytes = 4000, .maximumStrokesPerPage = 2, .maximumPointsPerStroke = 3, .maximumUndoDepth = 3};

} // namespace

class PrivateAnnotationStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    // Adds strokes that must all be written.
    static void addAll(PrivateAnnotationStore &store, const Strokes &strokes,
        const PrivateAnnotationPageKey &page = pageKey())
    {
        for (const PrivateAnnotationStroke &stroke : strokes)
            QVERIFY(store.addStroke(stroke, page));
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(u"Support/Player/PrivateAnnotations.json"_s);
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void aFileLoadsOnlyWhenTrustedAndIsOtherwiseLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected"); // how the error shown begins
        // A valid file padded with white space to the size limit.
        QByteArray atLimit = envelope(page(strokeJson()));
        atLimit.append(smallLimits.maximumFileBytes - atLimit.size(), ' ');
        QTest::newRow("at the size limit") << atLimit << QString();
        QTest::newRow("one byte over the size limit") << atLimit + ' ' << oversized;
        QTest::newRow("newer schema")
            << envelope(page(strokeJson()), "2") << Error {Error::Kind::unsupportedSchema}.text();
        QTest::newRow("truncated") << envelope(page(strokeJson())).chopped(3)
                                   << Error::unreadable({}).text().chopped(1);
    }

    void aFileLoadsOnlyWhenTrustedAndIsOtherwiseLeftUntouched()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
        writeFile(m_path, contents);
        PrivateAnnotationStore store(m_path, smallLimits);
        const QString error = store.lastPersistenceError();
        QVERIFY2(error.startsWith(expected) && error.isEmpty() == expected.isEmpty(), qPrintable(error));
        QCOMPARE(store.loadBlocked(), !error.isEmpty());
        QCOMPARE(store.strokes(storedPage).size(), error.isEmpty() ? 1 : 0);
        if (error.isEmpty())
            return;
        QVERIFY(!store.addStroke(line(0.1, 0.1), pageKey()));
        QCOMPARE(store.erase(at(0.5, 0.5), 0.02, 1.0, storedPage), 0);
        QVERIFY(!store.clear(storedPage));
        QCOMPARE(store.generation(), 0);
        QCOMPARE(store.lastPersistenceError(), error);
        QCOMPARE(readAll(m_path), contents);
    }

    void unusablePathsBlock()
    {
        const QString noURL = Error {Error::Kind::invalidURL}.text();
        const QList<std::pair<QString, QString>> paths {{u"PrivateAnnotations.json"_s, noURL},
            {QString(), noURL}, {m_dir.path(), invalid("storage URL is not a regular file")}};
        for (const auto &[path, expected] : paths) {
            PrivateAnnotationStore store(path);
            QVERIFY(store.loadBlocked());
            QCOMPARE(store.lastPersistenceError(), expected);
            QVERIFY(!store.addStroke(line(0.1, 0.1), pageKey()));
        }
    }

    void refusedStrokesLeaveEverythingAsItWas()
    {
        PrivateAnnotationStore store(m_path, smallLimits);
        const PrivateAnnotationStroke kept = line(0.1, 0.1);
        addAll(store, {kept});
        const QByteArray before = readAll(m_path);
        QSignalSpy errors(&store, &PrivateAnnotationStore::lastPersistenceErrorChanged);

        QVERIFY(!store.addStroke(stroke({{0.5, 0.5, notANumber}}), pageKey()));
        QCOMPARE(store.lastPersistenceError(), invalid("stroke contains a non-normalized point"));
        QCOMPARE(store.strokes(pageKey()), QList {kept});
        QCOMPARE(store.generation(), 1);
        QCOMPARE(readAll(m_path), before);
        QVERIFY(store.undo(pageKey()));
        QVERIFY(!store.canUndo(pageKey()));
        QCOMPARE(store.lastPersistenceError(), QString());

        addAll(store, {line(0.2, 0.2), line(0.3, 0.3)});
        QVERIFY(!store.addStroke(line(0.4, 0.4), pageKey()));
        QCOMPARE(store.lastPersistenceError(), oversized);
        QCOMPARE(errors.size(), 3);
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
        QVERIFY2(store.lastPersistenceError().startsWith(Error::unwritable({}).text().chopped(1)),
            qPrintable(store.lastPersistenceError()));
        QCOMPARE(store.erase(at(0.12, 0.1), 0.02, 1.0, pageKey()), 0);
        QVERIFY(!store.clear(pageKey()));
        QVERIFY(!store.undo(pageKey()));
        QVERIFY(!store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), QList {first});
        QCOMPARE(store.generation(), 3);
        QVERIFY(store.canUndo(pageKey()));
        QVERIFY(store.canRedo(pageKey()));

        QVERIFY(QDir().rmdir(m_path));
        QVERIFY(store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), (Strokes {first, second}));
        QCOMPARE(store.lastPersistenceError(), QString());
    }

    void undoReachesBackAsFarAsTheLimitOnEachPage()
    {
        PrivateAnnotationStore store(m_path, smallLimits);
        const Strokes first {line(0.1, 0.5), line(0.2, 0.5)};
        addAll(store, first);
        // Four steps on the second page, of which three can be undone.
        const Strokes second {line(0.1, 0.1), line(0.5, 0.5), line(0.9, 0.9)};
        addAll(store, {second[0], second[1]}, pageKey(1));
        QCOMPARE(store.erase(at(0.12, 0.1), 0.02, 1.0, pageKey(1)), 1);
        addAll(store, {second[2]}, pageKey(1));
        for (int i = 0; i < 3; ++i)
            QVERIFY(store.undo(pageKey(1)));
        QVERIFY(!store.canUndo(pageKey(1)));
        QCOMPARE(store.strokes(pageKey(1)), QList {second[0]});

        QVERIFY(store.canUndo(pageKey(0)));
        QVERIFY(!store.canRedo(pageKey(0)));
        QVERIFY(!store.undo(pageKey(2)));
        QVERIFY(store.undo(pageKey(0)));
        QVERIFY(store.undo(pageKey(0)));
        QVERIFY(store.strokes(pageKey(0)).isEmpty());
        QVERIFY(store.redo(pageKey(0)));
        QVERIFY(store.redo(pageKey(0)));
        QVERIFY(!store.redo(pageKey(0)));
        QCOMPARE(store.strokes(pageKey(0)), first);
        // What was redone can be undone again.
        QVERIFY(store.undo(pageKey(0)));
        QCOMPARE(store.strokes(pageKey(0)), QList {first[0]});
        QCOMPARE(store.generation(), 14);

        // A new stroke after an undo forgets what could be redone.
        QVERIFY(store.canRedo(pageKey(1)));
        QVERIFY(store.addStroke(second[2], pageKey(1)));
        QVERIFY(!store.canRedo(pageKey(1)));
        QVERIFY(!store.redo(pageKey(1)));
    }

    void strokesAreWrittenAndErasingAndClearingAreUndoneInPlace()
    {
        PrivateAnnotationStore store(m_path);
        QVERIFY(!store.loadBlocked());
        QVERIFY(!store.clear(pageKey()));
        QSignalSpy generations(&store, &PrivateAnnotationStore::generationChanged);
        Strokes strokes;
        for (int i = 0; i < 7; ++i)
            strokes.append(line(0.1 * i, i == 2 || i == 5 ? 0.8 : 0.2));
        // The first stroke creates the file and its folders.
        addAll(store, strokes);
        QCOMPARE(generations.size(), 7);
        const Strokes kept {strokes[0], strokes[1], strokes[3], strokes[4], strokes[6]};
        QCOMPARE(store.erase(segment(0.0, 0.8, 1.0, 0.8), 0.02, 1.0, pageKey()), 2);
        QCOMPARE(store.strokes(pageKey()), kept);
        QVERIFY(store.undo(pageKey()));
        const PrivateAnnotationStore reopened(m_path);
        QCOMPARE(reopened.strokes(pageKey()), strokes);
        QCOMPARE(reopened.generation(), 0);
        QVERIFY(!reopened.canUndo(pageKey()));
        QVERIFY(store.redo(pageKey()));

        QVERIFY(store.clear(pageKey()));
        QVERIFY(!store.clear(pageKey()));
        QVERIFY(!readAll(m_path).contains("score|base:v1"));
        QVERIFY(store.undo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), kept);
        QVERIFY(store.redo(pageKey()));
        QVERIFY(store.strokes(pageKey()).isEmpty());
        QCOMPARE(store.generation(), 13);
    }

    void eraserHits_data()
    {
        QTest::addColumn<Points>("stroke");
        QTest::addColumn<Points>("path");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<bool>("hit");
        const Points dot = at(0.5, 0.5);
        const Points across = segment(0.4, 0.5, 0.6, 0.5);
        // Radius 0.02 plus half of the stroke's 0.0025 width reaches 0.02125.
        QTest::newRow("dot within reach of a click") << dot << at(0.52, 0.5) << 0.02 << 1.0 << true;
        QTest::newRow("dot beyond reach of a click") << dot << at(0.5213, 0.5) << 0.02 << 1.0 << false;
        QTest::newRow("dot beside a sweep") << at(0.5, 0.51) << across << 0.02 << 1.0 << true;
        QTest::newRow("dot past the end of a sweep") << at(0.65, 0.5) << across << 0.02 << 1.0 << false;
        QTest::newRow("click off a line") << across << at(0.5, 0.53) << 0.02 << 1.0 << false;
        QTest::newRow("crossing far from every end")
            << segment(0.1, 0.1, 0.9, 0.9) << segment(0.1, 0.9, 0.9, 0.1) << 0.0 << 1.0 << true;
        QTest::newRow("overlapping on one line")
            << segment(0.1, 0.5, 0.5, 0.5) << segment(0.3, 0.5, 0.7, 0.5) << 0.0 << 1.0 << true;
        QTest::newRow("parallel and apart")
            << segment(0.1, 0.5, 0.5, 0.5) << segment(0.1, 0.53, 0.5, 0.53) << 0.02 << 1.0 << false;
        QTest::newRow("line near one end of a sweep")
            << segment(0.1, 0.5, 0.5, 0.5) << segment(0.51, 0.2, 0.51, 0.8) << 0.02 << 1.0 << true;
        // On a page twice as wide as high, 0.015 across is 0.03 page heights; 0.015 down is 0.015.
        QTest::newRow("wide page across") << dot << at(0.515, 0.5) << 0.02 << 2.0 << false;
        QTest::newRow("wide page down") << dot << at(0.5, 0.515) << 0.02 << 2.0 << true;
        QTest::newRow("tall page across") << dot << at(0.515, 0.5) << 0.02 << 0.5 << true;
        // The reach never exceeds two page heights, however large the radius.
        QTest::newRow("huge radius on a square page") << at(0, 0) << at(1, 1) << 100.0 << 1.0 << true;
        QTest::newRow("huge radius on a very wide page") << at(0, 0) << at(1, 1) << 100.0 << 4.0 << false;
        // Unusable input erases nothing.
        const Points click = at(0.1, 0.1);
        QTest::newRow("longest path") << click << Points(3, click[0]) << 0.02 << 1.0 << true;
        QTest::newRow("no points") << click << Points {} << 0.02 << 1.0 << false;
        QTest::newRow("too many points") << click << Points(4, click[0]) << 0.02 << 1.0 << false;
        QTest::newRow("negative radius") << click << click << -0.01 << 1.0 << false;
        QTest::newRow("NaN radius") << click << click << notANumber << 1.0 << false;
        QTest::newRow("infinite radius") << click << click << infinity << 1.0 << false;
        QTest::newRow("zero aspect") << click << click << 0.02 << 0.0 << false;
        QTest::newRow("infinite aspect") << click << click << 0.02 << infinity << false;
    }

    void eraserHits()
    {
        QFETCH(Points, stroke);
        QFETCH(Points, path);
        QFETCH(double, radius);
        QFETCH(double, aspect);
        QFETCH(bool, hit);
        PrivateAnnotationStore store(m_path, smallLimits);
        addAll(store, {fixtures::stroke(stroke)});
        QCOMPARE(store.erase(path, radius, aspect, pageKey(1)), 0);
        QCOMPARE(store.erase(path, radius, aspect, pageKey()), hit ? 1 : 0);
        QCOMPARE(store.strokes(pageKey()).isEmpty(), hit);
        QCOMPARE(store.generation(), hit ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationStoreTest)
#include "tst_privateannotationstore.moc"
