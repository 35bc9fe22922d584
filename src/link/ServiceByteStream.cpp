// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ServiceByteStream.h"

namespace pgw {

ServiceByteStream::ServiceByteStream(
    Scheduler &queue, DnsSdResolver &resolver, ServiceAddress service, ByteStreamFactory streams)
    : m_queue(queue)
    , m_resolver(resolver)
    , m_service(std::move(service))
    , m_streams(std::move(streams))
{ }

void ServiceByteStream::start()
{
    if (m_started || m_state == State::Cancelled)
        return;
    m_started = true;
    m_resolver.resolve(m_service, [weak = weak_from_this()](std::optional<HostPortAddress> address) {
        if (auto self = weak.lock())
            self->resolved(address);
    });
}

void ServiceByteStream::resolved(const std::optional<HostPortAddress> &address)
{
    if (m_state == State::Cancelled)
        return;
    m_dialled = address ? m_streams(NetworkEndpoint {*address}) : nullptr;
    if (!m_dialled) {
        report(State::Waiting);
        return;
    }
    std::weak_ptr<ServiceByteStream> weak = weak_from_this();
    m_dialled->onState = [weak](State state) {
        if (auto self = weak.lock(); self && self->m_state != State::Cancelled)
            self->report(state);
    };
    m_dialled->onData = [weak](const QByteArray &bytes) {
        if (auto self = weak.lock(); self && self->m_state != State::Cancelled && self->onData)
            self->onData(bytes);
    };
    m_dialled->start();
}

void ServiceByteStream::send(const QByteArray &bytes)
{
    if (m_dialled && m_state == State::Ready)
        m_dialled->send(bytes);
}

void ServiceByteStream::cancel()
{
    if (m_state == State::Cancelled)
        return;
    m_state = State::Cancelled;
    if (m_dialled)
        m_dialled->cancel();
    // The dialled stream's own report is held back above; this one stands for both.
    m_queue.post([weak = weak_from_this()] {
        if (auto self = weak.lock(); self && self->onState)
            self->onState(State::Cancelled);
    });
}

QString ServiceByteStream::errorText() const
{
    if (m_dialled)
        return m_dialled->errorText();
    return m_state == State::Waiting ? QStringLiteral("the service did not resolve") : QString();
}

void ServiceByteStream::report(State state)
{
    m_state = state;
    if (onState)
        onState(state);
}

} // namespace pgw
