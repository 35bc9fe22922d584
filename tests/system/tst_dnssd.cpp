// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvahiServicePublisher.h"
#include "link/DnsSd.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 15000;

struct Recorder
{
    QList<DnsSdResult> results;
    QList<DnsSdChange> changes;
    QList<DnsSdBrowser::State> states;

    void attach(DnsSdBrowser &browser)
    {
        browser.onResultsChanged = [this](const QList<DnsSdResult> &r, const QList<DnsSdChange> &c) {
            results = r;
            changes += c;
        };
        browser.onStateChanged = [this](DnsSdBrowser::State s) { states.append(s); };
    }
    std::optional<DnsSdResult> find(const QString &name) const
    {
        const auto result
            = std::ranges::find(results, name, [](const DnsSdResult &r) { return r.service.name; });
        return result == results.end() ? std::nullopt : std::optional(*result);
    }
};

} // namespace

class DnsSdSystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aPublishedServiceAppearsResolvesAndGoes()
    {
        auto browser = makeAvahiBrowser(NetworkEndpoint::serviceType);
        Recorder recorder;
        recorder.attach(*browser);
        browser->start();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.states.contains(DnsSdBrowser::State::Ready), waitMs);

        auto publisher = std::make_unique<AvahiServicePublisher>(u"Stage Left"_s,
            NetworkEndpoint::serviceType, 7311, QList<QByteArray> {"e2e=2", "Auth=1", "flag"});
        QTRY_VERIFY_WITH_TIMEOUT(recorder.find(u"Stage Left"_s).has_value(), waitMs);
        const DnsSdResult result = *recorder.find(u"Stage Left"_s);
        QCOMPARE(result.service.domain, u"local."_s);
        QCOMPARE(result.txt.value(u"e2e"_s), QByteArray("2"));
        // TXT keys are case-insensitive, and reported in lower case.
        QCOMPARE(result.txt.value(u"auth"_s), QByteArray("1"));
        QVERIFY(result.txt.contains(u"flag"_s));
        QCOMPARE(result.txt.value(u"flag"_s), std::nullopt);
        QCOMPARE(recorder.changes.first().kind, DnsSdChange::Kind::Added);

        auto resolver = makeAvahiResolver();
        std::optional<std::optional<HostPortAddress>> resolved;
        resolver->resolve(
            result.service, [&](std::optional<HostPortAddress> address) { resolved = address; });
        QTRY_VERIFY_WITH_TIMEOUT(resolved.has_value(), waitMs);
        QCOMPARE(*resolved, (HostPortAddress {qEnvironmentVariable("PGW_TEST_ADDRESS"), 7311}));

        // A service nobody publishes does not resolve.
        resolved.reset();
        resolver->resolve({u"Nobody Here"_s, NetworkEndpoint::serviceType, u"local"_s},
            [&](std::optional<HostPortAddress> address) { resolved = address; });
        QTRY_VERIFY_WITH_TIMEOUT(resolved.has_value(), 30000);
        QVERIFY(!resolved->has_value());

        publisher.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.find(u"Stage Left"_s), waitMs);
        QCOMPARE(recorder.changes.last().kind, DnsSdChange::Kind::Removed);
    }
};

QTEST_GUILESS_MAIN(DnsSdSystemTest)
#include "tst_dnssd.moc"
