// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <optional>

namespace pgw::hostsim {

class HostSimulator;

// Faults for a simulated Host, drawn from a seed: the same seed always gives the same schedule (what
// goes wrong, for how long, where the Host turns meanwhile), though the Player's bytes around each
// fault keep their own timing. One fault at a time: inject() starts the next one, faultEnded() says
// it is over. While it runs, the engine owns the simulator's faults, hold, write rate and answer delay.
class HostChaos : public QObject
{
    Q_OBJECT

public:
    enum class Kind {
        Drop, // every connection closes
        Restart, // the Host goes away and listens again on the same port
        Stall, // nothing is written while it lasts; then all of it at once
        Corrupt, // the next frame is damaged
        Truncate, // the next frame goes out cut short and its connection closes
        SlowWrites, // bytes trickle out
        LateAnswers,
        DuplicatedAnswers,
    };

    struct Fault
    {
        int number = 0;
        Kind kind = Kind::Drop;
        int milliseconds = 0; // how long it lasts
        qint64 bytesPerSecond = 0; // slow writes
        int answerDelay = 0; // late answers, in milliseconds
        quint32 where = 0; // the byte a damaged or truncated frame loses
        // Where the Host turns as it starts; it may first re-engrave that page with the image of
        // another page of the same item.
        int scoreIndex = 0;
        int pageIndex = 0;
        std::optional<int> engravedFrom;

        QString describe() const;
    };

    // `timeScale` multiplies every duration: below 1 for a soak that must be quick.
    HostChaos(HostSimulator &host, quint64 seed, double timeScale = 1.0, QObject *parent = nullptr);

    // The fault of this number in the seed's schedule (for the simulator's show).
    Fault fault(int number) const;
    // Starts the next fault of the schedule.
    Fault inject();
    bool isActive() const { return m_active; }
    // Injects `count` faults (0: without end), each `pauseMilliseconds` after the one before ended;
    // finished() follows the last.
    void run(int count, int pauseMilliseconds);

Q_SIGNALS:
    void faultStarted(const pgw::hostsim::HostChaos::Fault &fault);
    void faultEnded(const pgw::hostsim::HostChaos::Fault &fault);
    void finished(int faults);

private:
    void end(const Fault &fault);
    void listenAgain(const Fault &fault);

    HostSimulator &m_host;
    quint64 m_seed;
    double m_timeScale;
    int m_next = 0;
    bool m_active = false;
    QHostAddress m_address;
    quint16 m_port = 0;
};

} // namespace pgw::hostsim
