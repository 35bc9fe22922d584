// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HostLaneCodec.h"
#include "link/ByteStream.h"
#include "support/Scheduler.h"

#include <QList>

#include <memory>

namespace pgw::testing {

// A ByteStream whose far end is the test: it decides when the dial succeeds, fails or drops, feeds
// the Player bytes and reads what the Player sent. Callbacks are posted to the queue like a socket's.
class MemoryStream
    : public ByteStream
    , public std::enable_shared_from_this<MemoryStream>
{
public:
    MemoryStream(Scheduler &queue, NetworkEndpoint endpoint);

    void start() override { m_started = true; }
    void send(const QByteArray &bytes) override;
    void cancel() override;
    State state() const override { return m_state; }
    // What the Host has not read yet.
    qint64 bytesToWrite() const override { return m_sent.size(); }

    const NetworkEndpoint &endpoint() const { return m_endpoint; }
    bool started() const { return m_started; }
    bool cancelled() const { return m_state == State::Cancelled; }

    // The far end.
    void accept() { report(State::Ready); }
    void refuse() { report(State::Waiting); }
    void drop() { report(State::Failed); }
    void deliver(const QByteArray &bytes);
    QByteArray takeSent() { return std::exchange(m_sent, {}); }

    // A Host view of the bytes on this stream, for reading what the Player sent and answering.
    hostsim::HostLaneCodec host;
    // When set, a secure hello from the Player starts the Host's channel with this key material.
    std::optional<QByteArray> hostKeyMaterial;
    QList<hostsim::HostLaneCodec::Incoming> received();
    void reply(const QJsonObject &message, bool plain = false) { deliver(host.message(message, plain)); }

private:
    void report(State state);

    Scheduler &m_queue;
    NetworkEndpoint m_endpoint;
    State m_state = State::Preparing;
    bool m_started = false;
    QByteArray m_sent;
};

// Creates MemoryStreams for a connection and keeps every one it made, in order.
class MemoryNetwork
{
public:
    explicit MemoryNetwork(Scheduler &queue)
        : m_queue(queue)
    { }

    ByteStreamFactory factory();
    QList<std::shared_ptr<MemoryStream>> streams;
    // The queue's time at which each stream was made.
    QList<double> createdAt;
    std::shared_ptr<MemoryStream> last() const { return streams.isEmpty() ? nullptr : streams.last(); }

private:
    Scheduler &m_queue;
};

} // namespace pgw::testing
