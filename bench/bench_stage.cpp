// SPDX-License-Identifier: GPL-3.0-or-later
// The stage under a musician's hands, on the offscreen platform: 200 local turns through the sample show
// (14 engraved 300-dpi pages) and through a 60-page show of 300-dpi pages, at 1180 × 820 and
// 2560 × 1440, in one and two rows, inverted and not. Reports the main thread's time from a turn to the
// paint that shows the new page (p50, p95, max), the longest main-thread stall while the first pages
// decode, and peak RSS. `--pump` instead measures the longest main-thread stall while the asset pump
// fetches a 300-page show into a library of five saved shows, which recounts after every page.
// Each configuration runs in its own process so that peak RSS is its own.
#include "app/SettingsStore.h"
#include "saved/DownloadedShowLibrary.h"
#include "show/ShowModel.h"
#include "stage/ui/DesktopPageSurface.h"
#include "stage/ui/DesktopStageView.h"
#include "stage/ui/PageImageLoader.h"
#include "stage/ui/ZoomStage.h"
#include "support/Allocator.h"
#include "support/DefaultsStore.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>
#include <time.h>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

constexpr int turnCount = 200;

struct Page
{
    QByteArray base;
    QByteArray marks;
};

// The sample show's pages in set-list order, or `count` pages cycling through them under their own keys.
QList<Page> loadPages(int count)
{
    QList<Page> sample;
    for (const int token : {101, 102, 103}) {
        for (int index = 0;; ++index) {
            const QString folder
                = QStringLiteral(PGW_SHARED_DIR "/sample-show/pages/%1/%2/").arg(token).arg(index);
            QFile base(folder + u"base.png"_s);
            if (!base.open(QIODevice::ReadOnly))
                break;
            QFile marks(folder + u"marks.png"_s);
            sample.append({base.readAll(), marks.open(QIODevice::ReadOnly) ? marks.readAll() : QByteArray()});
        }
    }
    QList<Page> pages;
    for (int i = 0; i < (count > 0 ? count : sample.size()); ++i)
        pages.append(sample.at(i % sample.size()));
    return pages;
}

QJsonObject manifestFor(const QString &scoreKey, qint64 token, const QList<Page> &pages)
{
    QJsonArray list;
    for (int i = 0; i < pages.size(); ++i) {
        QJsonObject page {{u"index"_s, i}, {u"baseVersion"_s, u"b%1"_s.arg(i)}, {u"pixelWidth"_s, 2550},
            {u"pixelHeight"_s, 3300}};
        if (!pages.at(i).marks.isEmpty())
            page.insert(u"marksVersion"_s, u"m%1"_s.arg(i));
        list.append(page);
    }
    const QJsonObject score {{u"scoreKey"_s, scoreKey}, {u"scoreToken"_s, token}, {u"title"_s, scoreKey},
        {u"pageCount"_s, pages.size()}, {u"pages"_s, list}};
    return {{u"structureVersion"_s, 1}, {u"score"_s, score}, {u"state"_s, QJsonObject {{u"pageIndex"_s, 0}}}};
}

// Longest gap between ticks of a 1 ms timer on the main thread: what the main thread could not answer.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        m_timer.setInterval(1);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_longest / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * values.size()))];
}

double threadSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

long peakRssMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void spin(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Lets the model's image loads and the stage's decoding settle, as they do between a musician's turns.
void settle()
{
    for (int round = 0; round < 3; ++round) {
        spin(30);
        while (!PageImageLoader::shared().isIdle())
            spin(5);
    }
}

int runTurns(QSize size, int rows, bool invert, int pageCount)
{
    const QList<Page> pages = loadPages(pageCount);
    QTemporaryDir directory;
    EventLoopScheduler main(qApp);
    SerialQueue assetQueue(u"player.assets"_s);
    auto assets = AssetStore::create(directory.path(), {assetQueue.scheduler(), main});
    assets->setNetwork([&pages](qint64, qint64 page, const QString &kind, const QString &version, bool,
                           AssetFetchCompletion completion) {
        const Page &served = pages.at(int(page));
        completion(200, version, kind.startsWith(u"marks") ? served.marks : served.base);
    });
    ShowModel model(main);
    model.setAssets(assets);
    const QJsonObject manifest = manifestFor(u"bench"_s, 1, pages);
    model.requestManifest
        = [&](ShowModel::ManifestAnswer answer) { main.post([answer, manifest] { answer(manifest); }); };
    MemoryDefaultsStore defaults;
    SettingsStore settings(defaults);
    settings.setInvert(invert);
    settings.setPageLayout(rows == 2 ? PageLayoutPreference::TwoRows : PageLayoutPreference::OneRow);

    ZoomStage stage(main, model, settings, nullptr);
    stage.resize(size);
    stage.show();
    DesktopStageView *view = stage.stageView();

    spin(100);
    StallProbe probe;
    probe.start();
    model.didJoin();
    model.setPhase(ShowPhase::connecting());
    model.handle({{u"type"_s, u"hello"_s}, {u"protocolVersion"_s, 1}, {u"structureVersion"_s, 1},
        {u"state"_s, QJsonObject {{u"pageIndex"_s, 0}}}});
    settle();
    settle();
    const double decodeStall = probe.stop();
    model.setTurnsPagesLocally(true);

    // Main-thread processor time from the turn to the paint, and the wall time, which also counts
    // waiting for the model's image loads and for decodes off the main thread.
    std::vector<double> turns;
    std::vector<double> latencies;
    int direction = 1;
    QElapsedTimer clock;
    for (int turn = 0; turn < turnCount; ++turn) {
        if (model.stagePages().isEmpty())
            break;
        const int page = model.displayedPage();
        if ((direction > 0 && page >= pages.size() - 1) || (direction < 0 && page <= 0))
            direction = -direction;
        clock.start();
        const double cpuAtTurn = threadSeconds();
        model.turnLocally(direction);
        const QString target = model.stagePages().isEmpty() ? QString() : model.stagePages().first().key;
        const auto shown = [&] {
            const DesktopPageSurface *surface = view->currentSurface();
            return surface && surface->pageKey == target && !surface->baseImage().isNull();
        };
        while (!shown() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        stage.window()->repaint();
        turns.push_back((threadSeconds() - cpuAtTurn) * 1e3);
        latencies.push_back(clock.nsecsElapsed() / 1e6);
        settle();
    }
    std::printf("%4dx%-4d rows %d %-8s %3d pages  turn p50 %5.2f  p95 %5.2f  max %6.2f ms  "
                "(wall p50 %5.2f  p95 %6.2f ms)  decode stall %6.2f ms  peak RSS %4ld MB\n",
        size.width(), size.height(), rows, invert ? "inverted" : "plain", int(pages.size()),
        percentile(turns, 0.5), percentile(turns, 0.95), percentile(turns, 1.0), percentile(latencies, 0.5),
        percentile(latencies, 0.95), decodeStall, peakRssMegabytes());
    return 0;
}

int runPump()
{
    constexpr int pumpPages = 300;
    constexpr qsizetype pageBytes = 300 * 1024;
    QTemporaryDir directory;
    EventLoopScheduler main(qApp);
    SerialQueue assetQueue(u"player.assets"_s);
    auto assets = AssetStore::create(directory.filePath(u"Assets"_s), {assetQueue.scheduler(), main});
    const QByteArray bytes(pageBytes, 'p');
    assets->setNetwork([&](qint64, qint64, const QString &, const QString &version, bool,
                           AssetFetchCompletion completion) {
        main.post([completion = std::move(completion), version, &bytes] { completion(200, version, bytes); });
    });

    // Five saved shows of 60 pages each, as a musician's library might hold.
    const QString libraryPath = directory.filePath(DownloadedShowLibrary::directoryName);
    QDir().mkpath(libraryPath);
    for (int show = 0; show < 5; ++show) {
        DownloadedShowLibrary::Record record;
        record.manifest = manifestFor(u"saved-%1"_s.arg(show), 100 + show, QList<Page>(60));
        record.id = DownloadedShowContent::showIdentity(record.manifest).value_or(QString());
        record.updatedAt = QDateTime::currentDateTimeUtc();
        QFile file(libraryPath + u'/' + record.id + u".json"_s);
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(record.toJson()).toJson());
    }
    DownloadedShowLibrary library(libraryPath, assets);
    assets->setOnContentsChange([&library] { library.refresh(); });

    QList<AssetStore::Want> wants;
    for (int page = 0; page < pumpPages; ++page)
        wants.append(AssetStore::Want::make(u"live"_s, 1, page, u"base.png"_s, u"v%1"_s.arg(page)));
    StallProbe probe;
    QElapsedTimer clock;
    clock.start();
    probe.start();
    assets->pump(wants, std::nullopt);
    while (assets->cachedPageCoverage(wants).ready < pumpPages && clock.elapsed() < 120000)
        spin(20);
    std::printf("pump of %d pages with %d saved shows: %.1f s, longest main-thread stall %.2f ms, "
                "peak RSS %ld MB\n",
        pumpPages, int(library.shows().size()), clock.elapsed() / 1000.0, probe.stop(), peakRssMegabytes());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    keepLargeBuffersForReuse();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.contains(u"--pump"_s))
        return runPump();
    if (arguments.size() == 5) {
        const QStringList size = arguments.at(1).split(u'x');
        return runTurns(QSize(size.value(0).toInt(), size.value(1).toInt()), arguments.at(2).toInt(),
            arguments.at(3) == u"inverted"_s, arguments.at(4).toInt());
    }
    for (const int pageCount : {0, 60}) {
        for (const char *size : {"1180x820", "2560x1440"}) {
            for (const char *rows : {"1", "2"}) {
                for (const char *invert : {"plain", "inverted"}) {
                    QProcess::execute(app.applicationFilePath(),
                        {QString::fromLatin1(size), QString::fromLatin1(rows), QString::fromLatin1(invert),
                            QString::number(pageCount)});
                }
            }
        }
    }
    return QProcess::execute(app.applicationFilePath(), {u"--pump"_s});
}
