// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/NetworkEndpoint.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace pgw {

// One bidirectional byte connection to a Host. Callbacks run on the connection queue, never inside
// start(), send() or cancel(); after cancel() the only callback left is the Cancelled state.
class ByteStream
{
public:
    enum class State {
        Preparing,
        Ready,
        // The path is unusable for now: the peer refused, is unreachable or its name did not resolve.
        Waiting,
        Failed,
        Cancelled,
    };

    virtual ~ByteStream() = default;

    std::function<void(State)> onState;
    std::function<void(const QByteArray &)> onData;

    virtual void start() = 0;
    // Bytes sent while the stream is not ready are dropped.
    virtual void send(const QByteArray &bytes) = 0;
    virtual void cancel() = 0;
    virtual State state() const = 0;
    // Bytes given to send() that have not gone out yet.
    virtual qint64 bytesToWrite() const = 0;
    // Why the stream is waiting or failed, for the log; empty when there is nothing to say.
    virtual QString errorText() const { return {}; }
};

using ByteStreamFactory = std::function<std::shared_ptr<ByteStream>(const NetworkEndpoint &)>;

} // namespace pgw
