// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the secure channel, the time of a 5 MiB asset round trip over loopback (plain against
// sealed), what a flood of tiny frames costs the Player, and how soon it joins a restarted Host again.
// Prints figures; asserts nothing. Build without sanitizers for meaningful numbers. Names given on the
// command line (channel, roundtrip, flood, rejoin) run only those parts.

#include "HostSimulator.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "link/PlayerSecureChannel.h"
#include "link/TcpByteStream.h"
#include "show/ManifestLimits.h"
#include "show/ShowModel.h"
#include "support/Allocator.h"
#include "support/EventLoopScheduler.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"
#include "support/SerialQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

constexpr double mebibyte = 1024.0 * 1024.0;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// Both ends of one secure channel.
struct ChannelPair
{
    QByteArray secret = randomBytes(16);
    QByteArray nonce = randomBytes(16);
    std::shared_ptr<PlayerSecureChannel> player = PlayerSecureChannel::create(u"k"_s, secret, nonce);
    std::shared_ptr<PlayerSecureChannel> host
        = PlayerSecureChannel::create(u"k"_s, secret, nonce, PlayerSecureChannel::Side::Host);
};

// Seals (and separately opens) payloads of one size until about `totalBytes` have gone through.
void channelThroughput(qsizetype payloadSize, qint64 totalBytes)
{
    ChannelPair channel;
    const QByteArray payload = randomBytes(payloadSize);
    const qint64 rounds = std::max<qint64>(1, totalBytes / payloadSize);

    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < rounds; ++i) {
        if (!channel.player->seal(payload))
            std::abort();
    }
    const double sealSeconds = double(timer.nsecsElapsed()) / 1e9;

    qint64 openNanoseconds = 0;
    for (qint64 i = 0; i < rounds; ++i) {
        QByteArray box = *channel.host->seal(payload);
        timer.restart();
        if (!channel.player->open(std::move(box)))
            std::abort();
        openNanoseconds += timer.nsecsElapsed();
    }
    const double bytes = double(rounds) * double(payloadSize);
    std::printf("  %8lld-byte payloads: seal %8.1f MiB/s   open %8.1f MiB/s\n", (long long)payloadSize,
        bytes / mebibyte / sealSeconds, bytes / mebibyte / (double(openNanoseconds) / 1e9));
}

// Runs the event loop until `done` or the time limit, sleeping while there is nothing to do.
bool spin(const std::function<bool()> &done, int milliseconds = 30'000)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake;
    wake.start(10);
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// A Host and a Player on its own connection queue, fetching the same 5 MiB asset.
class Session
{
public:
    Session(bool sealed, qsizetype chunkSize, const QByteArray &blob)
        : m_queue(u"player.connection"_s)
        , m_main(&m_mainContext)
        , m_blobSize(blob.size())
    {
        HostSimulator::Options options;
        if (sealed)
            options.linkSecret = randomBytes(16);
        options.chunkSize = chunkSize;
        m_host = std::make_unique<HostSimulator>(SimShow::generate(1, 1), options);
        m_host->show().addAsset(1001, 0, u"blob.bin"_s, u"b1"_s, blob);
        m_connection = PlayerConnection::create(
            {&m_queue.scheduler(), &m_main, TcpByteStream::factory(m_queue.scheduler()), systemJitter()});
        m_connection->onStateChange = [this](const PlayerConnection::State &s) {
            m_connected = s == PlayerConnection::State::connected();
        };
        if (!m_host->listen())
            return;
        m_connection->join(NetworkEndpoint::hostPort(u"127.0.0.1"_s, m_host->port()), u"bench"_s,
            std::nullopt, std::nullopt, options.linkSecret, sealed);
        m_ready = spin([this] { return m_connected && m_host->recorded(u"attach"_s).size() == 1; });
        spin([] { return false; }, 100); // lets the assets connection settle on the Player's side
    }

    ~Session()
    {
        m_connection->shutdownForProcessExit();
        m_connection.reset();
        m_queue.stop();
    }

    bool ready() const { return m_ready; }
    bool connected() const { return m_connected; }
    HostSimulator &host() { return *m_host; }
    PlayerConnection &connection() { return *m_connection; }

    // Milliseconds for one request and its answer, or nothing when it failed.
    std::optional<double> fetch()
    {
        bool done = false;
        bool intact = false;
        QElapsedTimer timer;
        timer.start();
        m_connection->requestAsset(1001, 0, u"blob.bin"_s, u"b1"_s, true,
            [&](qint64 status, const std::optional<QString> &, const std::optional<QByteArray> &data) {
                done = true;
                intact = status == 200 && data && data->size() == m_blobSize;
            });
        if (!spin([&] { return done; }) || !intact)
            return std::nullopt;
        return double(timer.nsecsElapsed()) / 1e6;
    }

private:
    SerialQueue m_queue;
    QObject m_mainContext;
    EventLoopScheduler m_main;
    qsizetype m_blobSize;
    std::unique_ptr<HostSimulator> m_host;
    std::shared_ptr<PlayerConnection> m_connection;
    bool m_connected = false;
    bool m_ready = false;
};

struct Timing
{
    double median = 0;
    double best = 0;
};

Timing timing(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.first()};
}

// Milliseconds to seal a payload on one side and open it on the other, the best of a few tries: the
// work a sealed round trip adds to a plain one.
double sealAndOpenMilliseconds(const QByteArray &payload)
{
    ChannelPair channel;
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!channel.player->open(*channel.host->seal(payload)))
            std::abort();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

// Plain and sealed requests alternate, so that a busy machine slows both alike.
bool compareRoundTrips(qsizetype chunkSize, int repetitions)
{
    const QByteArray blob = randomBytes(5 * 1024 * 1024);
    Session plain(false, chunkSize, blob);
    Session sealed(true, chunkSize, blob);
    if (!plain.ready() || !sealed.ready())
        return false;
    QList<double> plainTimes;
    QList<double> sealedTimes;
    for (int i = 0; i <= repetitions; ++i) {
        const auto p = plain.fetch();
        const auto s = sealed.fetch();
        if (!p || !s)
            return false;
        if (i > 0) { // the first round warms caches and buffers
            plainTimes << *p;
            sealedTimes << *s;
        }
    }
    const Timing p = timing(plainTimes);
    const Timing s = timing(sealedTimes);
    std::printf("  %-16s plain %7.2f / %7.2f ms   sealed %7.2f / %7.2f ms   sealed/plain %.2fx (median) "
                "%.2fx (best)\n",
        chunkSize == 0 ? "whole asset:" : "256 KiB chunks:", p.median, p.best, s.median, s.best,
        s.median / p.median, s.best / p.best);
    std::printf("  %-16s sealed - plain %.2f ms (best), sealing and opening the asset once %.2f ms\n", "",
        s.best - p.best, sealAndOpenMilliseconds(blob));
    return true;
}

// A memory figure of this process in MiB: "VmRSS:" now, "VmHWM:" the peak.
double statusMiB(QByteArrayView field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).simplified().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double residentMiB()
{
    return statusMiB("VmRSS:");
}

// 1.44 million one-byte frames written at once on the control connection: the Player's memory
// meanwhile, how soon the answer to a manifest request that waits behind them arrives, and how soon a
// ping sent after them is answered.
bool tinyFrameFlood()
{
    Session session(false, 0, randomBytes(16));
    if (!session.ready())
        return false;
    const double baseline = residentMiB();
    double peak = baseline;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&peak] { peak = std::max(peak, residentMiB()); });
    sampler.start(20);

    QElapsedTimer clock;
    clock.start();
    std::optional<double> manifestMs;
    bool manifestDone = false;
    session.host().setAnswerDelay(0.01); // the answer goes out behind the flood
    session.connection().requestManifest([&](const std::optional<QJsonObject> &manifest) {
        manifestDone = true;
        if (manifest)
            manifestMs = double(clock.nsecsElapsed()) / 1e6;
    });
    bool flooded = false;
    QObject::connect(&session.host(), &HostSimulator::floodSent, [&flooded] { flooded = true; });
    session.host().flood(1'440'000, 0.0);
    if (!spin([&] { return flooded; }, 60'000))
        return false;

    std::optional<double> pongMs;
    QElapsedTimer pingClock;
    QObject::connect(&session.host(), &HostSimulator::messageReceived, [&](const RecordedMessage &record) {
        if (!pongMs && record.message.value("type"_L1) == "pong"_L1)
            pongMs = double(pingClock.nsecsElapsed()) / 1e6;
    });
    pingClock.start();
    session.host().ping();
    spin([&] { return pongMs.has_value(); }, 60'000);
    spin([&] { return manifestDone; }, 30'000);
    peak = std::max(peak, residentMiB());

    std::printf("  resident memory: %.1f MiB before, %.1f MiB at most during the flood (+%.1f MiB)\n",
        baseline, peak, peak - baseline);
    std::printf("  ping sent after the flood: %s\n",
        pongMs ? qPrintable(u"answered in %1 ms"_s.arg(*pongMs, 0, 'f', 1)) : "not answered in 60 s");
    std::printf("  manifest asked for before the flood: %s\n",
        manifestMs ? qPrintable(u"answered after %1 ms"_s.arg(*manifestMs, 0, 'f', 1)) : "failed");
    return true;
}

QByteArray manifestAnswer(const QByteArray &items)
{
    return R"({"type":"manifest","requestId":"m1","manifest":{"structureVersion":1,"show":{"items":[)" + items
        + "]}}}";
}

// The largest manifest answer the Player takes: as many JSON marks as a message may hold, filled up
// with strings of the longest length allowed, to nearly the largest frame.
QByteArray largestLegalManifest()
{
    const QByteArray filler(ManifestLimits::maxStringLength - 24, 'x');
    QByteArray items;
    for (int i = 0; i < 2000; ++i) {
        QByteArray item = (i ? ",{" : "{") + QByteArray(R"("scoreKey":"s)") + QByteArray::number(i)
            + R"(","scoreToken":)" + QByteArray::number(i + 1) + R"(,"pages":[)";
        for (int page = 0; page < 35; ++page)
            item += (page ? ",{" : "{") + QByteArray(R"("index":)") + QByteArray::number(page)
                + R"(,"baseVersion":"b)" + QByteArray::number(page) + R"("})";
        item += "]";
        for (int note = 0; note < 7; ++note)
            item += R"(,"note)" + QByteArray::number(note) + R"(":")" + filler + R"(")";
        items += item + "}";
    }
    return manifestAnswer(items);
}

// A million set-list items of one member each in one frame.
QByteArray millionTinyItems()
{
    QByteArray items = QByteArray(R"({"startPage":0},)").repeated(1'000'000);
    items.chop(1);
    return manifestAnswer(items);
}

// The peak memory of reading, checking and accepting one manifest answer, from before its frame
// arrived, against the frame's size.
void manifestCost(const char *what, const std::function<QByteArray()> &makeAnswer)
{
    const double baseline = residentMiB();
    const QByteArray message = makeAnswer();
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5"); // the peak counts from here
    clearRefs.close();

    const qsizetype marks = json::markCount(message);
    std::optional<QJsonObject> manifest;
    if (marks <= PlayerConnection::maxMessageMarks)
        manifest = json::optObject(json::parseObject(message).value_or(QJsonObject()), "manifest"_L1);
    ManualScheduler scheduler;
    ShowModel model(scheduler);
    // Answered once: a model that did not accept it asks again at once.
    bool answered = false;
    model.requestManifest = [&](ShowModel::ManifestAnswer answer) {
        if (!std::exchange(answered, true))
            answer(std::exchange(manifest, {}));
    };
    model.didJoin();
    model.handle({{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1}, {"structureVersion"_L1, 1}});
    scheduler.runPending();
    const double peak = std::max(statusMiB("VmHWM:"), residentMiB()) - baseline;
    const double frameMiB = double(message.size()) / mebibyte;
    std::printf("  %s: %.1f MiB, %lld JSON marks, %s; peak %.1f MiB, %.1f times the frame\n", what, frameMiB,
        qlonglong(marks), model.manifest() ? "accepted" : "not accepted", peak, peak / frameMiB);
}

// The Host stops listening and comes back on the same port after `downSeconds`: milliseconds from its
// return until the Player is connected again.
std::optional<double> rejoinAfter(double downSeconds)
{
    Session session(false, 0, randomBytes(16));
    if (!session.ready())
        return std::nullopt;
    const quint16 port = session.host().port();
    session.host().stopListening();
    if (!spin([&] { return !session.connected(); }))
        return std::nullopt;
    spin([] { return false; }, int(downSeconds * 1000));
    QElapsedTimer clock;
    clock.start();
    if (!session.host().listen(QHostAddress::LocalHost, port) || !spin([&] { return session.connected(); }))
        return std::nullopt;
    return double(clock.nsecsElapsed()) / 1e6;
}

bool rejoinTimes()
{
    for (const double down : {0.5, 1.0, 2.0}) {
        QStringList times;
        for (int run = 0; run < 3; ++run) {
            const auto ms = rejoinAfter(down);
            if (!ms)
                return false;
            times << QString::number(*ms, 'f', 0);
        }
        std::printf("  Host away %.1f s: connected again %s ms after it listens\n", down,
            qPrintable(times.join(u", "_s)));
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    pgw::keepLargeBuffersForReuse();
    QCoreApplication app(argc, argv);
    const QStringList wanted = app.arguments().mid(1);
    auto runs = [&wanted](const QString &name) { return wanted.isEmpty() || wanted.contains(name); };

    if (runs(u"flood"_s)) {
        // First, so that memory other parts freed and kept for reuse does not hide the growth.
        std::printf("Flood of one-byte frames on the control connection (1.44 million at once):\n");
        if (!tinyFrameFlood()) {
            std::printf("  flood failed\n");
            return 1;
        }
    }

    if (runs(u"manifest"_s)) {
        std::printf("\nOne manifest answer, read, checked and accepted by the show model:\n");
        manifestCost("largest within the limits", largestLegalManifest);
        manifestCost("a million tiny set-list items", millionTinyItems);
    }

    if (runs(u"channel"_s)) {
        std::printf("\nSecure channel (ChaCha20-Poly1305, one channel, in order):\n");
        channelThroughput(4 * 1024, 512LL * 1024 * 1024);
        channelThroughput(1024 * 1024, 1024LL * 1024 * 1024);
    }

    if (runs(u"roundtrip"_s)) {
        const int repetitions = 40;
        std::printf(
            "\n5 MiB asset round trip over loopback against the Host simulator (median / best of %d):\n",
            repetitions);
        for (const qsizetype chunk : {qsizetype(0), qsizetype(256 * 1024)}) {
            if (!compareRoundTrips(chunk, repetitions)) {
                std::printf("  round trip failed\n");
                return 1;
            }
        }
    }

    if (runs(u"rejoin"_s)) {
        std::printf("\nA Host that restarts on the same port (three runs each):\n");
        if (!rejoinTimes()) {
            std::printf("  rejoin failed\n");
            return 1;
        }
    }
    return 0;
}
