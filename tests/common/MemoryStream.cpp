// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryStream.h"

namespace pgw::testing {

MemoryStream::MemoryStream(Scheduler &queue, NetworkEndpoint endpoint)
    : m_queue(queue)
    , m_endpoint(std::move(endpoint))
{ }

void MemoryStream::send(const QByteArray &bytes)
{
    if (m_state == State::Ready)
        m_sent.append(bytes);
}

void MemoryStream::cancel()
{
    if (m_state == State::Cancelled)
        return;
    m_state = State::Cancelled;
    m_queue.post([weak = weak_from_this()] {
        if (auto self = weak.lock(); self && self->onState)
            self->onState(State::Cancelled);
    });
}

void MemoryStream::report(State state)
{
    if (m_state == State::Cancelled)
        return;
    m_state = state;
    m_queue.post([weak = weak_from_this(), state] {
        if (auto self = weak.lock(); self && self->m_state != State::Cancelled && self->onState)
            self->onState(state);
    });
}

void MemoryStream::deliver(const QByteArray &bytes)
{
    m_queue.post([weak = weak_from_this(), bytes] {
        if (auto self = weak.lock(); self && self->m_state == State::Ready && self->onData)
            self->onData(bytes);
    });
}

QList<hostsim::HostLaneCodec::Incoming> MemoryStream::received()
{
    host.append(takeSent());
    QList<hostsim::HostLaneCodec::Incoming> items;
    while (auto item = host.next()) {
        if (item->kind == hostsim::HostLaneCodec::Incoming::Kind::SecureHello && hostKeyMaterial)
            host.startChannel(item->message, *hostKeyMaterial);
        items.append(*item);
    }
    return items;
}

ByteStreamFactory MemoryNetwork::factory()
{
    return [this](const NetworkEndpoint &endpoint) -> std::shared_ptr<ByteStream> {
        auto stream = std::make_shared<MemoryStream>(m_queue, endpoint);
        streams.append(stream);
        createdAt.append(m_queue.now());
        return stream;
    };
}

} // namespace pgw::testing
