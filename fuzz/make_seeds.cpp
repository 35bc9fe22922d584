// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets from the sample show and the shared vectors, with the Player's
// own encoders:  pgw-fuzz-seeds SHARED_DIR CORPUS_DIR
// Each seed is CORPUS_DIR/<target>/seed-<name>; other files there (the regression inputs) are left alone.
#include "FuzzSupport.h"

#include "annotations/PrivateAnnotationEncoder.h"
#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"
#include "midi/MIDITurnBinding.h"
#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "support/Json.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QtEndian>

#include <cstdio>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QString corpus;

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "pgw-fuzz-seeds: %s\n", qUtf8Printable(why));
    std::exit(1);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        die(path + u": "_s + file.errorString());
    return file.readAll();
}

QJsonObject readObject(const QString &path)
{
    const auto object = json::parseObject(readFile(path));
    if (!object)
        die(path + u" is not a JSON object"_s);
    return *object;
}

void seed(const char *target, const char *name, const QByteArray &bytes)
{
    const QString directory = corpus + u'/' + QLatin1StringView(target);
    QFile file(directory + u"/seed-"_s + QLatin1StringView(name));
    if (!QDir().mkpath(directory) || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        die(file.fileName() + u": "_s + file.errorString());
}

QByteArray message(const QJsonObject &object)
{
    return Wire::frame(Wire::JsonMessage, json::compact(object));
}

QByteArray assetPayload(const QJsonObject &header, QByteArrayView body)
{
    const QByteArray headerBytes = json::compact(header);
    QByteArray payload(4, Qt::Uninitialized);
    qToBigEndian(quint32(headerBytes.size()), payload.data());
    return payload + headerBytes + body.toByteArray();
}

QByteArray bigEndian16(quint16 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray lines(const QList<QByteArray> &list)
{
    QByteArray text;
    for (const QByteArray &line : list)
        text += line + '\n';
    return text;
}

// The Host's answers and asset frames for the request ids the asset target has outstanding.
QByteArray assetFrames(const QByteArray &png)
{
    const QString &a1 = fuzz::assetRequestIds[0];
    const QString &a2 = fuzz::assetRequestIds[1];
    const QString &a3 = fuzz::assetRequestIds[2];
    const QByteArray body = png.first(600);
    QByteArray frames;
    frames += Wire::frame(Wire::AssetResponseFrame,
        assetPayload(
            {{"requestId"_L1, a1}, {"status"_L1, 200}, {"fingerprint"_L1, "ch-b0-1"_L1}}, body.first(100)));
    frames += Wire::frame(Wire::AssetChunkFrame,
        assetPayload({{"requestId"_L1, a2}, {"status"_L1, 200}, {"fingerprint"_L1, "ch-b1-1"_L1},
                         {"of"_L1, 3}, {"bytes"_L1, body.size()}},
            body.first(250)));
    frames += Wire::frame(
        Wire::AssetResponseFrame, assetPayload({{"requestId"_L1, a3}, {"status"_L1, 404}}, {}));
    frames += Wire::frame(
        Wire::AssetChunkFrame, assetPayload({{"requestId"_L1, a2}, {"seq"_L1, 1}}, body.sliced(250, 250)));
    frames += Wire::frame(
        Wire::AssetChunkFrame, assetPayload({{"requestId"_L1, a2}, {"seq"_L1, 2}}, body.sliced(500)));
    return frames;
}

void frameSeeds(const QJsonObject &manifest, const QByteArray &png, const QByteArray &box)
{
    const QByteArray hello = message(
        {{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, Wire::protocolVersion}, {"structureVersion"_L1, 1}});
    seed("frame_reader", "hello-ping",
        bigEndian16(3) + '\0' + hello + message({{"type"_L1, "ping"_L1}, {"t"_L1, 1}}));
    seed("frame_reader", "manifest-slow",
        bigEndian16(100) + '\7'
            + message({{"type"_L1, "manifest"_L1}, {"requestId"_L1, "m1"_L1}, {"manifest"_L1, manifest}}));
    seed("frame_reader", "assets", bigEndian16(40) + '\0' + assetFrames(png));
    seed("frame_reader", "sealed",
        bigEndian16(9) + '\0'
            + Wire::frame(
                Wire::SecureHelloFrame, Wire::secureHelloPayload(fuzz::channelKid, fuzz::channelNonce))
            + Wire::frame(Wire::SealedFrame, box));
    // Just over the size past which a payload is handed over rather than copied, then a small frame.
    seed("frame_reader", "large",
        bigEndian16(30000) + '\0' + Wire::frame(Wire::AssetResponseFrame, QByteArray(64 * 1024 + 8, '\0'))
            + hello);
    seed("frame_reader", "zero-length", bigEndian16(2) + '\1' + hello + QByteArray(4, '\0') + hello);
    seed("asset_frames", "answers", assetFrames(png));
}

void sealedSeeds(const QJsonObject &vectors, const QJsonObject &manifest, const QByteArray &png)
{
    using Side = PlayerSecureChannel::Side;
    const QJsonObject pin = vectors.value("pin"_L1).toObject();
    const auto hex = [&](const char *key) {
        return QByteArray::fromHex(pin.value(QLatin1StringView(key)).toString().toLatin1());
    };
    if (hex("ikm_hex") != fuzz::channelKeyMaterial || hex("connection_nonce_hex") != fuzz::channelNonce)
        die(u"the vectors' PIN channel is not the one the sealed-box target opens with"_s);

    // The Host's boxes, which the Player opens: the vectors' hello, a manifest and an asset.
    auto host = PlayerSecureChannel::create(
        fuzz::channelKid, fuzz::channelKeyMaterial, fuzz::channelNonce, Side::Host);
    const QByteArray helloBox = *host->seal(hex("h2c_seq0_plaintext_hex"));
    if (helloBox != hex("h2c_seq0_box_hex"))
        die(u"the Host's first box differs from the vectors'"_s);
    const QByteArray manifestBox = *host->seal(char(Wire::JsonMessage)
        + json::compact({{"type"_L1, "manifest"_L1}, {"requestId"_L1, "m1"_L1}, {"manifest"_L1, manifest}}));
    const QByteArray assetBox = *host->seal(char(Wire::AssetResponseFrame)
        + assetPayload({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}, {"fingerprint"_L1, "ch-b0-1"_L1}},
            png.first(200)));
    seed("sealed_box", "host-boxes",
        '\0' + Wire::frame(Wire::SealedFrame, helloBox) + Wire::frame(Wire::SealedFrame, manifestBox)
            + Wire::frame(Wire::SealedFrame, assetBox));

    // The Player's boxes, which the Host simulator opens.
    seed("sealed_box", "player-boxes",
        '\1' + Wire::frame(Wire::SealedFrame, hex("c2h_seq0_box_hex"))
            + Wire::frame(Wire::SealedFrame, hex("c2h_seq1_box_hex")));
    frameSeeds(manifest, png, helloBox);
}

void showSeeds(const QJsonObject &show)
{
    const QJsonObject manifest = show.value("manifest"_L1).toObject();
    const QByteArray hello
        = json::compact({{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, Wire::protocolVersion},
            {"structureVersion"_L1, 1}, {"state"_L1, manifest.value("state"_L1)}});
    const auto nav = [](int t, int page, int item, const char *key) {
        return json::compact({{"type"_L1, "nav"_L1}, {"t"_L1, t}, {"pageIndex"_L1, page},
            {"scoreIndex"_L1, item}, {"scoreKey"_L1, QLatin1StringView(key)}});
    };
    const QByteArray answers = 'M' + json::compact(manifest);
    seed("show_model", "follow",
        lines({answers, hello, nav(1, 1, 0, "chorale-g"), nav(2, 2, 0, "chorale-g"), "W1", "+", "+", "W11",
            json::compact({{"type"_L1, "blackout"_L1}, {"on"_L1, true}}),
            json::compact(
                {{"type"_L1, "presence"_L1}, {"count"_L1, 3}, {"names"_L1, QJsonArray {"Ann"_L1, "Bo"_L1}}}),
            json::compact({{"type"_L1, "marks"_L1}, {"structureVersion"_L1, 1},
                {"pages"_L1, QJsonArray {QJsonObject {{"index"_L1, 1}, {"marksVersion"_L1, "ch-m1-2"_L1}}}}}),
            "O", "-", "W3", hello, "X"}));
    seed("show_model", "parts",
        lines({answers, 'R' + json::compact(show.value("renditions"_L1).toObject()), "Ibuiltin:violin", hello,
            nav(1, 0, 1, "harbour-reel"), "Q", "Pvln", "+", "+", "B", nav(2, 1, 1, "harbour-reel"), "Pclar",
            "W2", nav(3, 0, 2, "processional"), "b"}));
    QJsonObject restructured = manifest;
    restructured.insert("structureVersion"_L1, 2);
    seed("show_model", "local-turns",
        lines({answers, hello, "L", "+", "+", "+", "+", "+", "+", "-", "F", "A", "+", "W10", "V",
            json::compact({{"type"_L1, "structure"_L1}, {"structureVersion"_L1, 2}}),
            'M' + json::compact(restructured), nav(4, 3, 0, "chorale-g"), "E"}));
    seed("show_model", "practice",
        lines({answers, "X", "J", "S", hello, "+", "+", "+", "+", "+", "+", "+", "-"}));
}

void inkSeeds(const QJsonObject &names)
{
    QJsonArray samples = names.value("demo_circle_samples"_L1).toArray();
    const auto ink = [](const char *phase, const char *id) {
        return QJsonObject {{"type"_L1, "ink"_L1}, {"phase"_L1, QLatin1StringView(phase)},
            {"strokeId"_L1, QLatin1StringView(id)}};
    };
    QJsonObject begin = ink("begin", "s1");
    begin.insert("pageIndex"_L1, 0);
    begin.insert("style"_L1, QJsonObject {{"color"_L1, QJsonArray {0.9, 0.1, 0.1, 1}}, {"width"_L1, 0.004}});
    begin.insert("samples"_L1, QJsonArray {samples.at(0), samples.at(1)});
    QJsonObject append = ink("append", "s1");
    append.insert("samples"_L1, QJsonArray(samples));
    QJsonObject second = ink("begin", "s2");
    second.insert("pageIndex"_L1, 2);
    second.insert("samples"_L1, QJsonArray {QJsonArray {0.5, 0.5}});
    const QByteArray stroke = lines(
        {json::compact(begin), json::compact(append), json::compact(ink("end", "s1")), json::compact(second),
            json::compact(ink("cancel", "s2")), "", "", "", "", "", "", json::compact(ink("end", "s9"))});
    seed("host_ink", "strokes", stroke);
    seed("show_model", "ink",
        lines(
            {json::compact({{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1}, {"structureVersion"_L1, 0}}),
                json::compact(begin), json::compact(append)}));
}

void annotationSeeds(const QJsonObject &show, const QJsonObject &names)
{
    const QJsonObject score = show.value("manifest"_L1).toObject().value("score"_L1).toObject();
    QList<PrivateAnnotationPoint> points;
    for (const QJsonValue &sample : names.value("demo_circle_samples"_L1).toArray()) {
        const QJsonArray values = sample.toArray();
        points.append({values.at(0).toDouble(), values.at(1).toDouble(), values.at(2).toDouble()});
    }
    PrivateAnnotationPages pages;
    const QJsonArray scorePages = score.value("pages"_L1).toArray();
    for (int i = 0; i < 2; ++i) {
        const QJsonObject page = scorePages.at(i).toObject();
        const auto key = PrivateAnnotationPageKey::rendered(score.value("scoreKey"_L1).toString(),
            page.value("baseVersion"_L1).toString(), page.value("index"_L1).toInt());
        const PrivateAnnotationStyle style {
            i == 0 ? PrivateAnnotationTool::pen : PrivateAnnotationTool::highlighter, {0.1, 0.2, 0.9, 0.5},
            0.004};
        pages.insert(*key,
            {{QUuid::fromString(u"00000000-0000-4000-8000-00000000000%1"_s.arg(i + 1)), style, points}});
    }
    // A Host's score key may hold half of a surrogate pair.
    pages.insert({u"solo\xd800|base:b1"_s, 3},
        {{QUuid::fromString(u"00000000-0000-4000-8000-000000000009"_s), {}, points.first(3)}});
    seed("annotation_file", "strokes", PrivateAnnotationEncoder().encode(pages));
}

void savedShowSeeds(const QJsonObject &show, const QJsonObject &names)
{
    const QJsonObject manifest = show.value("manifest"_L1).toObject();
    const QJsonObject renditions = show.value("renditions"_L1).toObject();
    DownloadedShowLibrary::Record record {*DownloadedShowContent::showIdentity(manifest), manifest};
    for (auto it = renditions.begin(); it != renditions.end(); ++it)
        record.renditionsByRef.insert(it.key(), it.value().toObject());
    record.expectedRenditionRefs = DownloadedShowContent::advertisedRenditionRefs(manifest);
    record.updatedAt = QDateTime::fromMSecsSinceEpoch(1'780'000'000'123, Qt::UTC);
    seed("saved_show", "sample-show", json::compact(record.toJson()));
    int n = 0;
    for (const QJsonValue &value : names.value("show_identity"_L1).toArray()) {
        const QJsonObject entry = value.toObject();
        DownloadedShowLibrary::Record other {
            entry.value("id"_L1).toString(), entry.value("manifest"_L1).toObject()};
        seed("saved_show", QByteArray("identity-" + QByteArray::number(++n)).constData(),
            json::compact(other.toJson()));
    }
    const QJsonObject catalog = manifest.value("instrumentCatalog"_L1).toObject();
    seed("instrument_catalog", "sample-show", json::compact(catalog));
    seed("instrument_catalog", "stored",
        json::compact({{"catalogID"_L1, "sample-v1"_L1},
            {"groups"_L1,
                QJsonArray {QJsonObject {{"id"_L1, "g.folk"_L1}, {"label"_L1, "Folk"_L1}, {"order"_L1, 3}}}},
            {"instruments"_L1,
                QJsonArray {QJsonObject {{"id"_L1, "custom:kazoo"_L1}, {"label"_L1, "Kazoo"_L1},
                    {"groupID"_L1, "g.folk"_L1}, {"aliases"_L1, QJsonArray {"Mirliton"_L1}},
                    {"custom"_L1, true}}}}}));
}

void linkSeeds(const QJsonObject &vectors)
{
    const QString k = vectors.value("link"_L1).toObject().value("k_text"_L1).toString();
    seed("join_link", "pin", "pagewright-player://join?host=192.168.1.20&port=7000&pin=4821");
    seed("join_link", "secret",
        (u"pagewright-player://join?host=stage.local&port=7000&k="_s + k + u"&service=Stage%20Left"_s)
            .toUtf8());
    seed("join_link", "service", "pagewright-player-mac://join?service=Stage%20Left&pin=%2012345678%20");
    seed("join_link", "base32", k.toUpper().toUtf8());
}

void midiSeeds()
{
    const auto word = [](quint32 value) {
        QByteArray bytes(4, Qt::Uninitialized);
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    // A note pressed and released, a sustain pedal pressed, held and released, between other messages.
    seed("midi_packets", "packets",
        word(1) + word(0x20903C64) + word(2) + word(0x20803C00) + word(0x20B0407F) + word(4)
            + word(0x40903C00) + word(0x12345678) + word(0x20B04050) + word(0x20B04000) + word(70)
            + word(0x30160000) + word(0));
    const MIDITurnBinding binding {
        u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s, PlayerMIDIMessageKind::controlChange, 0, 64, 64, 32};
    seed("midi_packets", "binding", binding.toData());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        die(u"usage: pgw-fuzz-seeds SHARED_DIR CORPUS_DIR"_s);
    fuzz::quietLogging();
    const QString shared = QString::fromLocal8Bit(argv[1]);
    corpus = QString::fromLocal8Bit(argv[2]);
    const QJsonObject show = readObject(shared + u"/sample-show/show.json"_s);
    const QJsonObject vectors = readObject(shared + u"/vectors/secure-channel.json"_s);
    const QJsonObject names = readObject(shared + u"/vectors/names-and-identities.json"_s);
    const QByteArray png = readFile(shared + u"/sample-show/pages/101/0/base.png"_s);

    sealedSeeds(vectors, show.value("manifest"_L1).toObject(), png);
    showSeeds(show);
    inkSeeds(names);
    annotationSeeds(show, names);
    savedShowSeeds(show, names);
    linkSeeds(vectors);
    midiSeeds();
    return 0;
}
