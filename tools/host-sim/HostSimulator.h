// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HostLaneCodec.h"
#include "SimShow.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace pgw::hostsim {

// One message a Player sent, as the simulator received it.
struct RecordedMessage
{
    QString lane; // "control", "assets" or "" before the opening message
    QJsonObject message;
    bool sealed = false;
};

// A scriptable Host on the event loop of the thread that creates it: it serves a show to Players
// over TCP, in plain or sealed with a PIN or a join-link secret, answers requests (whole or in
// chunks), sends show messages on command, can misbehave on purpose and records what Players send.
class HostSimulator : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // Players must give this PIN (in a sealed dial, or in plain to a Host without encryption).
        std::optional<QString> pin;
        // The 16-byte secret that join links carry; sealed dials with kid "k" use it.
        std::optional<QByteArray> linkSecret;
        // false: a Host of the older kind that cannot read secure hellos and drops such connections.
        bool encryption = true;
        // Assets larger than this go out in chunks of this size; 0 sends every asset whole.
        qsizetype chunkSize = 0;
        // Asks Players to keep nothing of the show.
        bool ephemeral = false;
    };

    HostSimulator(SimShow show, Options options, QObject *parent = nullptr);
    ~HostSimulator() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    QHostAddress address() const;
    quint16 port() const;
    QString joinLink() const;
    SimShow &show() { return m_show; }
    const SimShow &show() const { return m_show; }
    // Where the Host stands, as its last turn left it.
    int pageIndex() const { return m_pageIndex; }
    int scoreIndex() const { return m_scoreIndex; }

    // Show commands, sent to every Player that has been greeted.
    void navigate(int pageIndex, std::optional<int> scoreIndex = std::nullopt);
    void setBlackout(bool on);
    void setPresence(int count, const QStringList &names);
    void drawInk(int pageIndex);
    void ping();
    void end(const QString &reason);
    void broadcast(const QJsonObject &message);
    // Gives a page a new version (see SimShow::revisePage) and tells Players the structure grew.
    void revisePage(
        qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version, QByteArray bytes);

    // Faults.
    void dropConnections();
    // Closes every connection and refuses new ones, as a Host that has gone away; listen() brings it back.
    void stopListening();
    // While stalled, requests are recorded but never answered.
    void setStalled(bool stalled) { m_stalled = stalled; }
    // Answers go out this many seconds late.
    void setAnswerDelay(double seconds) { m_answerDelay = seconds; }
    // While withheld, rendition requests are answered without a descriptor, as for a part not engraved.
    void setRenditionsWithheld(bool withheld) { m_renditionsWithheld = withheld; }
    void sendCorruptFrame();
    void sendOversizedLength();
    // Sends `frames` plain one-byte frames on every control connection, spread evenly over `seconds`;
    // floodSent() follows the last one.
    void flood(qint64 frames, double seconds);
    // While held, nothing is written; what waits goes out when released, as from a Host that froze.
    void holdOutput(bool held);
    // Writes at most this many bytes a second to each connection; 0 writes at once.
    void setWriteRate(qint64 bytesPerSecond);
    // Every answer goes out twice.
    void setAnswersDuplicated(bool duplicated) { m_answersDuplicated = duplicated; }
    enum class FrameFault { Damage, Truncate };
    // The next frame written to any connection is damaged (a byte of a sealed frame flipped, a plain
    // frame marked sealed) or goes out cut short before its connection closes; `where` picks the byte.
    void spoilNextFrame(FrameFault fault, quint32 where);
    bool frameFaultPending() const { return m_frameFault.has_value(); }
    void keepFramesWhole() { m_frameFault.reset(); }

    const QList<RecordedMessage> &recorded() const { return m_recorded; }
    QList<QJsonObject> recorded(const QString &type) const;
    // Forgets what was recorded, so that a long run does not keep every message.
    void clearRecorded() { m_recorded.clear(); }
    int greetedPlayers() const;
    int openConnections() const { return int(m_peers.size()); }

Q_SIGNALS:
    void messageReceived(const pgw::hostsim::RecordedMessage &message);
    void playerGreeted(const QString &name);
    void floodSent(qint64 frames);

private:
    struct Peer;

    void accept();
    void read(Peer &peer);
    void handle(Peer &peer, const HostLaneCodec::Incoming &incoming);
    void secureHello(Peer &peer, const QJsonObject &hello);
    bool admits(Peer &peer, const HostLaneCodec::Incoming &incoming);
    void opening(Peer &peer, const HostLaneCodec::Incoming &incoming);
    void answer(Peer &peer, const QJsonObject &request);
    void answerAsset(Peer &peer, const QJsonObject &request);
    void write(Peer &peer, QByteArray bytes);
    void cutShort(Peer &peer, const QByteArray &frame, quint32 where);
    // Writes what waits in each connection's outbox, as far as the hold and the write rate allow.
    void pace();
    void close(Peer &peer);
    void forget(QTcpSocket *socket);
    Peer *peerOf(QTcpSocket *socket);
    QJsonObject state() const;
    // The show's manifest as the Host answers it now: with the current position as its state.
    QJsonObject manifest() const;
    double nextNavTime();

    SimShow m_show;
    Options m_options;
    QTcpServer *m_server;
    std::vector<std::unique_ptr<Peer>> m_peers;
    QList<RecordedMessage> m_recorded;
    std::optional<QByteArray> m_pinKeyMaterial;
    bool m_stalled = false;
    double m_answerDelay = 0;
    bool m_renditionsWithheld = false;
    int m_pageIndex = 0;
    int m_scoreIndex = 0;
    bool m_blackout = false;
    double m_lastNavTime = 0;
    int m_inkStrokes = 0;
    bool m_outputHeld = false;
    qint64 m_writeRate = 0;
    bool m_answersDuplicated = false;
    struct PendingFrameFault
    {
        FrameFault fault;
        quint32 where;
    };
    std::optional<PendingFrameFault> m_frameFault;
    QTimer *m_pacer;
};

// RFC 4648 base 32, lowercase, without padding: the form join links carry.
QString base32(QByteArrayView bytes);

} // namespace pgw::hostsim
