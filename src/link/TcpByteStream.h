// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ByteStream.h"
#include "support/Scheduler.h"

#include <memory>

class QTcpSocket;

namespace pgw {

// A ByteStream over QTcpSocket with TCP no-delay. The socket lives on the thread that calls start(),
// which must be the thread of `queue`; every callback is posted to `queue`.
class TcpByteStream
    : public ByteStream
    , public std::enable_shared_from_this<TcpByteStream>
{
public:
    TcpByteStream(Scheduler &queue, NetworkEndpoint endpoint);
    ~TcpByteStream() override;

    static ByteStreamFactory factory(Scheduler &queue);

    void start() override;
    void send(const QByteArray &bytes) override;
    void cancel() override;
    State state() const override { return m_state; }
    qint64 bytesToWrite() const override;
    QString errorText() const override { return m_errorText; }

private:
    void connected();
    void socketError();
    void readAvailable();
    void post(std::function<void(TcpByteStream &)> delivery, bool evenWhenCancelled = false);
    void report(State state);

    Scheduler &m_queue;
    NetworkEndpoint m_endpoint;
    std::unique_ptr<QTcpSocket> m_socket;
    State m_state = State::Preparing;
    bool m_cancelled = false;
    QString m_errorText;
};

} // namespace pgw
