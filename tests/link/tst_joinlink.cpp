#include "link/PlayerAccessPIN.h"
#include "link/PlayerJoinLink.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

class JoinLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pinNormalisation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pin");
        QTest::newRow("four digits") << u"4821"_s << u"4821"_s;
        QTest::newRow("spaces around") << u"  4821 \n"_s << u"4821"_s;
        QTest::newRow("eight digits") << u"12345678"_s << u"12345678"_s;
        QTest::newRow("three digits") << u"482"_s << QString();
        QTest::newRow("nine digits") << u"123456789"_s << QString();
        QTest::newRow("letter") << u"48a1"_s << QString();
        QTest::newRow("inner space") << u"48 21"_s << QString();
        QTest::newRow("arabic-indic digits") << u"\u0664\u0668\u0662\u0661"_s << QString();
        QTest::newRow("fullwidth digits") << u"\uff14\uff18\uff12\uff11"_s << QString();
    }

    void pinNormalisation()
    {
        QFETCH(QString, text);
        QFETCH(QString, pin);
        QCOMPARE(PlayerAccessPIN::normalized(text).value_or(QString()), pin);
        const QJsonObject message = PlayerAccessPIN::adding({{"type"_L1, "hi"_L1}}, text);
        QCOMPARE(message.contains("pin"_L1), !pin.isEmpty());
        if (!pin.isEmpty())
            QCOMPARE(message.value("pin"_L1).toString(), pin);
    }

    void hostAndPortLink()
    {
        const auto host = PlayerJoinLink::discoveredHost(QUrl(
            u"pagewright-player://join?host=10.0.0.2&port=7777&pin=%204821%20&k=mfrggzdfmztwq2lknnwg23tpob"_s));
        QVERIFY(host);
        QCOMPARE(host->id, u"link:10.0.0.2:7777"_s);
        QCOMPARE(host->name, u"10.0.0.2"_s);
        QCOMPARE(host->endpoint, NetworkEndpoint::hostPort(u"10.0.0.2"_s, 7777));
        QVERIFY(!host->recoveryServiceName);
        QCOMPARE(host->pin, u"4821"_s);
        QCOMPARE(host->key, QByteArray("abcdefghijklmnop"));
        QVERIFY(host->supportsEncryption);
        QVERIFY(!host->requiresPIN);
    }

    void serviceLinkInCapitals()
    {
        const auto host = PlayerJoinLink::discoveredHost(
            QUrl(u"PAGEWRIGHT-PLAYER-MAC://JOIN?service=%20Stage%20Left%20"_s));
        QVERIFY(host);
        QCOMPARE(host->id, u"Stage Left"_s);
        QCOMPARE(host->name, u"Stage Left"_s);
        QCOMPARE(host->recoveryServiceName, u"Stage Left"_s);
        QCOMPARE(host->endpoint.serviceName(), u"Stage Left"_s);
        QVERIFY(!host->key && !host->pin && !host->supportsEncryption);
    }

    void hostPortWithServiceKeepsTheServiceForRecovery()
    {
        const auto host = PlayerJoinLink::discoveredHost(
            QUrl(u"pagewright-player://join?service=Pit&host=pit.local&port=9000&host=other&k=short"_s));
        QVERIFY(host);
        QCOMPARE(host->id, u"link:pit.local:9000"_s);
        QCOMPARE(host->recoveryServiceName, u"Pit"_s);
        QVERIFY(!host->key);
    }

    void badPorts_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("zero") << u"0"_s;
        QTest::newRow("too large") << u"65536"_s;
        QTest::newRow("non-digit") << u"80a"_s;
        QTest::newRow("signed") << u"+80"_s;
        QTest::newRow("empty") << QString();
    }

    void badPorts()
    {
        QFETCH(QString, port);
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(u"pagewright-player://join?host=h&port="_s + port)));
        const auto fallback = PlayerJoinLink::discoveredHost(
            QUrl(u"pagewright-player://join?service=S&host=h&port="_s + port));
        QVERIFY(fallback);
        QCOMPARE(fallback->id, u"S"_s);
    }

    void rejectedLinks_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("other scheme") << u"https://join?host=h&port=1"_s;
        QTest::newRow("other host") << u"pagewright-player://open?host=h&port=1"_s;
        QTest::newRow("empty host") << u"pagewright-player://join?host=&port=1"_s;
        QTest::newRow("blank service") << u"pagewright-player://join?service=%20%20"_s;
        QTest::newRow("nothing") << u"pagewright-player://join"_s;
    }

    void rejectedLinks()
    {
        QFETCH(QString, url);
        QVERIFY(!PlayerJoinLink::discoveredHost(QUrl(url)));
    }
};

QTEST_GUILESS_MAIN(JoinLinkTest)
#include "tst_joinlink.moc"
