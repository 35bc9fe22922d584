// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostChaos.h"
#include "LivePlayer.h"
#include "assets/AssetCacheName.h"

#include <QCryptographicHash>
#include <QTest>

#include <unistd.h>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int timeout = 20'000;
// Each fault lasts a tenth of what the simulator's own schedule gives, so that a Host away or
// silent is back within the first rungs of the Player's reconnect ladder.
constexpr double timeScale = 0.1;
// Above the sanitizers' own slow growth (about 15 MiB over 1,000 faults), below what a leak of a page
// image (30–135 KiB) per fault adds over 1,000; CI's 100 faults catch only leaks past 300 KiB a fault.
constexpr qint64 residentGrowthBound = 24 * 1024 * 1024;

qint64 residentBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// Every cache file name of the Host's set list as it stands, with the SHA-256 of what it serves.
void noteServed(const HostSimulator &host, QHash<QString, QByteArray> &served)
{
    for (int item = 0; item < host.show().itemCount(); ++item) {
        const QJsonObject score = host.show().item(item);
        const QString key = score.value("scoreKey"_L1).toString();
        const qint64 token = score.value("scoreToken"_L1).toInteger();
        for (const QJsonValue &page : score.value("pages"_L1).toArray()) {
            const qint64 index = page["index"_L1].toInteger();
            for (const QString &kind : {u"base.png"_s, u"marks.png"_s}) {
                if (const auto asset = host.show().asset(token, index, kind))
                    served.insert(
                        AssetCacheName::fileName(key, index, kind, asset->version), sha256(asset->bytes));
            }
        }
    }
}

// Whether the Player answers the Host: pings go out until a pong comes back, so that a Player
// that has not yet noticed a dropped connection does not pass for one that is back.
bool answersTheHost(HostSimulator &host)
{
    if (!host.recorded(u"pong"_s).isEmpty())
        return true;
    host.ping();
    return false;
}

// On the Host's page, with the Host's current image of it.
bool showsTheHostsPage(LivePlayer &player, const HostSimulator &host)
{
    const ShowModel &model = player.model();
    const qint64 token = host.show().item(host.scoreIndex()).value("scoreToken"_L1).toInteger();
    const auto base = host.show().asset(token, host.pageIndex(), u"base.png"_s);
    return model.phase() == ShowPhase::live() && model.displayedScoreToken() == token
        && model.displayedPage() == host.pageIndex() && base && model.basePNG() == base->bytes
        && model.displayedBaseIsExact();
}

// The first cached file that is not byte for byte a file the Host served under its name.
QString firstBadFile(LivePlayer &player, const QHash<QString, QByteArray> &served)
{
    const QDir directory(player.ownDirectory.filePath(u"Assets"_s));
    const AssetLedger ledger = player->assets().ledgerSnapshot();
    for (auto entry = ledger.entries().cbegin(); entry != ledger.entries().cend(); ++entry) {
        QFile file(directory.filePath(entry.key()));
        if (!file.open(QIODevice::ReadOnly) || served.value(entry.key()) != sha256(file.readAll()))
            return entry.key();
    }
    return {};
}

} // namespace

// The Player's real connection, model and asset store against a Host that fails in every way the
// chaos engine knows, one fault after another.
class ChaosSoakTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void thePlayerComesBackFromEveryFault()
    {
        const quint64 seed = qEnvironmentVariable("PGW_CHAOS_SEED", u"1"_s).toULongLong();
        const int faults = qEnvironmentVariable("PGW_CHAOS_FAULTS", u"100"_s).toInt();
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        options.chunkSize = 16 * 1024;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        HostChaos chaos(host, seed, timeScale);
        LivePlayer player;
        player.join(host, options.pin);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), timeout);

        QHash<QString, QByteArray> served;
        noteServed(host, served);
        const int warmUp = faults / 5;
        qint64 warmResident = 0;
        for (int i = 0; i < faults; ++i) {
            if (i == warmUp)
                warmResident = residentBytes();
            const QByteArray fault = u"seed %1, %2"_s.arg(seed).arg(chaos.inject().describe()).toUtf8();
            qInfo("%s", fault.constData());
            noteServed(host, served);
            QTRY_VERIFY2_WITH_TIMEOUT(!chaos.isActive(), fault.constData(), timeout);
            host.clearRecorded();
            QTRY_VERIFY2_WITH_TIMEOUT(
                answersTheHost(host) && showsTheHostsPage(player, host), fault.constData(), timeout);
            const QString bad = firstBadFile(player, served);
            QVERIFY2(
                bad.isEmpty(), (fault + ": cached file " + bad.toUtf8() + " is not the Host's").constData());
        }
        const qint64 growth = residentBytes() - warmResident;
        QVERIFY2(growth < residentGrowthBound,
            qPrintable(u"resident memory grew by %1 MiB after the warm-up"_s.arg(growth >> 20)));
    }
};

QTEST_GUILESS_MAIN(ChaosSoakTest)
#include "tst_chaossoak.moc"
