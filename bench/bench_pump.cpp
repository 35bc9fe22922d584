// SPDX-License-Identifier: GPL-3.0-or-later
// The asset pump over loopback TCP: a generated 300-page show of 300 KiB pages fetched from the Host
// simulator (on its own thread) into an empty cache, one page at a time, in plain and sealed with a
// PIN or a join-link secret. Reports pages per second, MiB/s and the processor time the Player's
// threads spent per page (the Host's thread excluded), which a busy machine disturbs less.
#include "HostSimulator.h"
#include "app/ShowSource.h"
#include "assets/AssetStore.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "link/TcpByteStream.h"
#include "support/Allocator.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

constexpr int pageCount = 300;
constexpr qsizetype pageBytes = 300 * 1024;
constexpr int rounds = 5;
constexpr qint64 scoreToken = 1001;
const QString scoreKey = u"generated-1"_s;

QString versionOf(int page)
{
    return u"g0-b%1-1"_s.arg(page);
}

// One score of 300 pages; each page's bytes are random, as incompressible as a busy PNG.
SimShow makeShow()
{
    SimShow show = SimShow::generate(1, pageCount);
    QRandomGenerator random(42);
    for (int page = 0; page < pageCount; ++page) {
        QByteArray bytes(pageBytes, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), pageBytes / 4);
        show.addAsset(scoreToken, page, u"base.png"_s, versionOf(page), bytes);
    }
    return show;
}

QList<AssetStore::Want> wantsOf()
{
    QList<AssetStore::Want> wants;
    for (int page = 0; page < pageCount; ++page)
        wants.append(AssetStore::Want::make(scoreKey, scoreToken, page, u"base.png"_s, versionOf(page)));
    return wants;
}

bool waitFor(const std::function<bool()> &done, int milliseconds = 30'000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Processor seconds used so far by this process's threads of the given names (Linux).
double threadSeconds(const QStringList &names)
{
    const QString tasks = u"/proc/self/task/"_s;
    double ticks = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + task + u"/comm"_s);
        QFile stat(tasks + task + u"/stat"_s);
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        if (!names.contains(QString::fromUtf8(comm.readAll().trimmed())))
            continue;
        // utime and stime are the 12th and 13th fields after the parenthesised name.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ticks += fields[11].toDouble() + fields[12].toDouble();
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The Player's threads, by the names the kernel keeps (at most 15 bytes).
const QStringList playerThreads {u"player.connecti"_s, u"player.assets"_s, u"bench_pump"_s};

struct Sample
{
    double seconds = 0;
    double playerCpuSeconds = 0;
};

struct Mode
{
    const char *name;
    HostSimulator::Options options;
    std::optional<QString> pin;
    std::optional<QByteArray> linkSecret;
};

// The Host runs on its own thread, as it would on its own machine.
class HostThread
{
public:
    HostThread(const SimShow &show, const HostSimulator::Options &options)
    {
        m_queue.scheduler().runSync([&] {
            m_host = std::make_unique<HostSimulator>(show, options);
            m_host->listen();
            m_port = m_host->port();
        });
    }
    ~HostThread()
    {
        m_queue.scheduler().runSync([this] { m_host.reset(); });
    }

    quint16 port() const { return m_port; }
    qsizetype recorded(const QString &type)
    {
        qsizetype count = 0;
        m_queue.scheduler().runSync([&] { count = m_host->recorded(type).size(); });
        return count;
    }

private:
    SerialQueue m_queue {u"host"_s};
    std::unique_ptr<HostSimulator> m_host;
    quint16 m_port = 0;
};

// The Player's connection and asset store on their own queues, the store fetching through the
// connection as the application routes it.
struct Player
{
    SerialQueue connectionQueue {u"player.connection"_s};
    SerialQueue assetsQueue {u"player.assets"_s};
    QObject mainContext;
    EventLoopScheduler main {&mainContext};
    QTemporaryDir cache;
    std::shared_ptr<PlayerConnection> connection = PlayerConnection::create({&connectionQueue.scheduler(),
        &main, TcpByteStream::factory(connectionQueue.scheduler()), [](double, double) { return 1.0; }});
    std::shared_ptr<AssetStore> assets
        = AssetStore::create(cache.filePath(u"Assets"_s), {assetsQueue.scheduler(), main});

    Player() { assets->setNetwork(ShowSource::live(connection).assets); }
};

// From handing the pump its wants to the last page written; nothing on failure.
std::optional<Sample> fetchOnce(HostThread &host, const Mode &mode, const QList<AssetStore::Want> &wants)
{
    Player player;
    bool connected = false;
    int written = 0;
    player.connection->onStateChange = [&](const PlayerConnection::State &state) {
        connected = state == PlayerConnection::State::connected();
    };
    player.assets->setOnContentsChange([&] { ++written; });
    const qsizetype attached = host.recorded(u"attach"_s);
    player.connection->join(NetworkEndpoint::hostPort(u"127.0.0.1"_s, host.port()), u"Ann"_s, std::nullopt,
        mode.pin, mode.linkSecret, mode.linkSecret.has_value());
    if (!waitFor([&] { return connected && host.recorded(u"attach"_s) > attached; }))
        return std::nullopt;

    const double cpuBefore = threadSeconds(playerThreads);
    QElapsedTimer timer;
    timer.start();
    player.assets->pump(wants, scoreKey);
    if (!waitFor([&] { return written >= pageCount; }, 120'000))
        return std::nullopt;
    const Sample sample {timer.nsecsElapsed() / 1e9, threadSeconds(playerThreads) - cpuBefore};
    if (player.assets->cachedCount(wants) != pageCount)
        return std::nullopt;
    return sample;
}

} // namespace

int main(int argc, char **argv)
{
    keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    const SimShow show = makeShow();
    const QList<AssetStore::Want> wants = wantsOf();
    const double mebibytes = double(pageCount) * double(pageBytes) / 1048576.0;
    std::printf("%d pages of %lld bytes (%.1f MiB), %d rounds per mode, median shown\n", pageCount,
        qint64(pageBytes), mebibytes, rounds);

    HostSimulator::Options pinRoom;
    pinRoom.pin = u"4821"_s;
    HostSimulator::Options linkRoom;
    linkRoom.linkSecret = PlayerCrypto::randomConnectionNonce();
    const Mode modes[] = {
        {"plain", {}, std::nullopt, std::nullopt},
        {"sealed, PIN", pinRoom, pinRoom.pin, std::nullopt},
        {"sealed, link secret", linkRoom, std::nullopt, linkRoom.linkSecret},
    };
    int failures = 0;
    for (const Mode &mode : modes) {
        HostThread host(show, mode.options);
        std::vector<Sample> samples;
        for (int round = 0; round < rounds; ++round) {
            if (const auto sample = fetchOnce(host, mode, wants)) {
                samples.push_back(*sample);
            } else {
                ++failures;
                std::printf("%-20s round %d failed\n", mode.name, round + 1);
            }
        }
        if (samples.empty())
            continue;
        std::sort(samples.begin(), samples.end(),
            [](const Sample &a, const Sample &b) { return a.seconds < b.seconds; });
        const Sample &median = samples[samples.size() / 2];
        std::printf(
            "%-20s %7.1f pages/s  %6.1f MiB/s  (median %.3f s, best %.3f s)  Player CPU %.2f ms/page\n",
            mode.name, pageCount / median.seconds, mebibytes / median.seconds, median.seconds,
            samples.front().seconds, median.playerCpuSeconds * 1000.0 / pageCount);
    }
    return failures == 0 ? 0 : 1;
}
