// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleShow.h"
#include "support/Json.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

QStringList args(const QString &text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

struct ProbeRun
{
    int exitCode = -1;
    QList<QJsonObject> lines;

    QJsonObject first(QLatin1StringView event) const
    {
        const auto found = std::find_if(lines.cbegin(), lines.cend(),
            [&](const QJsonObject &line) { return line.value("event"_L1).toString() == event; });
        return found == lines.cend() ? QJsonObject() : *found;
    }
};

// Runs pgw-probe with `arguments`, after the address of `host` when there is one, while this thread's
// event loop keeps the in-process Host answering.
ProbeRun runProbe(QStringList arguments, const HostSimulator *host = nullptr)
{
    if (host)
        arguments = args(u"--host 127.0.0.1 --port "_s + QString::number(host->port())) + arguments;
    QProcess process;
    process.start(QStringLiteral(PGW_PROBE_PATH), arguments);
    ProbeRun run;
    if (!process.waitForStarted()
        || !QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30'000))
        return run;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (auto object = json::parseObject(line))
            run.lines << *object;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

} // namespace

class ProbeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsAPlainSessionAndItsAnswers()
    {
        HostSimulator host(test::sampleShow(), {});
        QVERIFY(host.listen());
        const ProbeRun run
            = runProbe(args(u"--manifest --asset 101:0:base.png:ch-b0-1 --name"_s) << u"Stand 4"_s, &host);
        QCOMPARE(run.exitCode, 0);
        QStringList summary;
        for (const QJsonObject &line : run.lines) {
            const QJsonValue value
                = line.contains("state"_L1) ? line.value("state"_L1) : line.value("value"_L1);
            summary << line.value("event"_L1).toString()
                    + (value.isUndefined() ? QString() : u':' + value.toVariant().toString());
        }
        QCOMPARE(summary,
            (QStringList {u"state:connecting"_s, u"state:connected"_s, u"authentication:accepted"_s,
                u"encryption:false"_s, u"message"_s, u"manifest"_s, u"asset"_s}));
        QCOMPARE(run.first("manifest"_L1).value("manifest"_L1).toObject(), host.show().manifest());
        const QByteArray bytes = test::samplePage(u"101/0/base.png"_s);
        QCOMPARE(run.first("asset"_L1),
            (QJsonObject {{"event"_L1, "asset"_L1}, {"scoreToken"_L1, 101}, {"pageIndex"_L1, 0},
                {"kind"_L1, "base.png"_L1}, {"version"_L1, "ch-b0-1"_L1}, {"status"_L1, 200},
                {"fingerprint"_L1, "ch-b0-1"_L1}, {"bytes"_L1, bytes.size()},
                {"sha256"_L1,
                    QString::fromLatin1(
                        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}}));
        QCOMPARE(host.recorded(u"hi"_s).first().value("name"_L1).toString(), u"Stand 4"_s);

        // An asset the Host cannot serve makes it fail.
        const ProbeRun missing = runProbe(args(u"--asset 101:42:base.png:none"_s), &host);
        QCOMPARE(missing.exitCode, 1);
        QCOMPARE(missing.first("asset"_L1).value("status"_L1).toInt(), 404);
    }

    void badArgumentsStopItBeforeItDials()
    {
        for (const QStringList &arguments :
            {QStringList(), args(u"--host h"_s), args(u"--host h --port 0"_s),
                args(u"--host h --port 1 --asset 1:2"_s), args(u"--host h --port 1 --asset 1:x:base.png:v"_s),
                args(u"--link https://example.org/join"_s),
                args(u"--link pagewright-player://join?host=h&port=2 --host h"_s),
                args(u"--host h --port 1 --timeout -1"_s), args(u"--host h --port 1 --pin 123"_s),
                args(u"--host h --port 1 --verbose"_s), args(u"--host"_s),
                QStringList {u"--service"_s, u"  "_s}, args(u"--service Pit --host h --port 1"_s),
                args(u"--browse 1 --link pagewright-player://join?service=Pit"_s), args(u"--browse -1"_s)}) {
            const ProbeRun run = runProbe(arguments);
            QVERIFY2(run.exitCode == 2 && run.lines.isEmpty(), qPrintable(arguments.join(u' ')));
        }
    }
};

QTEST_GUILESS_MAIN(ProbeTest)
#include "tst_probe.moc"
