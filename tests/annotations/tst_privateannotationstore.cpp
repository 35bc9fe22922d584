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

    void untrustedPathsAndFilesBlockAndAreLeftUntouched()
    {
        // A valid file padded with white space to the size limit.
        QByteArray atLimit = envelope(page(strokeJson()));
        atLimit.append(smallLimits.maximumFileBytes - atLimit.size(), ' ');
        // Contents with how the error shown begins.
        const QList<std::pair<QByteArray, QString>> cases {{atLimit, {}}, {atLimit + ' ', oversized},
            {envelope(page(strokeJson()), "2"), Error {Error::Kind::unsupportedSchema}.text()},
            {envelope(page(strokeJson())).chopped(3), Error::unreadable({}).text().chopped(1)}};
        QVERIFY(QDir().mkpath(QFileInfo(m_path).path()));
        for (const auto &[contents, expected] : cases) {
            writeFile(m_path, contents);
            PrivateAnnotationStore store(m_path, smallLimits);
            const QString error = store.lastPersistenceError();
            QVERIFY2(error.startsWith(expected) && error.isEmpty() == expected.isEmpty(), qPrintable(error));
            QCOMPARE(store.loadBlocked(), !error.isEmpty());
            QCOMPARE(store.strokes(storedPage).size(), error.isEmpty() ? 1 : 0);
            if (error.isEmpty())
                continue;
            QVERIFY(!store.addStroke(line(0.1, 0.1), pageKey()));
            QCOMPARE(store.erase(at(0.5, 0.5), 0.02, 1.0, storedPage), 0);
            QVERIFY(!store.clear(storedPage));
            QCOMPARE(store.generation(), 0);
            QCOMPARE(readAll(m_path), contents);
        }

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

    void refusedOrFailedChangesLeaveMemoryAndFileAsTheyWere()
    {
        PrivateAnnotationStore store(m_path);
        const PrivateAnnotationStroke first = line(0.1, 0.1);
        const PrivateAnnotationStroke second = line(0.1, 0.5);
        addAll(store, {first, second});
        QVERIFY(store.undo(pageKey()));
        const QByteArray before = readAll(m_path);
        QSignalSpy errors(&store, &PrivateAnnotationStore::lastPersistenceErrorChanged);
        QVERIFY(!store.addStroke(stroke({{0.5, 0.5, notANumber}}), pageKey()));
        QCOMPARE(errors.value(0).value(0).toString(), invalid("stroke contains a non-normalized point"));
        QCOMPARE(readAll(m_path), before);
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

        // Neither the refused stroke nor the failed steps took the place of what can be redone.
        QVERIFY(QDir().rmdir(m_path));
        QVERIFY(store.redo(pageKey()));
        QCOMPARE(store.strokes(pageKey()), (Strokes {first, second}));
        QCOMPARE(errors.last().value(0).toString(), QString());
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

        QVERIFY(!store.undo(pageKey(2)));
        QVERIFY(store.undo(pageKey(0)) && store.undo(pageKey(0)));
        QVERIFY(store.strokes(pageKey(0)).isEmpty());
        QVERIFY(store.redo(pageKey(0)) && store.redo(pageKey(0)));
        QVERIFY(!store.redo(pageKey(0)));
        QCOMPARE(store.strokes(pageKey(0)), first);
        // What was redone can be undone again.
        QVERIFY(store.undo(pageKey(0)));
        QCOMPARE(store.strokes(pageKey(0)), QList {first[0]});

        // A new stroke after an undo forgets what could be redone.
        QVERIFY(store.canRedo(pageKey(1)));
        QVERIFY(store.addStroke(second[2], pageKey(1)));
        QVERIFY(!store.redo(pageKey(1)));
    }

    void strokesAreWrittenAndErasingAndClearingAreUndoneInPlace()
    {
        PrivateAnnotationStore store(m_path);
        Strokes strokes;
        for (int i = 0; i < 7; ++i)
            strokes.append(line(0.1 * i, i == 2 || i == 5 ? 0.8 : 0.2));
        // The first stroke creates the file and its folders.
        addAll(store, strokes);
        const Strokes kept {strokes[0], strokes[1], strokes[3], strokes[4], strokes[6]};
        QCOMPARE(store.erase(segment(0.0, 0.8, 1.0, 0.8), 0.02, 1.0, pageKey()), 2);
        QCOMPARE(store.strokes(pageKey()), kept);
        QVERIFY(store.undo(pageKey()));
        const PrivateAnnotationStore reopened(m_path);
        QCOMPARE(reopened.strokes(pageKey()), strokes);
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

    void eraserHits()
    {
        const Points dot = at(0.5, 0.5);
        const Points across = segment(0.4, 0.5, 0.6, 0.5);
        const Points line = segment(0.1, 0.5, 0.5, 0.5);
        const Points click = at(0.1, 0.1);
        // A stroke, the eraser's path, radius and page aspect with whether the stroke goes. The radius plus
        // half of the stroke's 0.0025 width reaches 0.02125; on a page twice as wide as high, 0.015 across is
        // 0.03 page heights; the reach never exceeds two page heights; unusable input erases nothing.
        const QList<std::tuple<Points, Points, double, double, bool>> cases {
            {dot, at(0.52, 0.5), 0.02, 1, true}, {dot, at(0.5213, 0.5), 0.02, 1, false},
            {at(0.5, 0.51), across, 0.02, 1, true}, {at(0.65, 0.5), across, 0.02, 1, false},
            {across, at(0.5, 0.53), 0.02, 1, false},
            {segment(0.1, 0.1, 0.9, 0.9), segment(0.1, 0.9, 0.9, 0.1), 0, 1, true}, // crossing
            {line, segment(0.3, 0.5, 0.7, 0.5), 0, 1, true}, // overlapping
            {line, segment(0.1, 0.53, 0.5, 0.53), 0.02, 1, false}, // parallel
            {line, segment(0.51, 0.2, 0.51, 0.8), 0.02, 1, true}, {dot, at(0.515, 0.5), 0.02, 2, false},
            {dot, at(0.5, 0.515), 0.02, 2, true}, {dot, at(0.515, 0.5), 0.02, 0.5, true},
            {at(0, 0), at(1, 1), 100, 1, true}, {at(0, 0), at(1, 1), 100, 4, false},
            {click, Points(3, click[0]), 0.02, 1, true}, {click, {}, 0.02, 1, false},
            {click, Points(4, click[0]), 0.02, 1, false}, {click, click, -0.01, 1, false},
            {click, click, notANumber, 1, false}, {click, click, infinity, 1, false},
            {click, click, 0.02, 0, false}, {click, click, 0.02, infinity, false}};
        for (const auto &[stroke, path, radius, aspect, hit] : cases) {
            QFile::remove(m_path);
            PrivateAnnotationStore store(m_path, smallLimits);
            addAll(store, {fixtures::stroke(stroke)});
            QCOMPARE(store.erase(path, radius, aspect, pageKey(1)), 0);
            QCOMPARE(store.erase(path, radius, aspect, pageKey()), hit ? 1 : 0);
            QCOMPARE(store.generation(), hit ? 2 : 1);
        }
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationStoreTest)
#include "tst_privateannotationstore.moc"
