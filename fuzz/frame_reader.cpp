// SPDX-License-Identifier: GPL-3.0-or-later
// The frame reader over any byte stream, delivered whole and in pieces: [split: 2 bytes][piece size: 1 byte]
// [stream]. The stream is split at the chosen point and the part after it arrives in pieces of the chosen
// size (0: at once), as reads from a slow Host would.
#include "FuzzSupport.h"

#include "link/Wire.h"

using namespace pgw;

namespace {

struct Reading
{
    QList<Frame> frames;
    bool error = false;
    qsizetype buffered = 0;
    bool operator==(const Reading &) const = default;
};

Reading read(const QList<QByteArrayView> &pieces)
{
    FrameReader reader;
    Reading reading;
    for (QByteArrayView piece : pieces) {
        reader.append(piece);
        while (auto frame = reader.next())
            reading.frames.append(std::move(*frame));
    }
    reading.error = reader.hasError();
    reading.buffered = reader.bufferedBytes();
    return reading;
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
    const quint16 split = input.word();
    const quint8 pieceSize = input.byte();
    const QByteArrayView stream = input.rest();

    const Reading whole = read({stream});
    QList<QByteArrayView> pieces {stream.first(split % (stream.size() + 1))};
    for (QByteArrayView rest = stream.sliced(pieces.first().size()); !rest.isEmpty();) {
        const qsizetype take = pieceSize == 0 ? rest.size() : std::min<qsizetype>(pieceSize, rest.size());
        pieces.append(rest.first(take));
        rest = rest.sliced(take);
    }
    fuzz::require(read(pieces) == whole, "the frames do not depend on how the bytes arrive");

    QByteArray framed;
    for (const Frame &frame : whole.frames)
        framed += Wire::frame(frame.type, frame.payload);
    fuzz::require(stream.startsWith(framed), "each frame is the bytes it was read from");
    fuzz::require(whole.buffered == (whole.error ? 0 : stream.size() - framed.size()),
        "what is not a whole frame stays buffered until an error drops it");
    return 0;
}
