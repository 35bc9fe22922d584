// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"

#include "link/PlayerCrypto.h"
#include "support/Json.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw::hostsim {

struct HostSimulator::Peer
{
    QTcpSocket *socket = nullptr;
    HostLaneCodec codec;
    QString lane;
    bool admitted = false;
    bool closing = false;
    // Bytes held back by a stall or a slow write rate, in order.
    QByteArray outbox;
};

namespace {

constexpr int paceMilliseconds = 10;

} // namespace

QString base32(QByteArrayView bytes)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    QString out;
    quint32 bits = 0;
    int count = 0;
    for (char byte : bytes) {
        bits = ((bits << 8) | quint8(byte)) & 0xfff;
        count += 8;
        while (count >= 5) {
            count -= 5;
            out.append(QLatin1Char(alphabet[(bits >> count) & 0x1f]));
        }
    }
    if (count > 0)
        out.append(QLatin1Char(alphabet[(bits << (5 - count)) & 0x1f]));
    return out;
}

HostSimulator::HostSimulator(SimShow show, Options options, QObject *parent)
    : QObject(parent)
    , m_show(std::move(show))
    , m_options(std::move(options))
    , m_server(new QTcpServer(this))
    , m_pacer(new QTimer(this))
{
    m_pacer->setInterval(paceMilliseconds);
    connect(m_pacer, &QTimer::timeout, this, &HostSimulator::pace);
    if (m_options.pin)
        m_pinKeyMaterial = PlayerCrypto::ikmForJoinPIN(*m_options.pin);
    connect(m_server, &QTcpServer::newConnection, this, &HostSimulator::accept);
}

HostSimulator::~HostSimulator()
{
    for (auto &peer : m_peers)
        peer->socket->disconnect(this);
}

bool HostSimulator::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

QHostAddress HostSimulator::address() const
{
    return m_server->serverAddress();
}

quint16 HostSimulator::port() const
{
    return m_server->serverPort();
}

QString HostSimulator::joinLink() const
{
    QHostAddress host = address();
    if (host == QHostAddress::Any || host == QHostAddress::AnyIPv4) {
        host = QHostAddress::LocalHost;
        for (const QHostAddress &candidate : QNetworkInterface::allAddresses()) {
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol && !candidate.isLoopback()) {
                host = candidate;
                break;
            }
        }
    }
    QString link = u"pagewright-player://join?host=%1&port=%2"_s.arg(host.toString()).arg(port());
    if (m_options.pin)
        link += u"&pin="_s + *m_options.pin;
    if (m_options.linkSecret)
        link += u"&k="_s + base32(*m_options.linkSecret);
    return link;
}

// MARK: connections

void HostSimulator::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto peer = std::make_unique<Peer>();
        peer->socket = socket;
        m_peers.push_back(std::move(peer));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Peer *peer = peerOf(socket))
                read(*peer);
        });
        // Forgotten later, never inside a handler that still holds the peer.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            QMetaObject::invokeMethod(
                this, [this, socket] { forget(socket); }, Qt::QueuedConnection);
        });
    }
}

HostSimulator::Peer *HostSimulator::peerOf(QTcpSocket *socket)
{
    for (auto &peer : m_peers) {
        if (peer->socket == socket)
            return peer.get();
    }
    return nullptr;
}

void HostSimulator::forget(QTcpSocket *socket)
{
    const auto it = std::find_if(
        m_peers.begin(), m_peers.end(), [socket](const auto &p) { return p->socket == socket; });
    if (it == m_peers.end())
        return;
    m_peers.erase(it);
    socket->deleteLater();
}

void HostSimulator::close(Peer &peer)
{
    peer.closing = true;
    peer.socket->abort();
    QMetaObject::invokeMethod(
        this, [this, socket = peer.socket] { forget(socket); }, Qt::QueuedConnection);
}

void HostSimulator::read(Peer &peer)
{
    peer.codec.append(peer.socket->readAll());
    while (!peer.closing) {
        const auto incoming = peer.codec.next();
        if (!incoming)
            break;
        handle(peer, *incoming);
    }
    if (peer.codec.hasError() && !peer.closing)
        close(peer);
}

void HostSimulator::write(Peer &peer, QByteArray bytes)
{
    if (peer.closing || bytes.isEmpty())
        return;
    if (const auto spoil = std::exchange(m_frameFault, std::nullopt)) {
        if (spoil->fault == FrameFault::Truncate) {
            cutShort(peer, bytes, spoil->where);
            return;
        }
        // Past the header a sealed frame no longer opens; a plain one marked sealed is refused as such.
        if (bytes.at(4) == char(Wire::SealedFrame) && bytes.size() > 5)
            bytes[5 + qsizetype(spoil->where % quint32(bytes.size() - 5))] ^= 0x5a;
        else
            bytes[4] = char(Wire::SealedFrame);
    }
    if (peer.outbox.isEmpty() && !m_outputHeld && m_writeRate == 0) {
        peer.socket->write(bytes);
        return;
    }
    peer.outbox.append(bytes);
    if (!m_pacer->isActive())
        m_pacer->start();
}

void HostSimulator::cutShort(Peer &peer, const QByteArray &frame, quint32 where)
{
    peer.socket->write(peer.outbox + frame.first(1 + qsizetype(where % quint32(frame.size() - 1))));
    peer.outbox.clear();
    peer.closing = true;
    // Closes once the partial frame is out; the disconnection forgets the peer.
    peer.socket->disconnectFromHost();
}

void HostSimulator::pace()
{
    bool waiting = false;
    for (auto &peer : m_peers) {
        if (peer->closing || peer->outbox.isEmpty())
            continue;
        if (m_outputHeld) {
            waiting = true;
            continue;
        }
        const qsizetype share = m_writeRate > 0
            ? std::min(peer->outbox.size(), std::max<qsizetype>(1, m_writeRate * paceMilliseconds / 1000))
            : peer->outbox.size();
        peer->socket->write(peer->outbox.first(share));
        peer->outbox.remove(0, share);
        waiting = waiting || !peer->outbox.isEmpty();
    }
    if (!waiting)
        m_pacer->stop();
}

// MARK: the protocol

void HostSimulator::handle(Peer &peer, const HostLaneCodec::Incoming &incoming)
{
    using Kind = HostLaneCodec::Incoming::Kind;
    switch (incoming.kind) {
    case Kind::SecureHello:
        secureHello(peer, incoming.message);
        return;
    case Kind::Unreadable:
        if (peer.codec.hasChannel() && !peer.admitted) {
            // The Player's key is not ours: most likely a wrong PIN.
            peer.codec.dropChannel();
            write(peer, peer.codec.message({{"type"_L1, "auth"_L1}, {"status"_L1, "rejected"_L1}}, true));
        } else if (peer.admitted) {
            close(peer);
        }
        return;
    case Kind::Message:
        break;
    }
    const RecordedMessage record {peer.lane, incoming.message, incoming.sealed};
    m_recorded.append(record);
    Q_EMIT messageReceived(record);

    const QString type = json::stringOr(incoming.message, "type"_L1);
    if (type == "hi"_L1 || type == "attach"_L1)
        opening(peer, incoming);
    else if (peer.admitted && (type == "manifest"_L1 || type == "renditionManifest"_L1 || type == "asset"_L1))
        answer(peer, incoming.message);
}

void HostSimulator::secureHello(Peer &peer, const QJsonObject &hello)
{
    if (!m_options.encryption) {
        close(peer);
        return;
    }
    const QString kid = json::stringOr(hello, "kid"_L1);
    std::optional<QByteArray> keyMaterial;
    if (kid == "k"_L1)
        keyMaterial = m_options.linkSecret;
    else if (kid == "pin"_L1)
        keyMaterial = m_pinKeyMaterial;
    if (keyMaterial && peer.codec.startChannel(hello, *keyMaterial))
        return;
    // A room without a PIN needs no PIN key: the Player should talk plainly.
    const bool open = kid == "pin"_L1 && !m_options.pin;
    write(peer,
        peer.codec.message({{"type"_L1, "auth"_L1}, {"status"_L1, open ? "open"_L1 : "rejected"_L1}}, true));
}

bool HostSimulator::admits(Peer &peer, const HostLaneCodec::Incoming &incoming)
{
    // A sealed opening proves the secret; in plain the PIN must come along.
    if (incoming.sealed || !m_options.pin)
        return true;
    const auto pin = json::optString(incoming.message, "pin"_L1);
    if (pin == m_options.pin)
        return true;
    write(peer,
        peer.codec.message(
            {{"type"_L1, "auth"_L1}, {"status"_L1, pin ? "rejected"_L1 : "required"_L1}}, true));
    return false;
}

void HostSimulator::opening(Peer &peer, const HostLaneCodec::Incoming &incoming)
{
    if (!admits(peer, incoming))
        return;
    peer.admitted = true;
    if (json::stringOr(incoming.message, "type"_L1) == "attach"_L1) {
        peer.lane = u"assets"_s;
        return;
    }
    peer.lane = u"control"_s;
    write(peer,
        peer.codec.message({{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1},
            {"structureVersion"_L1, m_show.manifest().value("structureVersion"_L1)},
            {"ephemeral"_L1, m_options.ephemeral}, {"state"_L1, state()}}));
    Q_EMIT playerGreeted(json::stringOr(incoming.message, "name"_L1));
}

void HostSimulator::answer(Peer &peer, const QJsonObject &request)
{
    if (m_stalled)
        return;
    auto respond = [this, request](Peer &peer) {
        const QString type = json::stringOr(request, "type"_L1);
        const QJsonValue id = request.value("requestId"_L1);
        if (type == "asset"_L1) {
            answerAsset(peer, request);
        } else if (type == "manifest"_L1) {
            write(peer,
                peer.codec.message(
                    {{"type"_L1, "manifest"_L1}, {"requestId"_L1, id}, {"manifest"_L1, manifest()}}));
        } else {
            const QString ref = json::stringOr(request, "ref"_L1);
            QJsonObject reply {{"type"_L1, "renditionManifest"_L1}, {"requestId"_L1, id}, {"ref"_L1, ref}};
            const auto rendition = m_renditionsWithheld ? std::nullopt : m_show.rendition(ref);
            if (rendition)
                reply.insert("manifest"_L1, *rendition);
            write(peer, peer.codec.message(reply));
        }
    };
    const int copies = m_answersDuplicated ? 2 : 1;
    if (m_answerDelay <= 0) {
        for (int copy = 0; copy < copies; ++copy)
            respond(peer);
        return;
    }
    QTimer::singleShot(
        int(std::lround(m_answerDelay * 1000)), this, [this, socket = peer.socket, respond, copies] {
            for (int copy = 0; copy < copies; ++copy) {
                if (Peer *peer = peerOf(socket))
                    respond(*peer);
            }
        });
}

void HostSimulator::answerAsset(Peer &peer, const QJsonObject &request)
{
    const auto asset = m_show.asset(json::intOr(request, "scoreToken"_L1, -1),
        json::intOr(request, "pageIndex"_L1, -1), json::stringOr(request, "kind"_L1));
    QJsonObject header {{"requestId"_L1, request.value("requestId"_L1)}, {"status"_L1, asset ? 200 : 404}};
    if (!asset) {
        write(peer, peer.codec.assetResponse(header, {}));
        return;
    }
    header.insert("fingerprint"_L1, asset->version);
    const QByteArray &body = asset->bytes;
    const qsizetype size = m_options.chunkSize;
    if (size <= 0 || body.size() <= size) {
        write(peer, peer.codec.assetResponse(header, body));
        return;
    }
    const qsizetype chunks = (body.size() + size - 1) / size;
    header.insert("of"_L1, qint64(chunks));
    header.insert("bytes"_L1, qint64(body.size()));
    write(peer, peer.codec.assetChunk(header, QByteArrayView(body).first(size)));
    for (qsizetype seq = 1; seq < chunks; ++seq) {
        const QByteArrayView piece
            = QByteArrayView(body).sliced(seq * size, std::min(size, body.size() - seq * size));
        write(peer,
            peer.codec.assetChunk(
                {{"requestId"_L1, request.value("requestId"_L1)}, {"seq"_L1, qint64(seq)}}, piece));
    }
}

// MARK: show commands

QJsonObject HostSimulator::state() const
{
    return {{"pageIndex"_L1, m_pageIndex}, {"scoreIndex"_L1, m_scoreIndex},
        {"scoreKey"_L1, m_show.item(m_scoreIndex).value("scoreKey"_L1)}, {"blackout"_L1, m_blackout},
        {"followers"_L1, std::max(1, greetedPlayers())}};
}

int HostSimulator::greetedPlayers() const
{
    return int(
        std::count_if(m_peers.begin(), m_peers.end(), [](const auto &p) { return p->lane == "control"_L1; }));
}

double HostSimulator::nextNavTime()
{
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    m_lastNavTime = std::max(now, m_lastNavTime + 0.001);
    return m_lastNavTime;
}

void HostSimulator::broadcast(const QJsonObject &message)
{
    for (auto &peer : m_peers) {
        if (peer->lane == "control"_L1)
            write(*peer, peer->codec.message(message));
    }
}

QJsonObject HostSimulator::manifest() const
{
    QJsonObject manifest = m_show.manifest();
    manifest.insert("state"_L1, state());
    if (m_options.ephemeral)
        manifest.insert("ephemeral"_L1, true);
    return manifest;
}

void HostSimulator::navigate(int pageIndex, std::optional<int> scoreIndex)
{
    m_pageIndex = pageIndex;
    if (scoreIndex && *scoreIndex != m_scoreIndex) {
        m_scoreIndex = *scoreIndex;
        m_show.openItem(m_scoreIndex);
    }
    broadcast({{"type"_L1, "nav"_L1}, {"t"_L1, nextNavTime()},
        {"structureVersion"_L1, m_show.manifest().value("structureVersion"_L1)},
        {"pageIndex"_L1, m_pageIndex}, {"scoreIndex"_L1, m_scoreIndex},
        {"scoreKey"_L1, m_show.item(m_scoreIndex).value("scoreKey"_L1)}});
}

void HostSimulator::revisePage(
    qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes)
{
    const int structureVersion = m_show.revisePage(scoreToken, pageIndex, kind, version, std::move(bytes));
    broadcast({{"type"_L1, "structure"_L1}, {"structureVersion"_L1, structureVersion}});
}

void HostSimulator::setBlackout(bool on)
{
    m_blackout = on;
    broadcast({{"type"_L1, "blackout"_L1}, {"on"_L1, on}});
}

void HostSimulator::setPresence(int count, const QStringList &names)
{
    broadcast(
        {{"type"_L1, "presence"_L1}, {"count"_L1, count}, {"names"_L1, QJsonArray::fromStringList(names)}});
}

void HostSimulator::drawInk(int pageIndex)
{
    const QString id = u"sim-%1"_s.arg(++m_inkStrokes);
    auto samples = [](int from, int to) {
        QJsonArray points;
        for (int i = from; i < to; ++i)
            points.append(QJsonArray {0.2 + i * 0.02, 0.3 + 0.05 * std::sin(i / 2.0), 0.6});
        return points;
    };
    const QJsonObject style {{"color"_L1, QJsonArray {0.9, 0.12, 0.12, 1.0}}, {"width"_L1, 0.004}};
    broadcast({{"type"_L1, "ink"_L1}, {"strokeId"_L1, id}, {"phase"_L1, "begin"_L1},
        {"pageIndex"_L1, pageIndex}, {"style"_L1, style}, {"samples"_L1, samples(0, 12)}});
    broadcast({{"type"_L1, "ink"_L1}, {"strokeId"_L1, id}, {"phase"_L1, "append"_L1},
        {"samples"_L1, samples(12, 24)}});
    broadcast({{"type"_L1, "ink"_L1}, {"strokeId"_L1, id}, {"phase"_L1, "end"_L1}});
}

void HostSimulator::ping()
{
    broadcast({{"type"_L1, "ping"_L1}, {"t"_L1, double(QDateTime::currentMSecsSinceEpoch()) / 1000.0}});
}

void HostSimulator::end(const QString &reason)
{
    QJsonObject message {{"type"_L1, "end"_L1}};
    if (!reason.isEmpty())
        message.insert("reason"_L1, reason);
    broadcast(message);
}

// MARK: faults

void HostSimulator::dropConnections()
{
    for (auto &peer : m_peers) {
        if (!peer->closing)
            close(*peer);
    }
}

void HostSimulator::stopListening()
{
    m_server->close();
    dropConnections();
}

void HostSimulator::sendCorruptFrame()
{
    QByteArray junk(40, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
    for (auto &peer : m_peers) {
        if (peer->lane == "control"_L1)
            write(*peer, Wire::frame(Wire::SealedFrame, junk));
    }
}

void HostSimulator::sendOversizedLength()
{
    QByteArray header(5, char(Wire::JsonMessage));
    qToBigEndian(quint32(Wire::maxFrameLength + 1), header.data());
    for (auto &peer : m_peers) {
        if (peer->lane == "control"_L1)
            write(*peer, header);
    }
}

void HostSimulator::flood(qint64 frames, double seconds)
{
    const QByteArray tiny = Wire::frame(Wire::JsonMessage, QByteArrayView());
    auto *timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto sent = std::make_shared<qint64>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, tiny, clock, sent, frames, seconds] {
        const double share = seconds > 0 ? std::min(1.0, double(clock->elapsed()) / (seconds * 1000)) : 1.0;
        const qint64 due = qint64(double(frames) * share) - *sent;
        if (due > 0) {
            const QByteArray batch = tiny.repeated(due);
            for (auto &peer : m_peers) {
                if (peer->lane == "control"_L1)
                    write(*peer, batch);
            }
            *sent += due;
        }
        if (*sent >= frames) {
            timer->deleteLater();
            Q_EMIT floodSent(frames);
        }
    });
    timer->start(10);
}

void HostSimulator::holdOutput(bool held)
{
    m_outputHeld = held;
    pace();
}

void HostSimulator::setWriteRate(qint64 bytesPerSecond)
{
    m_writeRate = std::max<qint64>(0, bytesPerSecond);
    pace();
}

void HostSimulator::spoilNextFrame(FrameFault fault, quint32 where)
{
    m_frameFault = PendingFrameFault {fault, where};
}

QList<QJsonObject> HostSimulator::recorded(const QString &type) const
{
    QList<QJsonObject> messages;
    for (const RecordedMessage &record : m_recorded) {
        if (json::stringOr(record.message, "type"_L1) == type)
            messages << record.message;
    }
    return messages;
}

} // namespace pgw::hostsim
