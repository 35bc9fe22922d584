// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BrowsedHosts.h"
#include "link/PlayerAccessPIN.h"
#include "link/PlayerJoinLink.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Txt = QMap<QString, std::optional<QByteArray>>;

DnsSdResult result(const QString &name, const Txt &txt = {}, const QString &domain = u"local."_s)
{
    return {{name, NetworkEndpoint::serviceType, domain}, txt};
}

DiscoveredHost hostWithId(const QString &id, const std::optional<QString> &pin = std::nullopt)
{
    DiscoveredHost host;
    host.id = id;
    host.name = id;
    host.pin = pin;
    return host;
}

} // namespace

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
    void linkSecrets_data()
    {
        QTest::addColumn<QString>("k");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("26 characters") << u"mfrggzdfmztwq2lknnwg23tpob"_s << QByteArray("abcdefghijklmnop");
        QTest::newRow("26 in capitals") << u"MFRGGZDFMZTWQ2LKNNWG23TPOB"_s << QByteArray("abcdefghijklmnop");
        QTest::newRow("26 with spaces around")
            << u" mfrggzdfmztwq2lknnwg23tpob "_s << QByteArray("abcdefghijklmnop");
        QTest::newRow("25 characters") << u"mfrggzdfmztwq2lknnwg23tpo"_s << QByteArray();
        QTest::newRow("28 characters") << u"mfrggzdfmztwq2lknnwg23tpobqa"_s << QByteArray();
        QTest::newRow("padding") << u"mfrggzdfmztwq2lknnwg23tpob======"_s << QByteArray();
        QTest::newRow("outside the alphabet") << u"mfrggzdfmztwq2lknnwg23tpo1"_s << QByteArray();
    }

    void linkSecrets()
    {
        QFETCH(QString, k);
        QFETCH(QByteArray, key);
        const auto host = PlayerJoinLink::discoveredHost(QUrl(
            u"pagewright-player://join?service=Pit&k="_s + QString::fromLatin1(QUrl::toPercentEncoding(k))));
        QVERIFY(host);
        QCOMPARE(host->key.value_or(QByteArray()), key);
        QCOMPARE(host->supportsEncryption, !key.isEmpty());
    }

    void firstItemOfANameCounts()
    {
        const auto host = PlayerJoinLink::discoveredHost(
            QUrl(u"pagewright-player://join?service=One&pin=1234&service=Two&pin=5678"_s));
        QVERIFY(host);
        QCOMPARE(host->id, u"One"_s);
        QCOMPARE(host->pin, u"1234"_s);
    }

    void mergingKeepsLinkedHostsFirst()
    {
        const QList<DiscoveredHost> linked {hostWithId(u"X"_s, u"1234"_s), hostWithId(u"link:h:1"_s)};
        const QList<DiscoveredHost> browsed {hostWithId(u"X"_s), hostWithId(u"Y"_s), hostWithId(u"Y"_s)};
        const QList<DiscoveredHost> merged = PlayerJoinLink::mergedHosts(linked, browsed);
        QStringList ids;
        for (const DiscoveredHost &host : merged)
            ids << host.id;
        QCOMPARE(ids, (QStringList {u"X"_s, u"link:h:1"_s, u"Y"_s}));
        QCOMPARE(merged.first().pin, u"1234"_s);
        QCOMPARE(PlayerJoinLink::mergedHosts({}, browsed).size(), 2);
    }

    void browsedFlags_data()
    {
        QTest::addColumn<Txt>("txt");
        QTest::addColumn<bool>("encryption");
        QTest::addColumn<bool>("pin");
        QTest::newRow("none") << Txt {} << false << false;
        QTest::newRow("both") << Txt {{u"e2e"_s, "2"}, {u"auth"_s, "1"}} << true << true;
        QTest::newRow("older encryption") << Txt {{u"e2e"_s, "1"}} << false << false;
        QTest::newRow("keys without values")
            << Txt {{u"e2e"_s, std::nullopt}, {u"auth"_s, std::nullopt}} << false << false;
        QTest::newRow("auth other than 1") << Txt {{u"auth"_s, "true"}, {u"e2e"_s, "2 "}} << false << false;
    }

    void browsedFlags()
    {
        QFETCH(Txt, txt);
        QFETCH(bool, encryption);
        QFETCH(bool, pin);
        const DiscoveredHost host = BrowsedHosts::host(result(u"Pit"_s, txt));
        QCOMPARE(host.id, u"Pit"_s);
        QCOMPARE(host.name, u"Pit"_s);
        QCOMPARE(host.recoveryServiceName, u"Pit"_s);
        QCOMPARE(host.endpoint, NetworkEndpoint::service(u"Pit"_s));
        QVERIFY(!host.pin && !host.key);
        QCOMPARE(host.supportsEncryption, encryption);
        QCOMPARE(host.requiresPIN, pin);
    }

    void browsedSorting_data()
    {
        QTest::addColumn<QStringList>("browsed");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("case-sensitive")
            << QStringList {u"b"_s, u"a"_s, u"A"_s} << QStringList {u"A"_s, u"a"_s, u"b"_s};
        // A decomposed é composes to U+00E9, which comes after "f".
        QTest::newRow("canonical composition")
            << QStringList {u"é"_s, u"f"_s, u"e"_s} << QStringList {u"e"_s, u"f"_s, u"é"_s};
        // By UTF-16 code units the surrogate pair of U+1F3B5 would come before U+FF21.
        QTest::newRow("scalars beyond the basic plane")
            << QStringList {u"🎵"_s, u"Ａ"_s} << QStringList {u"Ａ"_s, u"🎵"_s};
    }

    void browsedSorting()
    {
        QFETCH(QStringList, browsed);
        QFETCH(QStringList, listed);
        QList<DnsSdResult> results;
        for (const QString &name : browsed)
            results << result(name);
        QStringList names;
        for (const DiscoveredHost &host : BrowsedHosts::sorted(results))
            names << host.name;
        QCOMPARE(names, listed);
    }

    void equalNamesKeepTheirBrowseOrder()
    {
        const QList<DnsSdResult> results {
            result(u"Pit"_s, {}, u"b.example."_s), result(u"A"_s), result(u"Pit"_s, {}, u"a.example."_s)};
        const QList<DiscoveredHost> hosts = BrowsedHosts::sorted(results);
        QCOMPARE(hosts.size(), 3);
        QCOMPARE(hosts[1].endpoint.asService()->domain, u"b.example."_s);
        QCOMPARE(hosts[2].endpoint.asService()->domain, u"a.example."_s);
    }
};

QTEST_GUILESS_MAIN(JoinLinkTest)
#include "tst_joinlink.moc"
