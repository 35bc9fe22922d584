// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostChaos.h"

#include "HostSimulator.h"

#include <QRandomGenerator>
#include <QTimer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw::hostsim {

namespace {

constexpr int kindCount = int(HostChaos::Kind::DuplicatedAnswers) + 1;
constexpr int relistenMilliseconds = 50;

} // namespace

QString HostChaos::Fault::describe() const
{
    QString what;
    switch (kind) {
    case Kind::Drop:
        what = u"every connection dropped"_s;
        break;
    case Kind::Restart:
        what = u"restart, away for %1 ms"_s.arg(milliseconds);
        break;
    case Kind::Stall:
        what = u"stall for %1 ms"_s.arg(milliseconds);
        break;
    case Kind::Corrupt:
        what = u"a damaged frame (byte choice %1)"_s.arg(where);
        break;
    case Kind::Truncate:
        what = u"a frame cut short and its connection closed (cut choice %1)"_s.arg(where);
        break;
    case Kind::SlowWrites:
        what = u"writes at %1 bytes/s for %2 ms"_s.arg(bytesPerSecond).arg(milliseconds);
        break;
    case Kind::LateAnswers:
        what = u"answers %1 ms late for %2 ms"_s.arg(answerDelay).arg(milliseconds);
        break;
    case Kind::DuplicatedAnswers:
        what = u"every answer twice for %1 ms"_s.arg(milliseconds);
        break;
    }
    return u"fault %1: %2; the Host turns to item %3 page %4%5"_s.arg(number)
        .arg(what)
        .arg(scoreIndex)
        .arg(pageIndex)
        .arg(engravedFrom ? u", re-engraved as page %1"_s.arg(*engravedFrom) : QString());
}

HostChaos::HostChaos(HostSimulator &host, quint64 seed, double timeScale, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_seed(seed)
    , m_timeScale(timeScale)
{ }

HostChaos::Fault HostChaos::fault(int number) const
{
    // Each fault has a generator of its own, so that a fault's draw never depends on the ones before.
    const quint32 seeds[] = {quint32(m_seed), quint32(m_seed >> 32), quint32(number)};
    QRandomGenerator random(seeds);
    const auto scaled
        = [&](int low, int high) { return int(std::lround(random.bounded(low, high + 1) * m_timeScale)); };
    Fault fault;
    fault.number = number;
    fault.kind = Kind(random.bounded(kindCount));
    switch (fault.kind) {
    case Kind::Drop:
        break;
    case Kind::Restart:
        fault.milliseconds = scaled(100, 1500);
        break;
    case Kind::Stall:
        fault.milliseconds = scaled(200, 3000);
        break;
    case Kind::Corrupt:
    case Kind::Truncate:
        fault.milliseconds = scaled(100, 1000);
        fault.where = random.generate();
        break;
    case Kind::SlowWrites:
        fault.milliseconds = scaled(500, 3000);
        fault.bytesPerSecond = random.bounded(16, 129) * 1024;
        break;
    case Kind::LateAnswers:
        fault.milliseconds = scaled(500, 3000);
        fault.answerDelay = scaled(200, 2000);
        break;
    case Kind::DuplicatedAnswers:
        fault.milliseconds = scaled(500, 3000);
        break;
    }
    fault.scoreIndex = int(random.bounded(std::max(1, m_host.show().itemCount())));
    const int pages = std::max(1, m_host.show().pageCount(fault.scoreIndex));
    fault.pageIndex = int(random.bounded(pages));
    if (random.bounded(2) == 0)
        fault.engravedFrom = int(random.bounded(pages));
    return fault;
}

HostChaos::Fault HostChaos::inject()
{
    const Fault next = fault(m_next++);
    m_active = true;
    Q_EMIT faultStarted(next);
    // The Host moves on while the fault lasts: the Player has to find out where it went.
    const qint64 token = m_host.show().item(next.scoreIndex).value("scoreToken"_L1).toInteger();
    if (const auto image
        = next.engravedFrom ? m_host.show().asset(token, *next.engravedFrom, u"base.png"_s) : std::nullopt) {
        m_host.revisePage(token, next.pageIndex, u"base.png"_s, u"chaos-%1-%2"_s.arg(m_seed).arg(next.number),
            image->bytes);
    }
    m_host.navigate(next.pageIndex, next.scoreIndex);
    switch (next.kind) {
    case Kind::Drop:
        m_host.dropConnections();
        break;
    case Kind::Restart:
        m_address = m_host.address();
        m_port = m_host.port();
        m_host.stopListening();
        break;
    case Kind::Stall:
        m_host.holdOutput(true);
        break;
    case Kind::Corrupt:
        m_host.spoilNextFrame(HostSimulator::FrameFault::Damage, next.where);
        break;
    case Kind::Truncate:
        m_host.spoilNextFrame(HostSimulator::FrameFault::Truncate, next.where);
        break;
    case Kind::SlowWrites:
        m_host.setWriteRate(next.bytesPerSecond);
        break;
    case Kind::LateAnswers:
        m_host.setAnswerDelay(next.answerDelay / 1000.0);
        break;
    case Kind::DuplicatedAnswers:
        m_host.setAnswersDuplicated(true);
        break;
    }
    QTimer::singleShot(next.milliseconds, this, [this, next] { end(next); });
    return next;
}

void HostChaos::end(const Fault &fault)
{
    switch (fault.kind) {
    case Kind::Drop:
        break;
    case Kind::Restart:
        listenAgain(fault);
        return;
    case Kind::Stall:
        m_host.holdOutput(false);
        break;
    case Kind::Corrupt:
    case Kind::Truncate:
        // Nothing went out meanwhile: a ping carries the spoilt frame, and a fault with nobody to
        // reach is dropped rather than left for the next connection's hello.
        if (m_host.frameFaultPending())
            m_host.ping();
        m_host.keepFramesWhole();
        break;
    case Kind::SlowWrites:
        m_host.setWriteRate(0);
        break;
    case Kind::LateAnswers:
        m_host.setAnswerDelay(0);
        break;
    case Kind::DuplicatedAnswers:
        m_host.setAnswersDuplicated(false);
        break;
    }
    m_active = false;
    Q_EMIT faultEnded(fault);
}

void HostChaos::listenAgain(const Fault &fault)
{
    if (!m_host.listen(m_address, m_port)) {
        QTimer::singleShot(relistenMilliseconds, this, [this, fault] { listenAgain(fault); });
        return;
    }
    m_active = false;
    Q_EMIT faultEnded(fault);
}

void HostChaos::run(int count, int pauseMilliseconds)
{
    const int first = m_next;
    connect(this, &HostChaos::faultEnded, this, [this, count, pauseMilliseconds, first](const Fault &fault) {
        if (count > 0 && fault.number + 1 - first >= count) {
            Q_EMIT finished(count);
            return;
        }
        QTimer::singleShot(pauseMilliseconds, this, [this] { inject(); });
    });
    inject();
}

} // namespace pgw::hostsim
