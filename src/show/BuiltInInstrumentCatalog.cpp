// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/BuiltInInstrumentCatalog.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace pgw::BuiltInInstrumentCatalog {

namespace {

struct Row
{
    QString id;
    QString label;
    QStringList aliases;
};

struct Section
{
    PlayerInstrumentGroup group;
    QList<Row> rows;
};

QList<Section> sections()
{
    return {
        {{u"builtin:group.voice"_s, u"Voice"_s, 0},
            {
                {u"builtin:vocal"_s, u"Vocal"_s, {u"Voice"_s, u"Vocals"_s}},
                {u"builtin:soprano"_s, u"Soprano"_s, {}},
                {u"builtin:mezzo-soprano"_s, u"Mezzo-Soprano"_s, {u"Mezzo"_s}},
                {u"builtin:alto"_s, u"Alto"_s, {u"Contralto"_s}},
                {u"builtin:countertenor"_s, u"Countertenor"_s, {}},
                {u"builtin:tenor"_s, u"Tenor"_s, {}},
                {u"builtin:baritone"_s, u"Baritone"_s, {}},
                {u"builtin:bass-voice"_s, u"Bass"_s, {u"Bass Voice"_s}},
                {u"builtin:choir"_s, u"Choir"_s, {u"Chorus"_s, u"Ensemble Vocals"_s}},
                {u"builtin:spoken-voice"_s, u"Spoken Voice"_s, {u"Narrator"_s, u"Speech"_s}},
            }},
        {{u"builtin:group.woodwind"_s, u"Woodwinds"_s, 1},
            {
                {u"builtin:piccolo"_s, u"Piccolo"_s, {}},
                {u"builtin:flute"_s, u"Flute"_s, {}},
                {u"builtin:alto-flute"_s, u"Alto Flute"_s, {}},
                {u"builtin:bass-flute"_s, u"Bass Flute"_s, {}},
                {u"builtin:oboe"_s, u"Oboe"_s, {}},
                {u"builtin:oboe-damore"_s, u"Oboe d'amore"_s, {u"Oboe d’amore"_s}},
                {u"builtin:english-horn"_s, u"English Horn"_s, {u"Cor Anglais"_s}},
                {u"builtin:bass-oboe"_s, u"Bass Oboe"_s, {u"Baritone Oboe"_s}},
                {u"builtin:heckelphone"_s, u"Heckelphone"_s, {}},
                {u"builtin:bassoon"_s, u"Bassoon"_s, {}},
                {u"builtin:contrabassoon"_s, u"Contrabassoon"_s, {u"Double Bassoon"_s}},
                {u"builtin:clarinet-e-flat"_s, u"E-flat Clarinet"_s, {u"E♭ Clarinet"_s, u"Eb Clarinet"_s}},
                {u"builtin:clarinet-b-flat"_s, u"B-flat Clarinet"_s,
                    {u"B♭ Clarinet"_s, u"Bb Clarinet"_s, u"Clarinet"_s}},
                {u"builtin:clarinet-a"_s, u"A Clarinet"_s, {}},
                {u"builtin:basset-horn"_s, u"Basset Horn"_s, {}},
                {u"builtin:alto-clarinet"_s, u"Alto Clarinet"_s, {}},
                {u"builtin:bass-clarinet"_s, u"Bass Clarinet"_s, {}},
                {u"builtin:contra-alto-clarinet"_s, u"Contra-Alto Clarinet"_s, {}},
                {u"builtin:contrabass-clarinet"_s, u"Contrabass Clarinet"_s, {}},
                {u"builtin:sopranino-saxophone"_s, u"Sopranino Saxophone"_s, {u"Sopranino Sax"_s}},
                {u"builtin:soprano-saxophone"_s, u"Soprano Saxophone"_s, {u"Soprano Sax"_s}},
                {u"builtin:alto-saxophone"_s, u"Alto Saxophone"_s, {u"Alto Sax"_s}},
                {u"builtin:tenor-saxophone"_s, u"Tenor Saxophone"_s, {u"Tenor Sax"_s}},
                {u"builtin:baritone-saxophone"_s, u"Baritone Saxophone"_s,
                    {u"Baritone Sax"_s, u"Bari Sax"_s}},
                {u"builtin:bass-saxophone"_s, u"Bass Saxophone"_s, {u"Bass Sax"_s}},
                {u"builtin:recorder"_s, u"Recorder"_s, {}},
                {u"builtin:sopranino-recorder"_s, u"Sopranino Recorder"_s, {}},
                {u"builtin:soprano-recorder"_s, u"Soprano Recorder"_s, {u"Descant Recorder"_s}},
                {u"builtin:alto-recorder"_s, u"Alto Recorder"_s, {u"Treble Recorder"_s}},
                {u"builtin:tenor-recorder"_s, u"Tenor Recorder"_s, {}},
                {u"builtin:bass-recorder"_s, u"Bass Recorder"_s, {}},
                {u"builtin:contrabass-recorder"_s, u"Contrabass Recorder"_s, {}},
                {u"builtin:tin-whistle"_s, u"Tin Whistle"_s, {u"Penny Whistle"_s}},
            }},
        {{u"builtin:group.brass"_s, u"Brass"_s, 2},
            {
                {u"builtin:trumpet"_s, u"Trumpet"_s, {}},
                {u"builtin:piccolo-trumpet"_s, u"Piccolo Trumpet"_s, {}},
                {u"builtin:bass-trumpet"_s, u"Bass Trumpet"_s, {}},
                {u"builtin:cornet"_s, u"Cornet"_s, {}},
                {u"builtin:flugelhorn"_s, u"Flugelhorn"_s, {u"Flügelhorn"_s}},
                {u"builtin:horn"_s, u"Horn"_s, {u"French Horn"_s, u"Horn in F"_s}},
                {u"builtin:mellophone"_s, u"Mellophone"_s, {}},
                {u"builtin:alto-horn"_s, u"Alto Horn"_s, {u"Tenor Horn"_s}},
                {u"builtin:alto-trombone"_s, u"Alto Trombone"_s, {}},
                {u"builtin:trombone"_s, u"Trombone"_s, {u"Tenor Trombone"_s}},
                {u"builtin:bass-trombone"_s, u"Bass Trombone"_s, {}},
                {u"builtin:contrabass-trombone"_s, u"Contrabass Trombone"_s, {}},
                {u"builtin:euphonium"_s, u"Euphonium"_s, {}},
                {u"builtin:baritone-horn"_s, u"Baritone Horn"_s, {}},
                {u"builtin:tuba"_s, u"Tuba"_s, {}},
                {u"builtin:sousaphone"_s, u"Sousaphone"_s, {}},
                {u"builtin:wagner-tuba"_s, u"Wagner Tuba"_s, {}},
                {u"builtin:cimbasso"_s, u"Cimbasso"_s, {}},
            }},
        {{u"builtin:group.strings"_s, u"Strings"_s, 3},
            {
                {u"builtin:violin"_s, u"Violin"_s, {}},
                {u"builtin:viola"_s, u"Viola"_s, {}},
                {u"builtin:cello"_s, u"Cello"_s, {u"Violoncello"_s}},
                {u"builtin:double-bass"_s, u"Double Bass"_s, {u"Upright Bass"_s, u"String Bass"_s}},
                {u"builtin:harp"_s, u"Harp"_s, {}},
                {u"builtin:electric-violin"_s, u"Electric Violin"_s, {}},
                {u"builtin:electric-viola"_s, u"Electric Viola"_s, {}},
                {u"builtin:electric-cello"_s, u"Electric Cello"_s, {}},
                {u"builtin:electric-double-bass"_s, u"Electric Upright Bass"_s, {u"Electric Double Bass"_s}},
            }},
        {{u"builtin:group.guitar"_s, u"Guitars & Plucked Strings"_s, 4},
            {
                {u"builtin:acoustic-guitar"_s, u"Acoustic Guitar"_s, {}},
                {u"builtin:classical-guitar"_s, u"Classical Guitar"_s, {u"Nylon-String Guitar"_s}},
                {u"builtin:electric-guitar"_s, u"Electric Guitar"_s, {}},
                {u"builtin:bass-guitar"_s, u"Electric Bass"_s, {u"Bass Guitar"_s, u"Electric Bass Guitar"_s}},
                {u"builtin:fretless-bass-guitar"_s, u"Fretless Bass Guitar"_s, {u"Fretless Bass"_s}},
                {u"builtin:acoustic-bass-guitar"_s, u"Acoustic Bass Guitar"_s, {u"Acoustic Bass"_s}},
                {u"builtin:twelve-string-guitar"_s, u"12-String Guitar"_s, {u"Twelve-String Guitar"_s}},
                {u"builtin:baritone-guitar"_s, u"Baritone Guitar"_s, {}},
                {u"builtin:resonator-guitar"_s, u"Resonator Guitar"_s, {u"Dobro"_s}},
                {u"builtin:pedal-steel-guitar"_s, u"Pedal Steel Guitar"_s, {u"Pedal Steel"_s}},
                {u"builtin:lap-steel-guitar"_s, u"Lap Steel Guitar"_s, {u"Lap Steel"_s}},
                {u"builtin:banjo"_s, u"Banjo"_s, {}},
                {u"builtin:mandolin"_s, u"Mandolin"_s, {}},
                {u"builtin:ukulele"_s, u"Ukulele"_s, {u"Uke"_s}},
                {u"builtin:bouzouki"_s, u"Bouzouki"_s, {}},
                {u"builtin:chapman-stick"_s, u"Chapman Stick"_s, {u"Stick"_s}},
            }},
        {{u"builtin:group.keys"_s, u"Keyboards & Free Reeds"_s, 5},
            {
                {u"builtin:piano"_s, u"Piano"_s, {}},
                {u"builtin:electric-piano"_s, u"Electric Piano"_s, {u"Rhodes"_s, u"Wurlitzer"_s}},
                {u"builtin:keyboard"_s, u"Keyboard"_s, {u"Keys"_s}},
                {u"builtin:synthesizer"_s, u"Synthesizer"_s, {u"Synth"_s}},
                {u"builtin:organ"_s, u"Organ"_s, {}},
                {u"builtin:drawbar-organ"_s, u"Drawbar Organ"_s, {u"Hammond Organ"_s}},
                {u"builtin:pipe-organ"_s, u"Pipe Organ"_s, {}},
                {u"builtin:harpsichord"_s, u"Harpsichord"_s, {}},
                {u"builtin:celesta"_s, u"Celesta"_s, {u"Celeste"_s}},
                {u"builtin:clavichord"_s, u"Clavichord"_s, {}},
                {u"builtin:accordion"_s, u"Accordion"_s, {}},
                {u"builtin:bandoneon"_s, u"Bandoneon"_s, {}},
                {u"builtin:concertina"_s, u"Concertina"_s, {}},
                {u"builtin:harmonium"_s, u"Harmonium"_s, {}},
                {u"builtin:melodica"_s, u"Melodica"_s, {}},
                {u"builtin:harmonica"_s, u"Harmonica"_s, {u"Mouth Harp"_s}},
            }},
        {{u"builtin:group.percussion"_s, u"Percussion"_s, 6},
            {
                {u"builtin:drum-set"_s, u"Drum Set"_s, {u"Drums"_s, u"Drum Kit"_s}},
                {u"builtin:percussion"_s, u"Percussion"_s, {u"General Percussion"_s}},
                {u"builtin:auxiliary-percussion"_s, u"Auxiliary Percussion"_s, {u"Aux Percussion"_s}},
                {u"builtin:timpani"_s, u"Timpani"_s, {u"Kettledrums"_s}},
                {u"builtin:mallet-percussion"_s, u"Mallet Percussion"_s, {u"Mallets"_s}},
                {u"builtin:marimba"_s, u"Marimba"_s, {}},
                {u"builtin:vibraphone"_s, u"Vibraphone"_s, {u"Vibes"_s}},
                {u"builtin:xylophone"_s, u"Xylophone"_s, {}},
                {u"builtin:glockenspiel"_s, u"Glockenspiel"_s, {u"Orchestra Bells"_s}},
                {u"builtin:crotales"_s, u"Crotales"_s, {u"Antique Cymbals"_s}},
                {u"builtin:tubular-bells"_s, u"Tubular Bells"_s, {u"Chimes"_s}},
                {u"builtin:snare-drum"_s, u"Snare Drum"_s, {}},
                {u"builtin:bass-drum"_s, u"Bass Drum"_s, {}},
                {u"builtin:tenor-drums"_s, u"Tenor Drums"_s, {u"Quads"_s, u"Quints"_s}},
                {u"builtin:cymbals"_s, u"Cymbals"_s, {}},
                {u"builtin:gong"_s, u"Gong"_s, {u"Tam-tam"_s}},
                {u"builtin:triangle"_s, u"Triangle"_s, {}},
                {u"builtin:tambourine"_s, u"Tambourine"_s, {}},
                {u"builtin:congas"_s, u"Congas"_s, {}},
                {u"builtin:bongos"_s, u"Bongos"_s, {}},
                {u"builtin:timbales"_s, u"Timbales"_s, {}},
                {u"builtin:cajon"_s, u"Cajón"_s, {u"Cajon"_s}},
                {u"builtin:djembe"_s, u"Djembe"_s, {}},
                {u"builtin:tabla"_s, u"Tabla"_s, {}},
                {u"builtin:hand-percussion"_s, u"Hand Percussion"_s, {}},
                {u"builtin:latin-percussion"_s, u"Latin Percussion"_s, {}},
                {u"builtin:steel-pan"_s, u"Steel Pan"_s, {u"Steel Drum"_s}},
                {u"builtin:handbells"_s, u"Handbells"_s, {}},
                {u"builtin:electronic-drums"_s, u"Electronic Drums"_s, {u"Electronic Drum Kit"_s}},
                {u"builtin:marching-percussion"_s, u"Marching Percussion"_s, {u"Battery"_s}},
            }},
        {{u"builtin:group.electronic-playback"_s, u"Electronic & Playback"_s, 7},
            {
                {u"builtin:ewi"_s, u"Electronic Wind Instrument"_s, {u"EWI"_s, u"Wind Controller"_s}},
                {u"builtin:sampler"_s, u"Sampler"_s, {}},
                {u"builtin:drum-machine"_s, u"Drum Machine"_s, {}},
                {u"builtin:modular-synthesizer"_s, u"Modular Synthesizer"_s, {u"Modular Synth"_s}},
                {u"builtin:theremin"_s, u"Theremin"_s, {}},
                {u"builtin:live-electronics"_s, u"Live Electronics"_s, {u"Electronics"_s}},
                {u"builtin:laptop"_s, u"Laptop"_s, {u"Computer"_s}},
                {u"builtin:playback"_s, u"Playback"_s, {u"Tracks"_s}},
                {u"builtin:sequencer"_s, u"Sequencer"_s, {}},
                {u"builtin:dj"_s, u"DJ"_s, {u"Turntables"_s}},
                {u"builtin:midi-controller"_s, u"MIDI Controller"_s, {}},
            }},
        {{u"builtin:group.world-folk"_s, u"World & Folk"_s, 8},
            {
                {u"builtin:bagpipes"_s, u"Bagpipes"_s, {u"Pipes"_s}},
                {u"builtin:pan-flute"_s, u"Pan Flute"_s, {u"Panpipes"_s}},
                {u"builtin:didgeridoo"_s, u"Didgeridoo"_s, {}},
                {u"builtin:erhu"_s, u"Erhu"_s, {}},
                {u"builtin:guzheng"_s, u"Guzheng"_s, {}},
                {u"builtin:koto"_s, u"Koto"_s, {}},
                {u"builtin:shamisen"_s, u"Shamisen"_s, {}},
                {u"builtin:pipa"_s, u"Pipa"_s, {}},
                {u"builtin:sitar"_s, u"Sitar"_s, {}},
                {u"builtin:sarod"_s, u"Sarod"_s, {}},
                {u"builtin:oud"_s, u"Oud"_s, {}},
                {u"builtin:kora"_s, u"Kora"_s, {}},
            }},
        {{u"builtin:group.other"_s, u"Other"_s, 9},
            {
                {u"builtin:other"_s, u"Other Instrument"_s, {}},
            }},
    };
}

PlayerInstrumentCatalog build()
{
    PlayerInstrumentCatalog built {catalogID, {}, {}};
    for (const Section &section : sections()) {
        built.groups.append(section.group);
        for (const Row &row : section.rows)
            built.instruments.append({row.id, row.label, section.group.id, row.aliases, false});
    }
    return built;
}

template<typename Entry>
QSet<QString> idsOf(const QList<Entry> &entries)
{
    QSet<QString> ids;
    for (const Entry &entry : entries)
        ids.insert(entry.id);
    return ids;
}

} // namespace

const PlayerInstrumentCatalog &catalog()
{
    static const PlayerInstrumentCatalog built = build();
    return built;
}

bool isGroupID(const QString &id)
{
    static const QSet<QString> ids = idsOf(catalog().groups);
    return ids.contains(id);
}

bool isInstrumentID(const QString &id)
{
    static const QSet<QString> ids = idsOf(catalog().instruments);
    return ids.contains(id);
}

} // namespace pgw::BuiltInInstrumentCatalog
