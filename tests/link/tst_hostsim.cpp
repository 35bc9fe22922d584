// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"
#include "SimShow.h"
#include "link/PlayerCrypto.h"
#include "support/Json.h"

#include <QImage>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

class HostSimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void joinLinkCarriesThePINAndTheCanonicalSecret()
    {
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        options.linkSecret = QByteArray("abcdefghijklmnop");
        HostSimulator host(SimShow::generate(1, 1), options);
        QVERIFY(host.listen());
        // The canonical text leaves clear the two bits a decoder drops.
        QCOMPARE(host.joinLink(),
            u"pagewright-player://join?host=127.0.0.1&port=%1&pin=4821&k=mfrggzdfmztwq2lknnwg23tpoa"_s.arg(
                host.port()));
        QCOMPARE(PlayerCrypto::sessionSecret(u"mfrggzdfmztwq2lknnwg23tpoa"_s), options.linkSecret);
        for (int size : {1, 5, 7, 16, 31}) {
            const QByteArray bytes(size, char(0xA5));
            QCOMPARE(PlayerCrypto::dataFromBase32(base32(bytes)), bytes);
        }
    }

    void showsServePagesAndRenditions()
    {
        const auto sample = SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
        QVERIFY(sample && !SimShow::load(u"/nonexistent"_s));
        QCOMPARE(sample->itemCount(), 3);
        QCOMPARE(sample->pageCount(1), 4);
        QCOMPARE(sample->asset(101, 2, u"marks.png"_s)->version, u"ch-m2-1"_s);
        QVERIFY(sample->asset(101, 2, u"marks.png"_s)->bytes.startsWith("\x89PNG"));
        QVERIFY(!sample->asset(101, 1, u"marks.png"_s) && sample->asset(112, 3, u"base.png"_s));
        QCOMPARE(sample->rendition(u"harbour-reel.clarinet"_s)->value("scoreToken"_L1).toInt(), 122);
        QVERIFY(!sample->rendition(u"nope"_s));

        const SimShow generated = SimShow::generate(2, 3, QSize(400, 520));
        QCOMPARE(generated.itemCount(), 2);
        QCOMPARE(generated.pageCount(1), 3);
        QCOMPARE(generated.asset(1002, 2, u"base.png"_s)->version, u"g1-b2-1"_s);
        QVERIFY(!generated.asset(1002, 3, u"base.png"_s));
        const QImage image = QImage::fromData(generated.asset(1002, 2, u"base.png"_s)->bytes, "png");
        QCOMPARE(image.size(), QSize(400, 520));
        QVERIFY(image.isGrayscale() && image.pixelColor(0, 0) == Qt::white);
        QCOMPARE(json::objectOr(generated.manifest(), "state"_L1).value("scoreKey"_L1).toString(),
            u"generated-1"_s);
    }
};

QTEST_GUILESS_MAIN(HostSimTest)
#include "tst_hostsim.moc"
