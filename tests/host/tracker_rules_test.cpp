// The rules of Scream Tracker 3, FastTracker 2 and Impulse Tracker where replayers go
// wrong, traced tick by tick against values worked out by hand from the trackers' own
// documents: ST3.DOC and TECH.DOC, the XM format document and FastTracker 2's help,
// IT.TXT and ITTECH.TXT.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sound/player.h"
#include "sound/tracker_rules.h"

namespace {

constexpr std::size_t framesPerTick = 882;   // 44,100 Hz at tempo 125, as every song here plays
constexpr int c4 = noteMiddleC;              // S3M's and XM's C-4, IT's C-5: the sample's base rate
constexpr int c5 = noteMiddleC + 12;
constexpr int d5 = noteMiddleC + 2;          // two and four semitones above it
constexpr int e5 = noteMiddleC + 4;

// What a trace follows on each tick.
enum class Field { Period, Frequency, Volume, FinalVolume, VolumeEnvelope, Voices, Tempo, GlobalVolume, RowTick,
                   TicksPlayed, VibratoOffset };

// A song of one pattern whose sample loops a sine at the middle note's base rate; in XM
// and IT the instrument plays it on every note.
struct Score {
    Module module;

    explicit Score(ModuleFormat format, int channels = 1, int rows = 64, int speed = 6)
    {
        module.format = format;
        module.channels = channels;
        module.channelSettings.resize(static_cast<std::size_t>(channels));
        module.orders = {0};
        module.patterns.resize(1);
        module.patterns[0].rows = rows;
        module.patterns[0].cells.resize(static_cast<std::size_t>(rows * channels));
        module.initialSpeed = speed;
        Sample sample;
        for (int i = 0; i < 1024; ++i) {
            sample.data.push_back(static_cast<std::int16_t>(std::lround(12000.0 * std::sin(i * M_PI / 16))));
        }
        sample.loop = LoopMode::Forward;
        sample.loopEnd = 1024;
        module.samples.push_back(sample);
        if (format == ModuleFormat::S3m) {
            module.createdWith = 0x1320;   // Scream Tracker 3.20 itself, with its own periods
            return;
        }
        module.linearSlides = true;
        Instrument instrument;
        for (int note = noteFirst; note <= noteLast; ++note) {
            instrument.keys[static_cast<std::size_t>(note - 1)] = {static_cast<std::uint8_t>(note), 1};
        }
        module.instruments.push_back(instrument);
    }
    // A cell of channel 0 (or `channel`); a playable note comes with the first instrument.
    Score& put(int row, int note, Effect effect = Effect::None, int parameter = 0,
               VolumeCommand command = VolumeCommand::None, int value = 0, int channel = 0)
    {
        Cell& cell = module.cell(0, row, channel);
        cell = Cell{static_cast<std::uint8_t>(note), static_cast<std::uint8_t>(isPlayableNote(note) ? 1 : 0), command,
                    static_cast<std::uint8_t>(value), effect, static_cast<std::uint8_t>(parameter)};
        return *this;
    }
    Score& effect(int row, int channel, Effect effect, int parameter)
    {
        return put(row, noteNone, effect, parameter, VolumeCommand::None, 0, channel);
    }
    Score& column(int row, VolumeCommand command, int value, int note = noteNone)
    {
        return put(row, note, Effect::None, 0, command, value);
    }
    Sample& sample() { return module.samples[0]; }
    Instrument& instrument() { return module.instruments[0]; }
};

Envelope envelope(std::vector<Envelope::Point> points)
{
    Envelope result;
    result.enabled = true;
    result.points = std::move(points);
    return result;
}

// The field on each of the first `ticks` ticks, for channel 0. The voices and the sample
// position need each tick mixed, so that samples run and end; the rest only steps the song.
std::vector<int> trace(const Module& module, Field field, std::size_t ticks)
{
    Player player(module);
    std::vector<std::int16_t> out(2 * framesPerTick);
    std::vector<int> result;
    std::int64_t position = 0;
    const bool mixed = field == Field::Voices || field == Field::TicksPlayed || field == Field::VibratoOffset;
    while (result.size() < ticks) {
        if (mixed) {
            player.render(out.data(), framesPerTick);
        } else {
            player.advanceTick();
        }
        const ChannelTrace c = player.channel(0);
        // The sample's frames for one tick at the channel's frequency.
        const double framesAtPitch = c.frequency * static_cast<double>(framesPerTick) / 44100.0;
        switch (field) {
        case Field::Period: result.push_back(c.period); break;
        case Field::Frequency: result.push_back(static_cast<int>(c.frequency)); break;
        case Field::Volume: result.push_back(c.volume); break;
        case Field::FinalVolume: result.push_back(c.finalVolume); break;
        case Field::VolumeEnvelope: result.push_back(c.volumeEnvelope); break;
        case Field::Voices: result.push_back(player.voicesSounding()); break;
        case Field::Tempo: result.push_back(player.tempo()); break;
        case Field::GlobalVolume: result.push_back(player.globalVolume()); break;
        case Field::RowTick: result.push_back(player.row() * 100 + player.tick()); break;
        case Field::TicksPlayed:   // since the sample's start
            result.push_back(static_cast<int>(std::lround(c.position / framesAtPitch)));
            break;
        case Field::VibratoOffset: {
            // 1/64 semitones between the pitch the sample moved at in this tick (its loop
            // being longer than a tick's frames) and the note's own, from its linear period
            // (the XM document: Frequency = 8363 * 2 ^ ((4608 - Period) / 768)).
            const double noteFrames = 8363.0 * std::exp2((4608.0 - c.period) / 768.0) * framesPerTick / 44100.0;
            const std::int64_t loop = module.samples[0].loopEnd;
            const std::int64_t moved = ((c.position - position) % loop + loop) % loop;
            position = c.position;
            result.push_back(static_cast<int>(std::lround(std::fabs(768.0 * std::log2(moved / noteFrames)))));
            break;
        }
        }
    }
    return result;
}

struct Case {
    const char* name;
    Module module;
    Field field;
    std::vector<int> expected;
    int tolerance = 0;   // for traces measured from the sample's position
};

void expectTraces(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<int> actual = trace(c.module, c.field, c.expected.size());
        if (c.tolerance == 0) {
            EXPECT_EQ(actual, c.expected);
            continue;
        }
        const bool near = std::equal(actual.begin(), actual.end(), c.expected.begin(),
                                     [&c](int a, int e) { return std::abs(a - e) <= c.tolerance; });
        EXPECT_TRUE(near) << ::testing::PrintToString(actual) << " against " << ::testing::PrintToString(c.expected);
    }
}

// Rules that give no values of their own, only that two songs play alike (or do not): each
// trace must also move, so that two flat traces cannot pass for alike.
struct Pair {
    const char* name;
    Module first;
    Module second;
    Field field;
    bool alike;
};

void expectPairs(const std::vector<Pair>& pairs)
{
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.name);
        const std::vector<int> first = trace(p.first, p.field, 24);
        EXPECT_NE(*std::min_element(first.begin(), first.end()), *std::max_element(first.begin(), first.end()));
        EXPECT_EQ(first == trace(p.second, p.field, 24), p.alike);
    }
}

std::vector<int> repeat(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> result;
    for (const auto& run : runs) {
        result.insert(result.end(), static_cast<std::size_t>(run.second), run.first);
    }
    return result;
}

// An S3M song playing C-4 with `effect` on row 0, then the effects given for rows 1 on.
Module s3m(Effect effect, int parameter, std::initializer_list<std::pair<Effect, int>> after = {}, int volume = 64)
{
    Score song(ModuleFormat::S3m);
    song.sample().volume = volume;
    song.put(0, c4, effect, parameter);
    int row = 1;
    for (const auto& cell : after) {
        song.effect(row++, 0, cell.first, cell.second);
    }
    return song.module;
}

} // namespace

// Speed 6; C-4 at 8,363 Hz has Scream Tracker's period 1,712 (TECH.DOC's period table).
TEST(TrackerRules, ScreamTracker3)
{
    using E = Effect;
    std::vector<Case> cases;
    // ST3.DOC: a parameter of 00 repeats the channel's last one, whichever effect gave it; Exx
    // lowers the pitch on each tick but the first by 4 * xx of Scream Tracker's periods.
    cases.push_back({"D04 then E00 slides the pitch by 04", s3m(E::VolumeSlideS3m, 0x04, {{E::PortamentoDownS3m, 0}}),
                     Field::Period, repeat({{1712, 7}, {1728, 1}, {1744, 1}, {1760, 1}, {1776, 1}, {1792, 1}})});
    // ST3.DOC: Kxy is H00 with Dxy and Lxy G00 with Dxy, so K00 and L00 slide by the last D.
    cases.push_back({"K00 slides the volume by D04", s3m(E::VolumeSlideS3m, 0x04, {{E::VibratoVolumeS3m, 0}}),
                     Field::Volume, {64, 60, 56, 52, 48, 44, 44, 40, 36, 32, 28, 24}});
    cases.push_back({"L00 slides the volume by D02",
                     s3m(E::VolumeSlideS3m, 0x02, {{E::TonePortamentoVolumeS3m, 0}}), Field::Volume,
                     {64, 62, 60, 58, 56, 54, 54, 52, 50, 48, 46, 44}});
    // ST3.DOC: D0y slides by y on each tick but the first; D0F is such a slide, not a fine one.
    cases.push_back({"D0F", s3m(E::VolumeSlideS3m, 0x0F), Field::Volume, {64, 49, 34, 19, 4, 0}});
    // ST3.DOC: DxF and DFy move the volume once, on the first tick; D00 repeats DF2.
    cases.push_back({"fine volume slides",
                     s3m(E::VolumeSlideS3m, 0x3F, {{E::VolumeSlideS3m, 0xF2}, {E::VolumeSlideS3m, 0}}, 32),
                     Field::Volume, repeat({{35, 6}, {33, 6}, {31, 6}})});
    // ST3.DOC: EFx and FFx move the period by 4x once, EEx and FEx by x once.
    cases.push_back({"fine and extra fine portamento",
                     s3m(E::PortamentoDownS3m, 0xF2,
                         {{E::PortamentoDownS3m, 0xE3}, {E::PortamentoUpS3m, 0xF1}, {E::PortamentoUpS3m, 0xE2}}),
                     Field::Period, repeat({{1720, 6}, {1723, 6}, {1719, 6}, {1717, 6}})});
    // ST3.DOC: SDx plays the row's note x ticks late; TECH.DOC: C-5 has half C-4's period.
    cases.push_back({"SD2", Score(ModuleFormat::S3m).put(0, c4).put(1, c5, E::Special, 0xD2).module, Field::Period,
                     repeat({{1712, 8}, {856, 4}})});
    // ST3.DOC: SCx cuts the note (its volume to 0) after x ticks.
    cases.push_back({"SC2", s3m(E::Special, 0xC2), Field::Volume, {64, 64, 0, 0, 0, 0}});
    // ST3.DOC: SB0 marks the loop's start, SBx plays the loop x more times.
    cases.push_back({"SB0 and SB2", Score(ModuleFormat::S3m, 1, 64, 1).effect(1, 0, E::Special, 0xB0)
                                        .effect(2, 0, E::Special, 0xB2).module,
                     Field::RowTick, {0, 100, 200, 100, 200, 100, 200, 300}});
    // ST3.DOC: SEx plays the row x more times, its ticks counting on through the repeats.
    cases.push_back({"SE2", Score(ModuleFormat::S3m, 1, 64, 2).effect(0, 0, E::Special, 0xE2).module,
                     Field::RowTick, {0, 1, 2, 3, 4, 5, 100, 101}});
    // ST3.DOC's Amiga limits keep ProTracker's periods: B-3's 113 is 452 in Scream Tracker's units.
    Module slide = s3m(E::PortamentoUpS3m, 0x20);
    slide.cell(0, 0, 0).note = c5;
    cases.push_back({"F20 without Amiga limits", slide, Field::Period, {856, 728, 600, 472, 344, 216}});
    slide.amigaLimits = true;
    cases.push_back({"F20 with Amiga limits", slide, Field::Period, {856, 728, 600, 472, 452, 452}});
    // ST3.DOC: Qxy retriggers every y ticks, changing the volume by x's rule each time: the
    // ticks after the row's first count, so Q22 retriggers on ticks 2 and 4.
    cases.push_back({"Q22: -2", s3m(E::RetriggerS3m, 0x22), Field::Volume, {64, 64, 62, 62, 60, 60}});
    cases.push_back({"Q73: / 2", s3m(E::RetriggerS3m, 0x73), Field::Volume, {64, 64, 64, 32, 32, 32}});
    cases.push_back({"Q71: / 2", s3m(E::RetriggerS3m, 0x71, {}, 32), Field::Volume, {32, 16, 8, 4, 2, 1}});
    cases.push_back({"QE3: * 3/2", s3m(E::RetriggerS3m, 0xE3, {}, 32), Field::Volume, {32, 32, 32, 48, 48, 48}});
    expectTraces(cases);

    // ST3.DOC: H00 goes on with the last vibrato; as ProTracker's 4xy, a speed or depth of 0
    // keeps the last one.
    expectPairs({{"H00, H40 and H08 keep the speed and depth", s3m(E::VibratoS3m, 0x48, {{E::VibratoS3m, 0x00},
                                                                   {E::VibratoS3m, 0x40}, {E::VibratoS3m, 0x08}}),
                  s3m(E::VibratoS3m, 0x48, {{E::VibratoS3m, 0x48}, {E::VibratoS3m, 0x48}, {E::VibratoS3m, 0x48}}),
                  Field::Period, true},
                 {"H80 is faster", s3m(E::VibratoS3m, 0x48, {{E::VibratoS3m, 0x80}}),
                  s3m(E::VibratoS3m, 0x48, {{E::VibratoS3m, 0x48}}), Field::Period, false}});
}

// Linear periods; speed 6. The XM document: Period = 7680 - Note * 64 - FineTune / 2, the
// note counted from C-0 with the sample's relative note added: C-4 is 4608.
TEST(TrackerRules, FastTracker2)
{
    const auto xm = [] { return Score(ModuleFormat::Xm); };
    std::vector<Case> cases;
    struct Pitch {
        int note;
        int relativeNote;
        int finetune;   // whole 1/16 semitones (8 units), as FastTracker 2 plays them
        int period;
    };
    for (const Pitch& p : {Pitch{c4, 0, 0, 4608}, Pitch{c4, 12, 0, 3840}, Pitch{c4, -1, 64, 4640},
                           Pitch{c5, 0, -128, 3904}, Pitch{c4, 0, -104, 4660}, Pitch{c4, -13, 120, 5380}}) {
        Score song = xm();
        song.sample().relativeNote = p.relativeNote;
        song.sample().finetune = p.finetune;
        cases.push_back({"period of note, relative note and finetune", song.put(0, p.note).module, Field::Period,
                         {p.period}});
        // The XM document: Frequency = 8363 * 2 ^ ((4608 - Period) / 768).
        if (p.period == 3840) {
            cases.push_back({"an octave up", song.module, Field::Frequency, {16726}});
        }
    }
    // The XM document: the volume envelope holds at its sustain point until the key-off, then
    // goes on; from the key-off the fade volume falls by the fadeout on every tick. Each tick
    // plays the envelope's value where it stands, then moves it on.
    {
        Score song = xm();
        Envelope& volume = song.instrument().volumeEnvelope = envelope({{0, 64}, {2, 32}, {6, 0}});
        volume.sustain = true;
        volume.sustainStart = volume.sustainEnd = 1;
        song.instrument().fadeout = 4096;
        song.put(0, c4).put(1, noteOff);
        // 64, 48, 32 held; from the key-off 32, 24, 16, 8 times 15/16, 14/16, 13/16, 12/16.
        cases.push_back({"sustain point, key-off and fade", song.module, Field::FinalVolume,
                         {16384, 12288, 8192, 8192, 8192, 8192, 7680, 5376, 3328, 1536, 0}});
    }
    // FastTracker 2 goes back to an envelope loop's start on the tick that reaches its end, so a
    // loop from tick 2 to tick 4 lasts two ticks (Impulse Tracker's three).
    {
        Score song = xm();
        Envelope& volume = song.instrument().volumeEnvelope = envelope({{0, 64}, {2, 32}, {3, 16}, {4, 32}});
        volume.loop = true;
        volume.loopStart = 1;
        volume.loopEnd = 3;
        cases.push_back({"envelope loop", song.put(0, c4).module, Field::FinalVolume,
                         {16384, 12288, 8192, 4096, 8192, 4096, 8192, 4096}});
    }
    // FastTracker 2's help: a key-off without a volume envelope silences the note; Kxx is a
    // key-off on tick xx.
    cases.push_back({"key-off without an envelope", xm().put(0, c4).put(1, noteOff).module, Field::Volume,
                     repeat({{64, 6}, {0, 2}})});
    cases.push_back({"K03", xm().put(0, c4, Effect::KeyOff, 3).module, Field::Volume, {64, 64, 64, 0, 0, 0}});
    // FastTracker 2's help: Lxx sets the envelope's position: 64 falling by 4 a tick, from tick 8.
    {
        Score song = xm();
        song.instrument().volumeEnvelope = envelope({{0, 64}, {16, 0}});
        song.put(0, c4, Effect::EnvelopePosition, 8);
        cases.push_back({"L08", song.module, Field::FinalVolume, {8192, 7168, 6144, 5120, 4096, 3072}});
        cases.push_back({"L08: ticks into the envelope", song.module, Field::VolumeEnvelope, {9, 10, 11, 12, 13, 14}});
    }
    // The XM document's volume column: slides on every tick but the first, fine slides once.
    cases.push_back({"volume column slides",
                     xm().column(0, VolumeCommand::VolumeSlideDown, 4, c4).column(1, VolumeCommand::FineVolumeDown, 8)
                         .column(2, VolumeCommand::FineVolumeUp, 2).column(3, VolumeCommand::VolumeSlideUp, 3).module,
                     Field::Volume,
                     {64, 60, 56, 52, 48, 44, 36, 36, 36, 36, 36, 36, 38, 38, 38, 38, 38, 38, 38, 41, 44, 47, 50, 53}});
    // The volume column's Fx is 3xx at x * 16, 64 (a quarter semitone) a tick, toward D-4.
    cases.push_back({"volume column tone portamento",
                     xm().put(0, c4).column(1, VolumeCommand::TonePortamento, 1, d5).module, Field::Period,
                     repeat({{4608, 7}, {4544, 1}, {4480, 4}})});
    // FastTracker 2's help: E9x retriggers the note every x ticks, EDx plays it x ticks late.
    cases.push_back({"E92", xm().put(0, c4, Effect::Extended, 0x92).module, Field::TicksPlayed, {1, 2, 1, 2, 1, 2}});
    cases.push_back({"ED3", xm().put(0, c4).put(1, d5, Effect::Extended, 0xD3).module, Field::Period,
                     repeat({{4608, 9}, {4480, 3}})});
    // The XM document's vibrato sweep: the instrument's vibrato grows to its depth (in 1/64
    // semitone, a square wave standing still) over that many ticks after the first.
    {
        Score song = xm();
        song.sample().data.assign(8192, 10000);
        song.sample().loopEnd = 8192;
        song.sample().vibrato = AutoVibrato{1, 0, 12, 4};
        cases.push_back({"vibrato sweep", song.put(0, c4 + 48).module, Field::VibratoOffset,
                         {0, 3, 6, 9, 12, 12, 12}, 1});
    }
    expectTraces(cases);

    // FastTracker 2's help: the volume column's Sx sets the vibrato's speed, Vx vibrates at depth x.
    expectPairs({{"volume column vibrato is 4xy",
                  xm().column(0, VolumeCommand::VibratoSpeed, 4, c4).column(1, VolumeCommand::VibratoDepth, 8).module,
                  xm().put(0, c4).put(1, noteNone, Effect::Vibrato, 0x48).module, Field::Period, true},
                 {"at another depth it is not",
                  xm().column(0, VolumeCommand::VibratoSpeed, 4, c4).column(1, VolumeCommand::VibratoDepth, 8).module,
                  xm().put(0, c4).put(1, noteNone, Effect::Vibrato, 0x47).module, Field::Period, false}});
}

// Speed 6 unless a case sets it; instrument mode. ITTECH: the final volume is the product of
// the note's, the sample's, the instrument's, the channel's, the song's and the envelope's
// volumes and the fade, 16,384 when all are full.
TEST(TrackerRules, ImpulseTracker)
{
    const auto it = [](int channels = 1, int speed = 6) { return Score(ModuleFormat::It, channels, 64, speed); };
    std::vector<Case> cases;
    // IT.TXT: ~~~ fades the note, ^^^ cuts it; ITTECH: the fade volume falls by the fadeout on
    // each tick from then on, and a note off fades an instrument without a volume envelope.
    {
        Score song = it();
        song.instrument().fadeout = 8192;
        const std::vector<int> fading = {16384, 16384, 16384, 16384, 16384, 16384, 14336, 12288, 10240, 8192, 6144,
                                         4096, 2048, 0};
        cases.push_back({"note fade", song.put(0, c4).put(1, noteFade).module, Field::FinalVolume, fading});
        cases.push_back({"note fade ends the voice", song.module, Field::Voices, repeat({{1, 13}, {0, 2}})});
        cases.push_back({"note off without an envelope", song.put(1, noteOff).module, Field::FinalVolume, fading});
        cases.push_back({"note cut", song.put(1, noteCut).module, Field::Voices, repeat({{1, 6}, {0, 2}})});
    }
    // IT.TXT: the sustain loop (points 1 to 3) runs while the note is held, the loop (points
    // 3 to 5) after the note off. Each plays its end point, then its start point again.
    {
        Score song = it();
        Envelope& volume = song.instrument().volumeEnvelope =
            envelope({{0, 64}, {2, 32}, {3, 16}, {4, 32}, {6, 48}, {8, 32}});
        volume.sustain = volume.loop = true;
        volume.sustainStart = 1;
        volume.sustainEnd = volume.loopStart = 3;
        volume.loopEnd = 5;
        cases.push_back({"sustain loop, then loop", song.put(0, c4).put(2, noteOff).module, Field::FinalVolume,
                         {16384, 12288, 8192, 4096, 8192, 8192, 4096, 8192, 8192, 4096, 8192, 8192, 4096, 8192, 10240,
                          12288, 10240, 8192, 8192, 10240}});
    }
    // IT.TXT: with carry, a new note goes on from the envelope's position instead of starting
    // it again: 64 falling by 4 a tick across both notes.
    {
        Score song = it();
        Envelope& volume = song.instrument().volumeEnvelope = envelope({{0, 64}, {16, 0}});
        volume.carry = true;
        cases.push_back({"envelope carried", song.put(0, c4).put(1, c4).module, Field::FinalVolume,
                         {16384, 15360, 14336, 13312, 12288, 11264, 10240, 9216}});
    }
    // IT.TXT: Mxx sets the channel's volume, Nxy slides it as Dxy slides the note's.
    cases.push_back({"channel volume", it().put(0, c4, Effect::ChannelVolume, 0x20)
                                           .effect(1, 0, Effect::ChannelVolumeSlide, 0x04)
                                           .effect(2, 0, Effect::ChannelVolumeSlide, 0xF2)
                                           .effect(3, 0, Effect::ChannelVolumeSlide, 0x2F).module,
                     Field::FinalVolume,
                     repeat({{8192, 7}, {7168, 1}, {6144, 1}, {5120, 1}, {4096, 1}, {3072, 1}, {2560, 6}, {3072, 6}})});
    // IT.TXT: Vxx sets the song's volume (0 to 80h), Wxy slides it.
    {
        Score song = it();
        song.put(0, c4, Effect::GlobalVolumeS3m, 0x40).effect(1, 0, Effect::GlobalVolumeSlideS3m, 0x04);
        cases.push_back({"global volume", song.module, Field::FinalVolume,
                         {8192, 8192, 8192, 8192, 8192, 8192, 8192, 7680, 7168, 6656, 6144, 5632}});
        cases.push_back({"global volume of the song", song.module, Field::GlobalVolume,
                         {64, 64, 64, 64, 64, 64, 64, 60, 56, 52, 48, 44}});
    }
    // IT.TXT: S6x adds x ticks to the row, which run the row's effects as its others do.
    {
        Score song = it(2, 3);
        song.put(0, c4, Effect::VolumeSlideS3m, 0x04).effect(0, 1, Effect::Special, 0x62);
        cases.push_back({"S62 adds two ticks", song.module, Field::RowTick, {0, 1, 2, 3, 4, 100, 101, 102}});
        cases.push_back({"S62's ticks slide the volume", song.module, Field::Volume, {64, 60, 56, 52, 48, 48}});
    }
    // IT.TXT: T0x and T1x slide the tempo by x on every tick but the first, within 32 to 255.
    cases.push_back({"tempo slides", it(1, 4).effect(0, 0, Effect::SetTempo, 0x05).effect(1, 0, Effect::SetTempo, 0x13)
                                         .module,
                     Field::Tempo, {125, 120, 115, 110, 110, 113, 116, 119}});
    for (int tempo : {40, 250}) {
        Score song = it(1, 3);
        song.module.initialTempo = tempo;
        song.effect(0, 0, Effect::SetTempo, tempo < 100 ? 0x0F : 0x1F);
        cases.push_back({"tempo slides stop at the limits", song.module, Field::Tempo,
                         tempo < 100 ? std::vector<int>{40, 32, 32} : std::vector<int>{250, 255, 255}});
    }
    // G shares E's and F's memory, unless the song asks for "compatible Gxx". F08 lowers the
    // linear period (C-5's is 1,179,648) by 8 x 4 1/64 semitones, kept in 256ths, on each of
    // row 1's five sliding ticks; the G00 under E-5 on row 2 then slides on by as much towards
    // the note, or not at all.
    for (bool compatible : {false, true}) {
        Score song = it();
        song.module.compatibleGxx = compatible;
        song.put(0, c4).effect(1, 0, Effect::PortamentoUpS3m, 0x08).put(2, e5, Effect::TonePortamentoS3m, 0);
        const int slid = 1179648 - 5 * 8192;
        cases.push_back({compatible ? "G keeps its own memory" : "G remembers F", song.module, Field::Period,
                         {1179648, 1179648, 1179648, 1179648, 1179648, 1179648, 1179648, 1171456, 1163264, 1155072,
                          1146880, slid, slid, compatible ? slid : slid - 8192, compatible ? slid : slid - 2 * 8192}});
    }
    // Impulse Tracker starts the next SBx loop at the row after a finished one, with no SB0.
    cases.push_back({"SBx loops again from the row after the last loop",
                     it(1, 1).effect(0, 0, Effect::Special, 0xB0).effect(1, 0, Effect::Special, 0xB1)
                         .effect(3, 0, Effect::Special, 0xB1).module,
                     Field::RowTick, {0, 100, 0, 100, 200, 300, 200, 300, 400}});
    expectTraces(cases);
}

// Voices sounding as new notes send the old ones to the background. IT.TXT: cut stops the
// old note, continue lets it play on (its envelope running), note off releases it, note
// fade fades it. ITTECH: the duplicate check acts on the channel's notes that match the new
// one (its note, sample or instrument) before the new-note action.
TEST(TrackerRules, ImpulseTrackerNewNoteActions)
{
    using A = NewNoteAction;
    // An instrument with the action and the fadeout of 4 ticks; sustained, its volume
    // envelope holds 64 at its sustain point and falls to 0 two ticks after the release.
    const auto it = [](NewNoteAction action, bool sustained) {
        Score song(ModuleFormat::It);
        song.instrument().newNoteAction = action;
        song.instrument().fadeout = 16384;
        if (sustained) {
            Envelope& volume = song.instrument().volumeEnvelope = envelope({{0, 64}, {2, 64}, {4, 0}});
            volume.sustain = true;
            volume.sustainStart = volume.sustainEnd = 1;
        }
        return song;
    };
    // Row 1's note sends row 0's away: released, it plays 64, 32, then 0; fading, 3/4, 1/2, 1/4, 0.
    const std::vector<int> released = repeat({{1, 6}, {2, 2}, {1, 4}});
    const std::vector<int> faded = repeat({{1, 6}, {2, 3}, {1, 3}});
    std::vector<Case> cases;
    cases.push_back({"cut", it(A::Cut, false).put(0, c4).put(1, d5).module, Field::Voices, repeat({{1, 12}})});
    {
        Score song = it(A::Continue, false);
        song.instrument().volumeEnvelope = envelope({{0, 64}, {8, 0}});   // each note silent 8 ticks on
        cases.push_back({"continue", song.put(0, c4).put(1, d5).module, Field::Voices,
                         repeat({{1, 6}, {2, 2}, {1, 6}, {0, 2}})});
    }
    cases.push_back({"continue, held", it(A::Continue, true).put(0, c4).put(1, d5).module, Field::Voices,
                     repeat({{1, 6}, {2, 6}})});
    cases.push_back({"note off", it(A::NoteOff, true).put(0, c4).put(1, d5).module, Field::Voices, released});
    cases.push_back({"note fade", it(A::NoteFade, false).put(0, c4).put(1, d5).module, Field::Voices, faded});
    // Duplicates in the background: row 2's note matches row 0's, not row 1's (another note,
    // sample or instrument), and every note continues.
    {
        Score song = it(A::Continue, false);
        song.instrument().duplicateCheck = DuplicateCheck::Note;
        cases.push_back({"duplicate note cut", song.put(0, c4).put(1, d5).put(2, c4).module, Field::Voices,
                         repeat({{1, 6}, {2, 12}})});
    }
    {
        Score song = it(A::Continue, true);
        song.instrument().duplicateCheck = DuplicateCheck::Sample;
        song.instrument().duplicateAction = DuplicateAction::NoteOff;
        song.module.samples.push_back(song.sample());
        song.instrument().keys[d5 - 1].sample = 2;
        cases.push_back({"duplicate sample off", song.put(0, c4).put(1, d5).put(2, e5).module, Field::Voices,
                         repeat({{1, 6}, {2, 6}, {3, 2}, {2, 2}})});
    }
    {
        Score song = it(A::Continue, false);
        song.instrument().duplicateCheck = DuplicateCheck::Instrument;
        song.instrument().duplicateAction = DuplicateAction::NoteFade;
        song.module.instruments.push_back(song.instrument());
        song.put(0, c4).put(1, d5).put(2, e5).module.cell(0, 1, 0).instrument = 2;
        cases.push_back({"duplicate instrument fade", song.module, Field::Voices,
                         repeat({{1, 6}, {2, 6}, {3, 3}, {2, 2}})});
    }
    // ITTECH: a duplicate of the note the channel plays now meets its action too, before the
    // new-note action can send it to the background.
    {
        Score song = it(A::Continue, false);
        song.instrument().duplicateCheck = DuplicateCheck::Note;
        cases.push_back({"duplicate of the playing note cut", song.put(0, c4).put(1, c4).put(2, d5).module,
                         Field::Voices, repeat({{1, 12}, {2, 6}})});
        song.instrument().duplicateCheck = DuplicateCheck::Instrument;
        song.instrument().duplicateAction = DuplicateAction::NoteFade;
        cases.push_back({"duplicate of the playing instrument faded", song.put(1, d5).put(2, noteNone).module,
                         Field::Voices, faded});
    }
    {
        Score song = it(A::Continue, true);
        song.instrument().duplicateCheck = DuplicateCheck::Sample;
        song.instrument().duplicateAction = DuplicateAction::NoteOff;
        cases.push_back({"duplicate of the playing sample released", song.put(0, c4).put(1, d5).module,
                         Field::Voices, released});
    }
    // IT.TXT: S73 to S76 set the action of the note playing now, not of the notes after it.
    cases.push_back({"S74 lets one note continue",
                     it(A::Cut, false).put(0, c4, Effect::Special, 0x74).put(1, d5).put(2, e5).module,
                     Field::Voices, repeat({{1, 6}, {2, 12}})});
    cases.push_back({"S75 releases one note", it(A::Cut, true).put(0, c4, Effect::Special, 0x75).put(1, d5).module,
                     Field::Voices, released});
    cases.push_back({"S76 fades one note",
                     it(A::Continue, false).put(0, c4, Effect::Special, 0x76).put(1, d5).module, Field::Voices, faded});
    // IT.TXT: S70, S71 and S72 cut, release and fade the channel's notes in the background.
    for (int past : {0x70, 0x71, 0x72}) {
        Score song = it(A::Continue, past == 0x71);
        const std::vector<int> expected = repeat({{1, 6}, {2, past == 0x70 ? 6 : past == 0x71 ? 8 : 9}, {1, 2}});
        cases.push_back({"S70 to S72", song.put(0, c4).put(1, d5).effect(2, 0, Effect::Special, past).module,
                         Field::Voices, expected});
    }
    // One note a tick, each continuing, until one more than the background holds: then the
    // quietest background voice gives way (row 10's, at volume 8), or the oldest of equals
    // (row 0's). Each note sounds for 99 ticks and a half.
    for (int quiet : {-1, 10}) {
        Score song(ModuleFormat::It, 1, 200, 1);
        song.instrument().newNoteAction = A::Continue;
        song.sample().c5Speed = 44100;   // a frame of the sample for each frame of the output
        song.sample().data.assign(framesPerTick * 100 - framesPerTick / 2, 8000);
        song.sample().loop = LoopMode::None;
        song.sample().loopEnd = 0;
        const int notes = TrackerRules::maxBackgroundVoices + 2;
        for (int row = 0; row < notes; ++row) {
            song.column(row, row == quiet ? VolumeCommand::Volume : VolumeCommand::None, 8, c4);
        }
        const int givesWay = quiet < 0 ? 0 : quiet;
        std::vector<int> expected;
        for (int tick = 0; tick < 120; ++tick) {
            int sounding = 0;
            for (int row = 0; row <= std::min(tick, notes - 1); ++row) {
                sounding += row + 99 > tick && !(row == givesWay && tick >= notes - 1) ? 1 : 0;
            }
            expected.push_back(sounding);
        }
        cases.push_back({quiet < 0 ? "the oldest gives way" : "the quietest gives way", song.module, Field::Voices,
                         expected});
    }
    expectTraces(cases);
}

// Each kind of comparison above catches a fault: a fine slide run on every tick, a vibrato
// sweep a tick late, two vibratos taken for alike and a flat trace taken for a vibrato.
TEST(TrackerRules, ComparisonsCatchFaults)
{
    EXPECT_NONFATAL_FAILURE(
        expectTraces({{"fine slide on every tick", s3m(Effect::VolumeSlideS3m, 0x3F, {}, 32), Field::Volume,
                       {35, 38, 41, 44, 47, 50}}}),
        "fine slide on every tick");
    Score late(ModuleFormat::Xm);
    late.sample().data.assign(8192, 10000);
    late.sample().loopEnd = 8192;
    late.sample().vibrato = AutoVibrato{1, 0, 12, 4};
    EXPECT_NONFATAL_FAILURE(expectTraces({{"sweep a tick late", late.put(0, c4 + 48).module, Field::VibratoOffset,
                                           {0, 0, 3, 6, 9, 12, 12}, 1}}),
                            "sweep a tick late");
    const Module faster = s3m(Effect::VibratoS3m, 0x48, {{Effect::VibratoS3m, 0x80}});
    EXPECT_NONFATAL_FAILURE(
        expectPairs({{"H80 as H48", faster, s3m(Effect::VibratoS3m, 0x48, {{Effect::VibratoS3m, 0x48}}), Field::Period,
                      true}}),
        "H80 as H48");
    EXPECT_NONFATAL_FAILURE(
        expectPairs({{"flat", s3m(Effect::None, 0), s3m(Effect::None, 0), Field::Period, true}}), "flat");
}
