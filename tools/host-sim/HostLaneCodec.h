// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <memory>
#include <optional>

namespace pgw::hostsim {

// The Host's side of the frames on one connection: reads what a Player sends, opening sealed frames
// once a secure hello has set up the channel, and writes answers, sealed while the channel exists.
class HostLaneCodec
{
public:
    struct Incoming
    {
        enum class Kind {
            SecureHello, // `message` holds {"v", "kid", "nonce"}
            Message,
            // A sealed frame that did not open, or anything that is not a JSON object.
            Unreadable,
        };
        Kind kind = Kind::Unreadable;
        QJsonObject message;
        bool sealed = false;
    };

    void append(QByteArrayView bytes) { m_reader.append(bytes); }
    // The next complete frame, or nothing until more bytes arrive.
    std::optional<Incoming> next();
    // A length outside the frame bounds: nothing more can be read.
    bool hasError() const { return m_reader.hasError(); }

    // Sets up the channel announced by a secure hello, with the Host's key material for its kid.
    bool startChannel(const QJsonObject &secureHello, QByteArrayView keyMaterial);
    void dropChannel() { m_channel.reset(); }
    bool hasChannel() const { return bool(m_channel); }
    PlayerSecureChannel *channel() const { return m_channel.get(); }

    // Frames ready to write, sealed when there is a channel and `plain` is not asked for.
    QByteArray message(const QJsonObject &message, bool plain = false);
    QByteArray assetResponse(const QJsonObject &header, QByteArrayView body);
    QByteArray assetChunk(const QJsonObject &header, QByteArrayView body);

private:
    QByteArray encode(quint8 type, const QList<QByteArrayView> &parts, bool plain);
    QByteArray asset(quint8 type, const QJsonObject &header, QByteArrayView body);

    FrameReader m_reader;
    std::shared_ptr<PlayerSecureChannel> m_channel;
};

// The payload of an asset frame: 4-byte header length, JSON header, body.
QByteArray assetPayload(const QJsonObject &header, QByteArrayView body);

} // namespace pgw::hostsim
