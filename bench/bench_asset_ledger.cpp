// SPDX-License-Identifier: GPL-3.0-or-later
// Ledger eviction over a large cache: how long choosing the files to delete takes.
#include "assets/AssetCacheName.h"
#include "assets/AssetLedger.h"

#include <QElapsedTimer>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

constexpr int entryCount = 100'000;
constexpr int repetitions = 20;

struct Fixture
{
    AssetLedger ledger;
    QString protectedScore = u"playing"_s;
    QSet<QString> pinned;
};

// 100,000 files of 60 scores, 2,048 to 4,600 bytes each (about 315 MiB, just past the cap), with
// shuffled last-use times; one score is protected and 1,000 files are pinned.
Fixture makeFixture(double *buildMs)
{
    std::mt19937_64 random(42);
    std::uniform_int_distribution<qint64> size(2048, 4600);
    std::uniform_int_distribution<qint64> time(1'600'000'000'000, 1'700'000'000'000);
    Fixture fixture;
    QStringList names;
    for (int i = 0; i < entryCount; ++i) {
        const QString score = i % 60 == 0 ? fixture.protectedScore : u"score%1"_s.arg(i % 60);
        names.append(AssetCacheName::fileName(score, i / 60, u"base.png"_s, u"v1"_s));
    }
    QElapsedTimer timer;
    timer.start();
    for (const QString &name : std::as_const(names))
        fixture.ledger.setEntry(name, {size(random), time(random)});
    *buildMs = timer.nsecsElapsed() / 1e6;
    for (int i = 1; i < entryCount && fixture.pinned.size() < 1000; i += 97)
        fixture.pinned.insert(names[i]);
    return fixture;
}

template<typename Run>
double medianMs(Run run)
{
    std::vector<double> samples;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        samples.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main()
{
    double buildMs = 0;
    Fixture fixture = makeFixture(&buildMs);
    AssetLedger &ledger = fixture.ledger;
    std::printf("entries: %lld, total: %.1f MiB, cap: %.1f MiB\n", qint64(ledger.entries().size()),
        ledger.totalBytes() / 1048576.0, ledger.capBytes / 1048576.0);
    std::printf("build (100,000 setEntry): %.2f ms\n", buildMs);

    qsizetype chosen = 0;
    const double ordinary = medianMs(
        [&] { chosen = ledger.evictionCandidates(fixture.protectedScore, fixture.pinned).size(); });
    std::printf(
        "evictionCandidates past the cap: %.2f ms median (%lld files chosen)\n", ordinary, qint64(chosen));

    const double forced = medianMs([&] {
        chosen
            = ledger.forcedEvictionCandidates(16 * 1'048'576, fixture.protectedScore, fixture.pinned).size();
    });
    std::printf(
        "forcedEvictionCandidates(16 MiB): %.2f ms median (%lld files chosen)\n", forced, qint64(chosen));

    AssetLedger underCap = ledger;
    underCap.capBytes = ledger.totalBytes();
    const double idle = medianMs(
        [&] { chosen = underCap.evictionCandidates(fixture.protectedScore, fixture.pinned).size(); });
    std::printf("evictionCandidates at the cap: %.4f ms median\n", idle);

    // The store's cycle after each write: one new entry, then the chosen files are dropped.
    QElapsedTimer timer;
    timer.start();
    int evicted = 0;
    for (int i = 0; i < 1000; ++i) {
        ledger.setEntry(u"new%1"_s.arg(i), {4096, 1'800'000'000'000 + i});
        const QStringList names = ledger.evictionCandidates(fixture.protectedScore, fixture.pinned);
        for (const QString &name : names)
            ledger.removeEntry(name);
        evicted += int(names.size());
    }
    std::printf("1,000 writes with eviction: %.2f ms total (%d files evicted)\n", timer.nsecsElapsed() / 1e6,
        evicted);
    return 0;
}
