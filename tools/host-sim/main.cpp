// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvahiServicePublisher.h"
#include "HostChaos.h"
#include "HostSimulator.h"
#include "SimConsole.h"

#include "link/NetworkEndpoint.h"
#include "link/PlayerCrypto.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

QString defaultShowFolder()
{
    const QByteArray shared = qgetenv("PGW_SHARED_DIR");
    return QDir(shared.isEmpty() ? QStringLiteral(PGW_SHARED_DIR) : QString::fromLocal8Bit(shared))
        .filePath(u"sample-show"_s);
}

int fail(const QString &message)
{
    QTextStream(stderr) << "pgw-host-sim: " << message << Qt::endl;
    return 2;
}

// A Player climbs its reconnect ladder to about 5 s: each fault finds it back before the next.
constexpr int chaosPauseMilliseconds = 6000;

int signalPipe[2] = {-1, -1};

void signalled(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so that a published service is withdrawn on the way out.
void quitOnTermination(QCoreApplication &app)
{
    if (::pipe(signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, signalled);
    std::signal(SIGINT, signalled);
}

// TXT entries that tell browsing Players what the Host asks of them.
QList<QByteArray> serviceTxt(const HostSimulator::Options &options)
{
    QList<QByteArray> txt;
    if (options.encryption)
        txt << "e2e=2";
    txt << (options.pin ? "auth=1" : "auth=0");
    return txt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pgw-host-sim"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A simulated Pagewright Host for tests and demonstrations.\n"_s + SimConsole::help());
    parser.addHelpOption();
    parser.addOptions({
        {u"show"_s, u"Serve the show in DIR (default: the shared sample show)."_s, u"DIR"_s},
        {u"generate"_s, u"Serve a generated show of SCORES charts with PAGES pages each."_s,
            u"SCORESxPAGES"_s},
        {u"listen"_s, u"Listen on ADDRESS (default 127.0.0.1)."_s, u"ADDRESS"_s, u"127.0.0.1"_s},
        {u"port"_s, u"Listen on PORT (default: any free port)."_s, u"PORT"_s, u"0"_s},
        {u"pin"_s, u"Require this room PIN."_s, u"PIN"_s},
        {u"link"_s, u"Make a random join-link secret for sealed sessions."_s},
        {u"secret"_s, u"Use this join-link secret (base 32, 16 bytes)."_s, u"BASE32"_s},
        {u"no-encryption"_s, u"Behave like an older Host that drops sealed connections."_s},
        {u"chunk-size"_s, u"Send assets larger than BYTES in chunks of BYTES."_s, u"BYTES"_s, u"0"_s},
        {u"stall"_s, u"Never answer requests."_s},
        {u"delay"_s, u"Answer requests SECONDS late."_s, u"SECONDS"_s, u"0"_s},
        {u"chaos"_s, u"Inject faults drawn from SEED, one after another."_s, u"SEED"_s},
        {u"faults"_s, u"Stop the chaos after N faults (default: never)."_s, u"N"_s, u"0"_s},
        {u"publish"_s, u"Publish the Host as the DNS-SD service NAME while it runs."_s, u"NAME"_s},
    });
    parser.process(app);

    std::optional<SimShow> show;
    if (parser.isSet(u"generate"_s)) {
        const auto match
            = QRegularExpression(u"^(\\d{1,4})x(\\d{1,5})$"_s).match(parser.value(u"generate"_s));
        if (!match.hasMatch())
            return fail(u"--generate wants SCORESxPAGES, e.g. 3x12"_s);
        show = SimShow::generate(match.captured(1).toInt(), match.captured(2).toInt());
    } else {
        QString error;
        show = SimShow::load(parser.isSet(u"show"_s) ? parser.value(u"show"_s) : defaultShowFolder(), &error);
        if (!show)
            return fail(error);
    }

    HostSimulator::Options options;
    if (parser.isSet(u"pin"_s))
        options.pin = parser.value(u"pin"_s);
    if (parser.isSet(u"secret"_s)) {
        options.linkSecret = PlayerCrypto::sessionSecret(parser.value(u"secret"_s));
        if (!options.linkSecret)
            return fail(u"--secret must be base 32 for exactly 16 bytes"_s);
    } else if (parser.isSet(u"link"_s)) {
        options.linkSecret = PlayerCrypto::secureRandomBytes(
            PlayerCrypto::sessionSecretLength, PlayerCrypto::opensslRandom());
    }
    options.encryption = !parser.isSet(u"no-encryption"_s);
    options.chunkSize = parser.value(u"chunk-size"_s).toLongLong();

    HostSimulator simulator(std::move(*show), options);
    simulator.setStalled(parser.isSet(u"stall"_s));
    simulator.setAnswerDelay(parser.value(u"delay"_s).toDouble());
    bool portValid = false;
    const uint port = parser.value(u"port"_s).toUInt(&portValid);
    const QHostAddress address(parser.value(u"listen"_s));
    if (address.isNull() || !portValid || port > 65535)
        return fail(u"bad --listen address or --port"_s);
    if (!simulator.listen(address, quint16(port)))
        return fail(u"cannot listen on %1:%2"_s.arg(address.toString()).arg(port));

    QTextStream out(stdout);
    out << "listening " << simulator.address().toString() << ':' << simulator.port() << Qt::endl;
    out << "join-link " << simulator.joinLink() << Qt::endl;
    std::unique_ptr<AvahiServicePublisher> publisher;
    if (parser.isSet(u"publish"_s)) {
        const QString name = parser.value(u"publish"_s);
        // A DNS-SD instance name is one DNS label.
        if (name.isEmpty() || name.toUtf8().size() > 63)
            return fail(u"--publish wants a name of 1 to 63 bytes"_s);
        publisher = std::make_unique<AvahiServicePublisher>(
            name, NetworkEndpoint::serviceType, simulator.port(), serviceTxt(options));
        publisher->onStateChanged = [&out, name](bool established, const QString &error) {
            if (established)
                out << "published " << name << Qt::endl;
            else
                out << "not published: " << error << Qt::endl;
        };
    }
    std::unique_ptr<HostChaos> chaos;
    if (parser.isSet(u"chaos"_s)) {
        bool seedValid = false;
        bool countValid = false;
        const quint64 seed = parser.value(u"chaos"_s).toULongLong(&seedValid);
        const int count = parser.value(u"faults"_s).toInt(&countValid);
        if (!seedValid || !countValid || count < 0)
            return fail(u"--chaos wants a number, --faults a count"_s);
        chaos = std::make_unique<HostChaos>(simulator, seed);
        QObject::connect(chaos.get(), &HostChaos::faultStarted, &app,
            [&out](const HostChaos::Fault &fault) { out << fault.describe() << Qt::endl; });
        QObject::connect(chaos.get(), &HostChaos::faultEnded, &app, [&out](const HostChaos::Fault &fault) {
            out << "fault " << fault.number << " over" << Qt::endl;
        });
        QObject::connect(chaos.get(), &HostChaos::finished, &app,
            [&out](int faults) { out << "chaos done after " << faults << " faults" << Qt::endl; });
        chaos->run(count, chaosPauseMilliseconds);
    }
    quitOnTermination(app);
    SimConsole console(simulator);
    return app.exec();
}
