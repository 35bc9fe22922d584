// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TcpByteStream.h"

#include <QTcpSocket>

namespace pgw {

namespace {

void closeSocket(QTcpSocket &socket)
{
    socket.disconnect();
    // What was already sent (a leaving Player's last status report) goes out before the close.
    if (socket.state() == QAbstractSocket::ConnectedState)
        socket.flush();
    socket.abort();
}

} // namespace

TcpByteStream::TcpByteStream(Scheduler &queue, NetworkEndpoint endpoint)
    : m_queue(queue)
    , m_endpoint(std::move(endpoint))
{ }

TcpByteStream::~TcpByteStream()
{
    if (m_socket) {
        closeSocket(*m_socket);
    }
}

ByteStreamFactory TcpByteStream::factory(Scheduler &queue)
{
    return [&queue](const NetworkEndpoint &endpoint) -> std::shared_ptr<ByteStream> {
        return std::make_shared<TcpByteStream>(queue, endpoint);
    };
}

void TcpByteStream::start()
{
    if (m_socket || m_cancelled)
        return;
    const auto *address = m_endpoint.asHostPort();
    if (!address) {
        // Service endpoints are resolved by the DNS-SD layer before they reach a socket.
        report(State::Waiting);
        return;
    }
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket *socket = m_socket.get();
    QObject::connect(socket, &QTcpSocket::connected, socket, [this] { connected(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [this] { socketError(); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { socketError(); });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { readAvailable(); });
    socket->connectToHost(address->host, address->port);
}

void TcpByteStream::send(const QByteArray &bytes)
{
    if (m_socket && !m_cancelled && m_state == State::Ready)
        m_socket->write(bytes);
}

void TcpByteStream::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    if (m_socket) {
        closeSocket(*m_socket);
    }
    m_state = State::Cancelled;
    post(
        [](TcpByteStream &stream) {
            if (stream.onState)
                stream.onState(State::Cancelled);
        },
        true);
}

qint64 TcpByteStream::bytesToWrite() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void TcpByteStream::connected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    report(State::Ready);
}

void TcpByteStream::socketError()
{
    if (m_state == State::Failed || m_state == State::Waiting)
        return;
    m_errorText = m_socket->errorString();
    readAvailable();
    // Before the connection is up, a refusal or an unreachable peer is worth waiting on; after it, the
    // connection is gone.
    report(m_state == State::Ready ? State::Failed : State::Waiting);
}

void TcpByteStream::readAvailable()
{
    QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    post([bytes = std::move(bytes)](TcpByteStream &stream) {
        if (stream.onData)
            stream.onData(bytes);
    });
}

void TcpByteStream::report(State state)
{
    m_state = state;
    post([state](TcpByteStream &stream) {
        if (stream.onState)
            stream.onState(state);
    });
}

void TcpByteStream::post(std::function<void(TcpByteStream &)> delivery, bool evenWhenCancelled)
{
    m_queue.post([weak = weak_from_this(), delivery = std::move(delivery), evenWhenCancelled] {
        auto stream = weak.lock();
        // Once cancelled, only the Cancelled report itself still goes out.
        if (stream && (evenWhenCancelled || !stream->m_cancelled))
            delivery(*stream);
    });
}

} // namespace pgw
