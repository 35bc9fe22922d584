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
    host.pin = pin;
    return host;
}

} // namespace

class JoinLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pinNormalisation()
    {
        // A PIN is 4 to 8 ASCII digits; spaces around it are dropped.
        const auto pin = [](const QString &text) {
            const auto normalized = PlayerAccessPIN::normalized(text);
            const QJsonObject message = PlayerAccessPIN::adding({{"type"_L1, "hi"_L1}}, text);
            // The message carries exactly the PIN kept.
            const bool carried = message.contains("pin"_L1) == normalized.has_value()
                && message.value("pin"_L1).toString() == normalized.value_or(QString());
            return carried ? normalized.value_or(u"none"_s) : u"carried otherwise"_s;
        };
        QCOMPARE(pin(u"4821"_s), u"4821"_s);
        QCOMPARE(pin(u"  4821 \n"_s), u"4821"_s);
        QCOMPARE(pin(u"12345678"_s), u"12345678"_s);
        for (const QString &text : {u"482"_s, u"123456789"_s, u"48a1"_s, u"48 21"_s,
                 u"\u0664\u0668\u0662\u0661"_s, u"\uff14\uff18\uff12\uff11"_s})
            QCOMPARE(pin(text), u"none"_s);
    }

    void links_data()
    {
        // A query alone is one of pagewright-player://join. Expected: "id|recovery|PIN|key", empty when the
        // link is refused.
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("expected");
        QTest::newRow("host and port")
            << u"host=10.0.0.2&port=7777&pin=%204821%20&k=mfrggzdfmztwq2lknnwg23tpob"_s
            << u"link:10.0.0.2:7777||4821|abcdefghijklmnop"_s;
        QTest::newRow("service, in capitals")
            << u"PAGEWRIGHT-PLAYER-MAC://JOIN?service=%20Stage%20Left%20"_s << u"Stage Left|Stage Left||"_s;
        QTest::newRow("host and port keep the service")
            << u"service=Pit&host=pit.local&port=9000&host=other&k=short"_s << u"link:pit.local:9000|Pit||"_s;
        QTest::newRow("first item of a name counts")
            << u"service=One&pin=1234&service=Two&pin=5678"_s << u"One|One|1234|"_s;
        QTest::newRow("lowest port") << u"host=h&port=1"_s << u"link:h:1|||"_s;
        QTest::newRow("highest port") << u"host=h&port=65535"_s << u"link:h:65535|||"_s;
        for (const QString &port : {u"0"_s, u"65536"_s, u"80a"_s, u"+80"_s, QString()}) {
            QTest::addRow("port '%s'", qPrintable(port)) << u"host=h&port="_s + port << QString();
            QTest::addRow("port '%s' beside a service", qPrintable(port))
                << u"service=S&host=h&port="_s + port << u"S|S||"_s;
        }
        for (const QString &refused :
            {u"https://join?host=h&port=1"_s, u"pagewright-player://open?host=h&port=1"_s, u"host=&port=1"_s,
                u"service=%20%20"_s, QString()})
            QTest::addRow("refused: %s", qPrintable(refused)) << refused << QString();
    }

    void links()
    {
        QFETCH(QString, link);
        QFETCH(QString, expected);
        const auto host = PlayerJoinLink::discoveredHost(
            QUrl(link.contains(u"://"_s) ? link : u"pagewright-player://join?"_s + link));
        QCOMPARE(host.has_value(), !expected.isEmpty());
        if (!host)
            return;
        QCOMPARE(QStringList(
                     {host->id, host->recoveryServiceName.value_or(QString()), host->pin.value_or(QString()),
                         QString::fromLatin1(host->key.value_or(QByteArray()))})
                     .join(u'|'),
            expected);
        const QString id = host->id;
        const bool linked = id.startsWith(u"link:"_s);
        QCOMPARE(host->name, linked ? id.section(u':', 1, 1) : id);
        QCOMPARE(host->endpoint,
            linked ? NetworkEndpoint::hostPort(host->name, id.section(u':', 2).toUShort())
                   : NetworkEndpoint::service(id));
        QCOMPARE(host->supportsEncryption, host->key.has_value());
        QVERIFY(!host->requiresPIN);
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
    }

    void browsedHosts()
    {
        // A service asks for a PIN with auth=1 and takes sealed dials with e2e=2.
        const auto flags = [](const Txt &txt) {
            const DiscoveredHost host = BrowsedHosts::host(result(u"Pit"_s, txt));
            const bool plain = host.id == u"Pit"_s && host.name == u"Pit"_s
                && host.recoveryServiceName == u"Pit"_s && host.endpoint == NetworkEndpoint::service(u"Pit"_s)
                && !host.pin && !host.key;
            return QString::number(plain) + QString::number(host.supportsEncryption)
                + QString::number(host.requiresPIN);
        };
        QCOMPARE(flags({}), u"100"_s);
        QCOMPARE(flags({{u"e2e"_s, "2"}, {u"auth"_s, "1"}}), u"111"_s);
        QCOMPARE(flags({{u"e2e"_s, "1"}}), u"100"_s);
        QCOMPARE(flags({{u"e2e"_s, std::nullopt}, {u"auth"_s, std::nullopt}}), u"100"_s);
        QCOMPARE(flags({{u"auth"_s, "true"}, {u"e2e"_s, "2 "}}), u"100"_s);

        // Sorted by Unicode scalar values of the composed names; equal names keep their browse order.
        // "Pit b" is the service Pit in the domain b.example.
        const auto sorted = [](const QStringList &browsed) {
            QList<DnsSdResult> results;
            for (const QString &entry : browsed)
                results << result(entry.section(u' ', 0, 0), {}, entry.section(u' ', 1) + u".example."_s);
            QStringList names;
            for (const DiscoveredHost &host : BrowsedHosts::sorted(results))
                names << (host.name + u' ' + host.endpoint.asService()->domain.chopped(9)).trimmed();
            return names.join(u',');
        };
        QCOMPARE(sorted({u"b"_s, u"a"_s, u"A"_s}), u"A,a,b"_s);
        QCOMPARE(sorted({u"e\u0301"_s, u"f"_s, u"e"_s}), u"e,f,e\u0301"_s); // composed, é comes after f
        // By UTF-16 code units the surrogate pair of U+1F3B5 would come before U+FF21.
        QCOMPARE(sorted({u"🎵"_s, u"Ａ"_s}), u"Ａ,🎵"_s);
        QCOMPARE(sorted({u"Pit b"_s, u"A"_s, u"Pit a"_s}), u"A,Pit b,Pit a"_s);
    }
};

QTEST_GUILESS_MAIN(JoinLinkTest)
#include "tst_joinlink.moc"
