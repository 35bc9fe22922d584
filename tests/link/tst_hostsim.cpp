// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"
#include "SimShow.h"

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
    }

    void generatedShowsServeGreyPagesOnly()
    {
        const SimShow show = SimShow::generate(2, 3, QSize(400, 520));
        const QImage page = QImage::fromData(show.asset(1002, 2, u"base.png"_s)->bytes, "png");
        QCOMPARE(page.size(), QSize(400, 520));
        QVERIFY(page.isGrayscale() && page.pixelColor(0, 0) == Qt::white);
        QVERIFY(!show.asset(1002, 3, u"base.png"_s) && !show.rendition(u"nope"_s));
        QVERIFY(!SimShow::load(u"/nonexistent"_s));
    }
};

QTEST_GUILESS_MAIN(HostSimTest)
#include "tst_hostsim.moc"
