// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"
#include "support/Json.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

SimShow sampleShow()
{
    return *SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
}

struct ProbeRun
{
    int exitCode = -1;
    QList<QJsonObject> lines;

    QList<QJsonObject> events(QLatin1StringView name) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &line : lines) {
            if (line.value("event"_L1).toString() == name)
                found << line;
        }
        return found;
    }
    QStringList summary() const
    {
        QStringList out;
        for (const QJsonObject &line : lines) {
            const QString event = line.value("event"_L1).toString();
            const QJsonValue value
                = line.contains("state"_L1) ? line.value("state"_L1) : line.value("value"_L1);
            out << (value.isUndefined() ? event : event + u':' + value.toVariant().toString());
        }
        return out;
    }
};

// Runs pgw-probe while this thread's event loop keeps the in-process Host answering.
ProbeRun runProbe(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(PGW_PROBE_PATH), arguments);
    ProbeRun run;
    if (!process.waitForStarted())
        return run;
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 30'000)
        QTest::qWait(5);
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (auto object = json::parseObject(line))
            run.lines << *object;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

QStringList at(const HostSimulator &host)
{
    return {u"--host"_s, u"127.0.0.1"_s, u"--port"_s, QString::number(host.port())};
}

} // namespace

class ProbeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsAPlainSessionAndItsAnswers()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        const ProbeRun run = runProbe(at(host)
            + QStringList {
                u"--name"_s, u"Stand 4"_s, u"--manifest"_s, u"--asset"_s, u"101:0:base.png:ch-b0-1"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.summary(),
            (QStringList {u"state:connecting"_s, u"state:connected"_s, u"authentication:accepted"_s,
                u"encryption:false"_s, u"message"_s, u"manifest"_s, u"asset"_s}));
        QCOMPARE(run.events("message"_L1).first().value("message"_L1).toObject().value("type"_L1).toString(),
            u"hello"_s);
        QCOMPARE(run.events("manifest"_L1).first().value("manifest"_L1).toObject(), host.show().manifest());

        QFile page(QStringLiteral(PGW_SHARED_DIR "/sample-show/pages/101/0/base.png"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray bytes = page.readAll();
        const QJsonObject asset = run.events("asset"_L1).first();
        QCOMPARE(asset,
            (QJsonObject {{"event"_L1, "asset"_L1}, {"scoreToken"_L1, 101}, {"pageIndex"_L1, 0},
                {"kind"_L1, "base.png"_L1}, {"version"_L1, "ch-b0-1"_L1}, {"status"_L1, 200},
                {"fingerprint"_L1, "ch-b0-1"_L1}, {"bytes"_L1, bytes.size()},
                {"sha256"_L1,
                    QString::fromLatin1(
                        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}}));
        QCOMPARE(host.recorded(u"hi"_s).first().value("name"_L1).toString(), u"Stand 4"_s);
    }

    void joinsThroughALinkWithPINAndSecret()
    {
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        options.linkSecret = QByteArray("0123456789abcdef");
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        const ProbeRun run
            = runProbe({u"--link"_s, host.joinLink(), u"--asset"_s, u"102:3:marks.png:re-m3-1"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events("encryption"_L1).first().value("value"_L1), QJsonValue(true));
        QCOMPARE(run.events("asset"_L1).first().value("status"_L1).toInt(), 200);
        QVERIFY(host.recorded().first().sealed);
    }

    void stopsWhenTheHostWantsAPINThatWasNotGiven()
    {
        HostSimulator::Options options;
        options.pin = u"4821"_s;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        const ProbeRun run = runProbe(at(host) + QStringList {u"--manifest"_s});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.summary().contains(u"authentication:required"_s));
        QCOMPARE(run.lines.last().value("event"_L1).toString(), u"error"_s);
        QVERIFY(run.events("manifest"_L1).isEmpty());
    }

    void unansweredItemsMakeItFail()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        const ProbeRun run = runProbe(at(host) + QStringList {u"--asset"_s, u"101:42:base.png:none"_s});
        QCOMPARE(run.exitCode, 1);
        const QJsonObject asset = run.events("asset"_L1).first();
        QCOMPARE(asset.value("status"_L1).toInt(), 404);
        QCOMPARE(asset.value("fingerprint"_L1), QJsonValue(QJsonValue::Null));
        QCOMPARE(asset.value("bytes"_L1).toInt(), 0);
    }

    void staysToReportHostMessages()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        connect(&host, &HostSimulator::playerGreeted, &host, [&host] { host.navigate(3, 0); });
        const ProbeRun run = runProbe(at(host) + QStringList {u"--for"_s, u"0.5"_s});
        QCOMPARE(run.exitCode, 0);
        const auto messages = run.events("message"_L1);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.last().value("message"_L1).toObject().value("pageIndex"_L1).toInt(), 3);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("host without port") << QStringList {u"--host"_s, u"h"_s};
        QTest::newRow("port zero") << QStringList {u"--host"_s, u"h"_s, u"--port"_s, u"0"_s};
        QTest::newRow("short asset") << QStringList {
            u"--host"_s, u"h"_s, u"--port"_s, u"1"_s, u"--asset"_s, u"1:2"_s};
        QTest::newRow("asset page not a number")
            << QStringList {u"--host"_s, u"h"_s, u"--port"_s, u"1"_s, u"--asset"_s, u"1:x:base.png:v"_s};
        QTest::newRow("not a join link") << QStringList {u"--link"_s, u"https://example.org/join"_s};
        QTest::newRow("link and host")
            << QStringList {u"--link"_s, u"pagewright-player://join?host=h&port=2"_s, u"--host"_s, u"h"_s};
        QTest::newRow("negative timeout")
            << QStringList {u"--host"_s, u"h"_s, u"--port"_s, u"1"_s, u"--timeout"_s, u"-1"_s};
        QTest::newRow("three-digit PIN")
            << QStringList {u"--host"_s, u"h"_s, u"--port"_s, u"1"_s, u"--pin"_s, u"123"_s};
        QTest::newRow("unknown option")
            << QStringList {u"--host"_s, u"h"_s, u"--port"_s, u"1"_s, u"--verbose"_s};
        QTest::newRow("missing value") << QStringList {u"--host"_s};
        QTest::newRow("blank service") << QStringList {u"--service"_s, u"  "_s};
        QTest::newRow("service and host")
            << QStringList {u"--service"_s, u"Pit"_s, u"--host"_s, u"h"_s, u"--port"_s, u"1"_s};
        QTest::newRow("browse and link")
            << QStringList {u"--browse"_s, u"1"_s, u"--link"_s, u"pagewright-player://join?service=Pit"_s};
        QTest::newRow("negative browse") << QStringList {u"--browse"_s, u"-1"_s};
    }

    void badArguments()
    {
        QFETCH(QStringList, arguments);
        const ProbeRun run = runProbe(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.lines.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ProbeTest)
#include "tst_probe.moc"
