// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ByteStream.h"
#include "link/DnsSd.h"
#include "support/Scheduler.h"

#include <memory>

namespace pgw {

// A ByteStream to a DNS-SD service: started, it resolves the service to an address and port and
// dials that with a stream from `streams`, so a Host that moved is found at its new place. A
// service that does not resolve leaves the stream Waiting, as a refused dial does.
class ServiceByteStream
    : public ByteStream
    , public std::enable_shared_from_this<ServiceByteStream>
{
public:
    // `resolver` must outlive start(); its completions and the dialled stream's callbacks run on `queue`.
    ServiceByteStream(
        Scheduler &queue, DnsSdResolver &resolver, ServiceAddress service, ByteStreamFactory streams);

    void start() override;
    void send(const QByteArray &bytes) override;
    void cancel() override;
    State state() const override { return m_state; }
    qint64 bytesToWrite() const override { return m_dialled ? m_dialled->bytesToWrite() : 0; }
    QString errorText() const override;

private:
    void resolved(const std::optional<HostPortAddress> &address);
    void report(State state);

    Scheduler &m_queue;
    DnsSdResolver &m_resolver;
    ServiceAddress m_service;
    ByteStreamFactory m_streams;
    std::shared_ptr<ByteStream> m_dialled;
    State m_state = State::Preparing;
    bool m_started = false;
};

} // namespace pgw
