// SPDX-License-Identifier: GPL-3.0-or-later
// Opening sealed boxes: [side: 1 byte][frames]. The even sides open as the Player (the Host's boxes), the odd
// ones as the Host simulator (the Player's). Each sealed frame's payload is opened in turn; a box that opens
// must be exactly what the other end seals its plaintext to at that sequence, and must open alike whether
// or not its buffer is shared.
#include "FuzzSupport.h"

#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"

using namespace pgw;

namespace {

using Side = PlayerSecureChannel::Side;

std::shared_ptr<PlayerSecureChannel> channel(Side side)
{
    auto channel
        = PlayerSecureChannel::create(fuzz::channelKid, fuzz::channelKeyMaterial, fuzz::channelNonce, side);
    fuzz::require(channel != nullptr, "the channel can be made");
    return channel;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Input input(data, size);
    const bool asHost = input.byte() % 2 == 1;
    const auto opener = channel(asHost ? Side::Host : Side::Player);
    const auto ownOpener = channel(asHost ? Side::Host : Side::Player);
    const auto sealer = channel(asHost ? Side::Player : Side::Host);

    FrameReader reader;
    reader.append(input.rest());
    while (auto frame = reader.next()) {
        if (frame->type != Wire::SealedFrame)
            continue;
        const quint64 sequence = opener->receiveSequence();
        const auto plaintext = opener->open(frame->payload);
        const auto ownPlaintext
            = ownOpener->open(QByteArray(frame->payload.constData(), frame->payload.size()));
        fuzz::require(plaintext == ownPlaintext, "a box opens alike from a shared or an own buffer");
        if (!plaintext) {
            fuzz::require(opener->receiveSequence() == sequence, "a box that does not open moves nothing on");
            continue;
        }
        fuzz::require(
            opener->receiveSequence() == sequence + 1, "an opened box moves the sequence on by one");
        fuzz::require(
            sealer->seal(*plaintext) == frame->payload, "an opened box is what its plaintext seals to");
    }
    return 0;
}
