// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimConsole.h"

#include "HostSimulator.h"
#include "support/Json.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace pgw::hostsim {

SimConsole::SimConsole(HostSimulator &simulator, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
    , m_out(stdout)
{
    connect(m_notifier, &QSocketNotifier::activated, this, &SimConsole::readInput);
    connect(&simulator, &HostSimulator::messageReceived, this, [this](const RecordedMessage &record) {
        print(u"recv %1 %2 %3"_s.arg(record.lane.isEmpty() ? u"-"_s : record.lane,
            record.sealed ? u"sealed"_s : u"plain"_s, QString::fromUtf8(json::compact(record.message))));
    });
    connect(&simulator, &HostSimulator::playerGreeted, this,
        [this](const QString &name) { print(u"greeted "_s + name); });
    connect(&simulator, &HostSimulator::floodSent, this,
        [this](qint64 frames) { print(u"flooded "_s + QString::number(frames)); });
}

QString SimConsole::help()
{
    return u"commands: nav PAGE [ITEM] | next | prev | blackout on|off | presence COUNT [NAME...] | ink "
           u"[PAGE] |"
           " ping | end [REASON] | drop | stall on|off | delay SECONDS | corrupt | oversize | flood FRAMES "
           u"[SECONDS] | log | help | quit"_s;
}

void SimConsole::readInput()
{
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        // End of input: keep serving until the process is stopped.
        m_notifier->setEnabled(false);
        return;
    }
    m_pending.append(buffer, got);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.first(newline)).trimmed();
        m_pending.remove(0, newline + 1);
        if (!line.isEmpty() && !execute(line))
            print(u"? "_s + help());
    }
}

bool SimConsole::execute(const QString &line)
{
    const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    const QString command = words.value(0);
    const QStringList args = words.mid(1);
    bool ok = true;
    auto number = [&](int i, int fallback) {
        if (i >= args.size())
            return fallback;
        bool valid = false;
        const int value = args[i].toInt(&valid);
        ok = ok && valid;
        return value;
    };
    const bool on = args.value(0) == "on"_L1;

    if (command == "nav"_L1) {
        m_page = number(0, m_page);
        m_item = number(1, m_item);
        if (ok)
            m_simulator.navigate(m_page, m_item);
    } else if (command == "next"_L1 || command == "prev"_L1) {
        m_page = std::clamp(m_page + (command == "next"_L1 ? 1 : -1), 0,
            std::max(0, m_simulator.show().pageCount(m_item) - 1));
        m_simulator.navigate(m_page, m_item);
    } else if (command == "blackout"_L1 && args.size() == 1) {
        m_simulator.setBlackout(on);
    } else if (command == "presence"_L1 && !args.isEmpty()) {
        const int count = number(0, 0);
        if (ok)
            m_simulator.setPresence(count, args.mid(1));
    } else if (command == "ink"_L1) {
        const int page = number(0, m_page);
        if (ok)
            m_simulator.drawInk(page);
    } else if (command == "ping"_L1) {
        m_simulator.ping();
    } else if (command == "end"_L1) {
        m_simulator.end(args.join(u' '));
    } else if (command == "drop"_L1) {
        m_simulator.dropConnections();
    } else if (command == "stall"_L1 && args.size() == 1) {
        m_simulator.setStalled(on);
    } else if (command == "delay"_L1 && args.size() == 1) {
        const double seconds = args[0].toDouble(&ok);
        if (ok)
            m_simulator.setAnswerDelay(seconds);
    } else if (command == "corrupt"_L1) {
        m_simulator.sendCorruptFrame();
    } else if (command == "oversize"_L1) {
        m_simulator.sendOversizedLength();
    } else if (command == "flood"_L1 && !args.isEmpty()) {
        bool secondsOk = true;
        const qint64 frames = args[0].toLongLong(&ok);
        const double seconds = args.size() > 1 ? args[1].toDouble(&secondsOk) : 0.0;
        ok = ok && secondsOk && frames > 0 && seconds >= 0;
        if (ok)
            m_simulator.flood(frames, seconds);
    } else if (command == "log"_L1) {
        for (const RecordedMessage &record : m_simulator.recorded())
            print(u"log %1 %2"_s.arg(record.lane.isEmpty() ? u"-"_s : record.lane,
                QString::fromUtf8(json::compact(record.message))));
    } else if (command == "help"_L1) {
        print(help());
    } else if (command == "quit"_L1) {
        QCoreApplication::quit();
    } else {
        return false;
    }
    return ok;
}

void SimConsole::print(const QString &line)
{
    m_out << line << Qt::endl;
}

} // namespace pgw::hostsim
