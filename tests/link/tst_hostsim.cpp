// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"
#include "SimShow.h"
#include "link/PlayerCrypto.h"
#include "support/Json.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

class HostSimTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void joinLinkSecretDecodesToTheSameBytes()
    {
        QFile file(QStringLiteral(PGW_SHARED_DIR "/vectors/secure-channel.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject link = json::objectOr(*json::parseObject(file.readAll()), "link"_L1);
        const QByteArray secret = QByteArray::fromHex(link.value("secret_hex"_L1).toString().toLatin1());
        // The vector's text sets one of the two bits a decoder drops; the canonical text leaves them clear.
        const QString text = base32(secret);
        QCOMPARE(text, u"mfrggzdfmztwq2lknnwg23tpoa"_s);
        QCOMPARE(PlayerCrypto::sessionSecret(text),
            PlayerCrypto::sessionSecret(link.value("k_text"_L1).toString()));
        for (int size : {1, 5, 7, 16, 31}) {
            const QByteArray bytes(size, char(0xA5));
            QCOMPARE(*PlayerCrypto::dataFromBase32(base32(bytes)), bytes);
        }
    }

    void joinLinkCarriesPINAndSecret()
    {
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        options.linkSecret = QByteArray("abcdefghijklmnop");
        HostSimulator host(SimShow::generate(1, 1), options);
        QVERIFY(host.listen());
        QCOMPARE(host.joinLink(),
            u"pagewright-player://join?host=127.0.0.1&port=%1&pin=4821&k=mfrggzdfmztwq2lknnwg23tpoa"_s.arg(
                host.port()));
    }

    void sampleShowServesPagesAndRenditions()
    {
        const auto show = SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
        QVERIFY(show);
        QCOMPARE(show->itemCount(), 3);
        QCOMPARE(show->pageCount(1), 4);
        const auto marks = show->asset(101, 2, u"marks.png"_s);
        QVERIFY(marks);
        QCOMPARE(marks->version, u"ch-m2-1"_s);
        QVERIFY(marks->bytes.startsWith("\x89PNG"));
        QVERIFY(!show->asset(101, 1, u"marks.png"_s));
        QVERIFY(show->asset(112, 3, u"base.png"_s));
        QCOMPARE(show->rendition(u"harbour-reel.clarinet"_s)->value("scoreToken"_L1).toInt(), 122);
        QVERIFY(!show->rendition(u"nope"_s));
        QVERIFY(!SimShow::load(u"/nonexistent"_s));
    }

    void generatedShowDrawsGreyPages()
    {
        const SimShow show = SimShow::generate(2, 3, QSize(400, 520));
        QCOMPARE(show.itemCount(), 2);
        QCOMPARE(show.pageCount(1), 3);
        const auto page = show.asset(1002, 2, u"base.png"_s);
        QVERIFY(page);
        QCOMPARE(page->version, u"g1-b2-1"_s);
        QBuffer buffer;
        buffer.setData(page->bytes);
        QImageReader reader(&buffer, "png");
        const QImage image = reader.read();
        QCOMPARE(image.size(), QSize(400, 520));
        QVERIFY(image.isGrayscale());
        QVERIFY(image.pixelColor(0, 0) == Qt::white);
        QVERIFY(!show.asset(1002, 3, u"base.png"_s));
        const QJsonObject state = json::objectOr(show.manifest(), "state"_L1);
        QCOMPARE(state.value("scoreKey"_L1).toString(), u"generated-1"_s);
    }
};

QTEST_GUILESS_MAIN(HostSimTest)
#include "tst_hostsim.moc"
