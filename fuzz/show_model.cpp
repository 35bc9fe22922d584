// SPDX-License-Identifier: GPL-3.0-or-later
// The show model driven by a Host and a musician, one line at a time. A line that starts with '{' is a
// message from the Host, handed to ShowModel::handle as it is. Other lines start with a command:
//   M<json>  the manifest the Host answers from now on (M alone: its answers fail)
//   R<json>  the rendition descriptors the Host answers, by reference
//   + -      turn one page on or back           L F  turn pages locally or follow the Host
//   V        return to the Host's page          A    toggle the ten-second return
//   O        connection lost                    E    the Host ended the show
//   P<id>    choose a part option               Q D  open or dismiss the part chooser
//   I<ids>   the musician's instruments, comma separated
//   B b      two rows of pages or one           W<s> let s seconds pass (at most 12)
//   X        leave the show                     J    join again             S    practise
// After each line the Host answers what was asked, due timers run and the texts and positions the screens
// read are worked out.
#include "FuzzSupport.h"

#include "show/ShowModel.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"

#include <QTemporaryDir>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QTemporaryDir *assetDirectory = nullptr;
// Past the ten-second return to the Host's page; every 0.75 s of it reconciles the stage once.
constexpr double longestWait = 12;

struct Host
{
    std::optional<QJsonObject> manifest;
    QJsonObject renditions;
    QList<ShowModel::ManifestAnswer> manifestRequests;
    QList<std::pair<QString, ShowModel::ManifestAnswer>> renditionRequests;
    QList<std::pair<QString, AssetFetchCompletion>> assetRequests;

    // Answers what is outstanding now; what the answers ask for waits for the next round.
    void answer()
    {
        for (auto &request : std::exchange(manifestRequests, {}))
            request(manifest);
        for (auto &[ref, request] : std::exchange(renditionRequests, {})) {
            const QJsonValue descriptor = renditions.value(ref);
            request(descriptor.isObject() ? std::optional(descriptor.toObject()) : std::nullopt);
        }
        for (auto &[version, completion] : std::exchange(assetRequests, {}))
            completion(200, version, version.toUtf8());
    }
};

void inspect(const ShowModel &model)
{
    model.liveChipText();
    model.hostPositionText();
    model.standStatusHostScoreToken();
    model.expectedShownKey();
    model.readinessCoverageScopeFingerprint();
    model.expectedPracticeRenditionRefs();
    model.displayedScoreIndex();
    if (const auto position = model.currentLocalPosition()) {
        model.adjacentLocalPosition(*position, +1);
        model.adjacentLocalPosition(*position, -1);
    }
    model.ink.strokes(model.displayedIndex());
}

void run(ShowModel &model, ManualScheduler &scheduler, Host &host, QByteArrayView line)
{
    const QByteArray rest = line.sliced(1).toByteArray();
    switch (line[0]) {
    case '{':
        if (const auto message = json::parseObject(line.toByteArray()))
            model.handle(*message);
        break;
    case 'M':
        host.manifest = json::parseObject(rest);
        break;
    case 'R':
        host.renditions = json::parseObject(rest).value_or(QJsonObject());
        break;
    case '+':
    case '-':
        model.turnLocally(line[0] == '+' ? 1 : -1);
        break;
    case 'L':
    case 'F':
        model.setTurnsPagesLocally(line[0] == 'L');
        break;
    case 'V':
        model.returnToLive();
        break;
    case 'A':
        model.setAutoReturnAfter(model.autoReturnAfter() > 0 ? 0 : 10);
        break;
    case 'O':
        model.connectionState(false, std::nullopt);
        break;
    case 'E':
        model.connectionState(false, u"ended"_s);
        break;
    case 'P':
        model.selectPart(QString::fromUtf8(rest));
        break;
    case 'Q':
        model.openPartChooser();
        break;
    case 'D':
        model.dismissPartChooser();
        break;
    case 'I': {
        const QStringList ids = QString::fromUtf8(rest).split(u',', Qt::SkipEmptyParts);
        model.setMyInstrumentIDs(QSet<QString>(ids.begin(), ids.end()));
        break;
    }
    case 'B':
    case 'b':
        model.configurePageBank(line[0] == 'B' ? 1 : 0, line[0] == 'B' ? 3 : 1);
        break;
    case 'W': {
        const double seconds = rest.toDouble();
        scheduler.advance(seconds > 0 ? std::min(seconds, longestWait) : 0);
        break;
    }
    case 'X':
        model.leaveShow();
        break;
    case 'J':
        model.didJoin();
        model.setPhase(ShowPhase::connecting());
        break;
    case 'S':
        model.beginPractice();
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    assetDirectory = new QTemporaryDir;
    fuzz::require(assetDirectory->isValid(), "a temporary directory for the asset store");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ManualScheduler scheduler;
    Host host;
    // The cache keeps nothing on disk: reading a page back fails, as it does when a file has gone.
    AssetStore::Environment environment {scheduler, scheduler, [] { return qint64(1'700'000'000'000); },
        [](const QString &, const QByteArray &) { return true; }, [](const QString &) { return true; }};
    auto assets = AssetStore::create(assetDirectory->path(), environment);
    assets->setNetwork([&host](qint64, qint64, const QString &, const QString &version, bool,
                           AssetFetchCompletion completion) {
        host.assetRequests.append({version, std::move(completion)});
    });

    ShowModel model(scheduler);
    model.setAssets(assets);
    model.requestManifest
        = [&host](ShowModel::ManifestAnswer answer) { host.manifestRequests.append(std::move(answer)); };
    model.requestRenditionManifest = [&host](const QString &ref, ShowModel::ManifestAnswer answer) {
        host.renditionRequests.append({ref, std::move(answer)});
    };
    model.didJoin();
    model.setPhase(ShowPhase::connecting());

    for (QByteArrayView line : fuzz::lines(QByteArrayView(data, qsizetype(size)))) {
        if (line.isEmpty())
            continue;
        run(model, scheduler, host, line);
        host.answer();
        scheduler.runPending();
        inspect(model);
    }
    scheduler.advance(longestWait);
    inspect(model);
    return 0;
}
