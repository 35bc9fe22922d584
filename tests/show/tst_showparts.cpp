// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include <QRegularExpression>

using namespace pgw;
using namespace pgw::test;

namespace {

QJsonObject rendition(const QString &key, int token, int pageCount)
{
    return {{"scoreKey"_L1, key}, {"scoreToken"_L1, token}, {"pageCount"_L1, pageCount},
        {"pages"_L1, pages(pageCount)}};
}

// Three songs; songs 0 and 2 offer a violin and a clarinet part, song 1 explicitly none.
QJsonObject partsBook()
{
    QJsonArray items = threeItems();
    for (int i : {0, 1, 2}) {
        QJsonArray options;
        for (const QString &instrument : {u"violin"_s, u"clarinet"_s}) {
            const QString id = instrument + QString::number(i);
            options.append(QJsonObject {{"optionID"_L1, id}, {"label"_L1, id.toUpper()},
                {"instrumentIDs"_L1, QJsonArray {u"builtin:"_s + instrument}}, {"ref"_L1, u"ref."_s + id}});
        }
        QJsonObject item = items[i].toObject();
        item.insert("partOptions"_L1, i == 1 ? QJsonArray() : options);
        items[i] = item;
    }
    QJsonObject manifest = test::manifest(1, items);
    manifest.insert("capabilities"_L1, QJsonObject {{"parts"_L1, true}});
    return manifest;
}

// A live show of the parts book whose rendition requests wait for the test, and whose part choices
// are remembered per song.
struct PartShow
{
    ManualScheduler scheduler;
    ShowModel model {scheduler};
    ManifestSource source;
    QList<std::pair<QString, ShowModel::ManifestAnswer>> renditionRequests;
    QHash<QString, QString> saved;

    explicit PartShow(const QSet<QString> &instruments, const QJsonObject &manifest = partsBook())
    {
        model.requestRenditionManifest = [this](const QString &ref, ShowModel::ManifestAnswer answer) {
            renditionRequests.append({ref, std::move(answer)});
        };
        model.savedPartChoice = [this](const QString &song) {
            return saved.contains(song) ? std::optional(saved.value(song)) : std::nullopt;
        };
        model.persistPartChoice
            = [this](const QString &choice, const QString &song) { saved.insert(song, choice); };
        model.setMyInstrumentIDs(instruments);
        goLive(model, source, scheduler, manifest);
    }
    QStringList refs() const
    {
        QStringList list;
        for (const auto &request : renditionRequests)
            list.append(request.first);
        return list;
    }
    void answer(const std::optional<QJsonObject> &descriptor)
    {
        renditionRequests.takeFirst().second(descriptor);
    }
};

} // namespace

class ShowPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void optionParsing()
    {
        const auto options = PlayerPartOption::parse(QJsonArray {
            object(
                R"({"optionID": " v ", "label": " ", "instrumentIDs": ["a", "", "a", 3, "b"], "ref": " r "})"),
            object(R"({"optionID": "master", "ref": "x"})"),
            object(R"({"optionID": "empty-ref", "ref": "  "})"),
            object(R"({"optionID": "v", "ref": "again"})"), QJsonValue(7),
            object(R"({"optionID": "c", "label": "Clarinet in B♭", "ref": "rc"})")});
        QCOMPARE(options,
            (QList<PlayerPartOption> {
                {u"v"_s, u"v"_s, {u"a"_s, u"b"_s}, u"r"_s}, {u"c"_s, u"Clarinet in B♭"_s, {}, u"rc"_s}}));
    }

    void resolution()
    {
        const PlayerPartOption a {u"a"_s, u"A"_s, {u"i1"_s}, u"ra"_s}, b {u"b"_s, u"B"_s, {u"i2"_s}, u"rb"_s},
            c {u"c"_s, u"C"_s, {u"i3"_s}, u"rc"_s};
        using Auto = PlayerPartResolution::Automatic;
        const PlayerPartResolutionValue master = PlayerPartResolution::Master {};
        // Saved choice, the player's instruments, the outcome.
        const QList<std::tuple<std::optional<QString>, QSet<QString>, PlayerPartResolutionValue>> cases {
            {u"master"_s, {u"i1"_s}, master}, {{}, {u"i1"_s}, Auto {a}},
            {{}, {u"i1"_s, u"i2"_s}, PlayerPartResolution::Choose {{a, b}}}, {{}, {u"i9"_s}, master},
            {u"b"_s, {u"i1"_s, u"i2"_s}, Auto {b}}, {u"all:c"_s, {}, Auto {c}},
            {u"gone"_s, {u"i2"_s}, Auto {b}}, {u"c"_s, {u"i1"_s}, Auto {a}}};
        for (const auto &[saved, instruments, expected] : cases)
            QCOMPARE(PlayerPartResolver::resolve({a, b, c}, instruments, saved), expected);
    }

    void matchingPartIsFetchedAndShownLocally()
    {
        PartShow show({u"builtin:violin"_s});
        ShowModel &model = show.model;
        QCOMPARE(std::tuple(model.partSelectionActive(), model.usingAlternatePart(),
                     model.selectedPartLabel(), model.turnsPagesLocally(), show.refs()),
            std::tuple(true, false, u"VIOLIN0"_s, true, QStringList {u"ref.violin0"_s}));

        show.answer(rendition(u"alpha-violin"_s, 41, 2));
        // Every page of the part shares one chart identity, tied to the song's place in the book.
        const StagePage first = model.stagePages().first();
        QCOMPARE(std::tuple(model.usingAlternatePart(), model.displayedIndex(), first.scoreToken,
                     first.chartIdentity, first.marksVersion),
            std::tuple(true, 0, 41, u"part:violin0|alpha|item:0"_s, std::nullopt));
        // Then the song after next is prefetched in the background.
        QCOMPARE(show.refs(), (QStringList {u"ref.violin2"_s}));
        QCOMPARE(model.expectedPracticeRenditionRefs(), (QSet<QString> {u"ref.violin0"_s, u"ref.violin2"_s}));

        model.turnLocally(+1);
        QCOMPARE(model.displayedIndex(), 1);
        model.turnLocally(+1);
        QCOMPARE(model.displayedIndex(), 1);
        // Host ink belongs to the master engraving.
        model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "begin", "pageIndex": 1})"));
        QVERIFY(model.ink.allStrokes().isEmpty());
    }

    void twoMatchesRaiseTheChooser()
    {
        PartShow show({u"builtin:violin"_s, u"builtin:clarinet"_s});
        const auto chooser = show.model.partChooser();
        QVERIFY(chooser && !show.model.partSelectionActive());
        QCOMPARE(std::tuple(chooser->matchingOptionIDs, chooser->selectedOptionID,
                     chooser->matchingOptions().size()),
            std::tuple(QSet<QString> {u"violin0"_s, u"clarinet0"_s}, u"master"_s, 2));

        show.model.selectPart(u"clarinet0"_s);
        QVERIFY(!show.model.partChooser());
        QCOMPARE(show.saved.value(u"alpha"_s), u"clarinet0"_s);
        // Selecting it again while its request is under way sends nothing more.
        show.model.selectPart(u"clarinet0"_s);
        QCOMPARE(show.refs().count(u"ref.clarinet0"_s), 1);

        show.model.selectPart(u"master"_s);
        QCOMPARE(show.saved.value(u"alpha"_s), u"master"_s);
        QVERIFY(!show.model.partSelectionActive());
        QCOMPARE(show.model.selectedPartLabel(), u"Master"_s);
        // The late answer is stored but no longer shown.
        show.answer(rendition(u"alpha-clarinet"_s, 42, 2));
        QVERIFY(!show.model.usingAlternatePart());
    }

    void instrumentChangeResolvesAgainAndOtherChoicesAreSavedAsAll()
    {
        PartShow show({});
        QVERIFY(!show.model.partSelectionActive());
        show.model.setMyInstrumentIDs({u" builtin:clarinet "_s, u""_s});
        QCOMPARE(std::tuple(show.model.selectedPartLabel(), show.refs().first()),
            std::tuple(u"CLARINET0"_s, u"ref.clarinet0"_s));

        show.model.selectPart(u"violin0"_s);
        QCOMPARE(show.saved.value(u"alpha"_s), u"all:violin0"_s);
        show.model.selectPart(u"nonexistent"_s);
        QCOMPARE(show.saved.value(u"alpha"_s), u"all:violin0"_s);
    }

    // Within every limit a rendition is used; past one, or without pages, the master is shown instead.
    void unusableRenditionFallsBackToTheLocalMaster()
    {
        const QList<std::tuple<QJsonObject, bool, bool>> cases {
            {rendition(QString(1024, u'k'), 41, 5000), true, false},
            {rendition(u"k"_s, 41, 5001), false, true}, {rendition(QString(1025, u'k'), 41, 2), false, true},
            {rendition(u"x"_s, 5, 0), false, false}};
        for (const auto &[descriptor, usable, pastALimit] : cases) {
            PartShow show({u"builtin:violin"_s});
            if (pastALimit)
                QTest::ignoreMessage(
                    QtWarningMsg, QRegularExpression(u"^Refused the Host's part rendition: "_s));
            show.answer(descriptor);
            QCOMPARE(show.model.usingAlternatePart(), usable);
            if (usable)
                continue;
            QCOMPARE(std::tuple(show.model.partSelectionActive(), show.model.selectedPartLabel(),
                         show.model.toast(), displayedToken(show.model)),
                std::tuple(true, u"Master"_s, u"VIOLIN0 unavailable — using local Master"_s, 1));
            show.model.turnLocally(+1);
            QCOMPARE(show.model.displayedIndex(), 1);
        }
    }

    void withoutPartSupportNoSongOffersParts()
    {
        QJsonObject manifest = partsBook();
        manifest.remove("capabilities"_L1);
        manifest.insert(
            "instrumentCatalog"_L1, object(R"({"instruments": [{"id": "custom:kazoo", "label": "Kazoo"}]})"));
        PartShow show({u"builtin:violin"_s}, manifest);
        QVERIFY(!show.model.partSelectionActive() && show.model.availablePartOptions().isEmpty()
            && show.renditionRequests.isEmpty());
        QCOMPARE(show.model.instrumentCatalog(), PlayerInstrumentCatalog::builtIn());

        QVERIFY(ShowModel::partsCapability(object(R"({"capabilities": ["parts"]})")));
        QVERIFY(ShowModel::partsCapability(object(R"({"capabilities": {"parts": 1}})")));
        QVERIFY(!ShowModel::partsCapability(object(R"({"capabilities": {"parts": false}})")));
        QVERIFY(!ShowModel::partsCapability(object(R"({"capabilities": "parts"})")));
    }

    void practiceGoingBackAcrossASongStartsThePartOnItsLastPage()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        ManifestSource source;
        const QHash<QString, QJsonObject> stored {
            {u"ref.violin0"_s, rendition(u"a-v"_s, 51, 3)}, {u"ref.violin2"_s, rendition(u"g-v"_s, 53, 2)}};
        model.requestRenditionManifest = [&](const QString &ref, ShowModel::ManifestAnswer answer) {
            answer(stored.contains(ref) ? std::optional(stored.value(ref)) : std::nullopt);
        };
        model.setMyInstrumentIDs({u"builtin:violin"_s});
        QJsonObject manifest = partsBook();
        manifest.insert("state"_L1, object(R"({"scoreIndex": 2, "scoreKey": "gamma", "pageIndex": 2})"));
        source.attach(model);
        model.didJoin();
        model.beginPractice();
        model.handle(hello(1, 2, 2, u"gamma"_s));
        source.answer(manifest);
        scheduler.runPending();
        // The song, whether a part is in use, the score token and the page shown.
        const auto at = [&model] {
            return std::tuple(*model.practiceScoreIndex(), model.partSelectionActive(), displayedToken(model),
                model.displayedIndex());
        };
        QCOMPARE(at(), std::tuple(2, true, 53, 0));
        // Back from the part's first page: beta has no parts, so its master is shown from its last page.
        model.turnLocally(-1);
        QCOMPARE(at(), std::tuple(1, false, 2, 3));
        model.turnLocally(-3);
        QCOMPARE(at(), std::tuple(0, true, 51, 2));
    }
};

QTEST_GUILESS_MAIN(ShowPartsTest)
#include "tst_showparts.moc"
