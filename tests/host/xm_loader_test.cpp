#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sound/module.h"
#include "tests/sound/tracker_fields.h"
#include "tests/sound/xm_writer.h"

namespace {

// Writes XM files byte by byte at the offsets the format gives, for what the writer
// cannot show: its own packing choices, header sizes other than the usual ones and
// damaged files.
class XmBytes {
public:
    XmBytes(int channels, const std::vector<int>& orders, int patterns, int instruments,
            std::size_t headerSize = 276)
    {
        text("Extended Module: ", 17);
        text("hand made", 20);
        byte(0x1A);
        text("by hand", 20);
        word(0x0104);
        dword(headerSize);
        word(orders.size());
        word(0);                      // restart position
        word(static_cast<std::uint32_t>(channels));
        word(static_cast<std::uint32_t>(patterns));
        word(static_cast<std::uint32_t>(instruments));
        word(1);                      // linear slides
        word(6);
        word(125);
        for (int order : orders) {
            byte(order);
        }
        bytes.resize(60 + headerSize, 0);
    }

    void pattern(int rows, const std::vector<std::uint8_t>& packed, std::uint32_t headerLength = 9)
    {
        const std::size_t start = bytes.size();
        dword(headerLength);
        byte(0);
        word(static_cast<std::uint32_t>(rows));
        word(packed.size());
        bytes.resize(start + headerLength, 0);
        bytes.insert(bytes.end(), packed.begin(), packed.end());
    }

    // An instrument header of `size` bytes, zero past the sample header size; returns
    // where it starts, for the fields to be set with put().
    std::size_t instrument(const std::string& name, int samples, std::uint32_t size = 263,
                           std::uint32_t sampleHeaderSize = 40)
    {
        const std::size_t start = bytes.size();
        dword(size);
        text(name, 22);
        byte(0);
        word(static_cast<std::uint32_t>(samples));
        dword(sampleHeaderSize);
        bytes.resize(start + size, 0);
        return start;
    }

    void sample(std::uint32_t length, std::uint32_t loopStart, std::uint32_t loopLength, int volume, int finetune,
                int type, int panning, int relativeNote, std::uint32_t headerSize = 40)
    {
        const std::size_t start = bytes.size();
        dword(length);
        dword(loopStart);
        dword(loopLength);
        byte(volume);
        byte(finetune);
        byte(type);
        byte(panning);
        byte(relativeNote);
        byte(0);
        text("sample", 22);
        bytes.resize(start + headerSize, 0);
    }

    void append(const std::vector<std::uint8_t>& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
    void put(std::size_t offset, int value) { bytes[offset] = static_cast<std::uint8_t>(value); }
    void putWord(std::size_t offset, std::uint32_t value) { putLittleWord(bytes, offset, value); }
    void putDword(std::size_t offset, std::uint32_t value) { putLittleDword(bytes, offset, value); }

    std::vector<std::uint8_t> bytes;

private:
    void byte(int value) { bytes.push_back(static_cast<std::uint8_t>(value)); }
    void word(std::size_t value) { appendLittleWord(bytes, static_cast<std::uint32_t>(value)); }
    void dword(std::size_t value) { appendLittleDword(bytes, static_cast<std::uint32_t>(value)); }
    void text(const std::string& text, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) {
            byte(i < text.size() ? text[i] : 0);
        }
    }
};

LoadResult load(const std::vector<std::uint8_t>& bytes, Module& module)
{
    return loadXm(bytes.data(), bytes.size(), module);
}

// The first field in which two modules differ, as far as XM stores them; empty when
// they agree.
std::string difference(const Module& a, const Module& b)
{
    std::ostringstream out;
    auto differs = [&out](bool same, const std::string& what) {
        if (!same && out.tellp() == 0) {
            out << what;
        }
        return !same;
    };
    differs(a.format == b.format, "format");
    differs(a.title == b.title, "title");
    differs(a.channels == b.channels, "channels");
    differs(a.orders == b.orders, "orders");
    differs(a.restartPosition == b.restartPosition, "restart position");
    differs(a.initialSpeed == b.initialSpeed && a.initialTempo == b.initialTempo, "speed or tempo");
    differs(a.initialGlobalVolume == b.initialGlobalVolume, "global volume");
    differs(a.linearSlides == b.linearSlides, "linear slides");
    differs(a.channelSettings.size() == b.channelSettings.size(), "channel settings");
    for (std::size_t i = 0; i < std::min(a.channelSettings.size(), b.channelSettings.size()); ++i) {
        differs(a.channelSettings[i].panning == b.channelSettings[i].panning &&
                    a.channelSettings[i].volume == b.channelSettings[i].volume,
                "channel " + std::to_string(i));
    }
    if (differs(a.patterns.size() == b.patterns.size(), "pattern count")) {
        return out.str();
    }
    for (std::size_t p = 0; p < a.patterns.size(); ++p) {
        const Pattern& x = a.patterns[p];
        const Pattern& y = b.patterns[p];
        if (differs(x.rows == y.rows && x.cells.size() == y.cells.size(), "pattern " + std::to_string(p) + " size")) {
            return out.str();
        }
        for (std::size_t c = 0; c < x.cells.size(); ++c) {
            const Cell& m = x.cells[c];
            const Cell& n = y.cells[c];
            differs(m.note == n.note && m.instrument == n.instrument && m.volumeCommand == n.volumeCommand &&
                        m.volumeValue == n.volumeValue && m.effect == n.effect && m.parameter == n.parameter,
                    "pattern " + std::to_string(p) + " cell " + std::to_string(c));
        }
    }
    if (differs(a.samples.size() == b.samples.size(), "sample count")) {
        return out.str();
    }
    for (std::size_t s = 0; s < a.samples.size(); ++s) {
        const Sample& x = a.samples[s];
        const Sample& y = b.samples[s];
        const std::string name = "sample " + std::to_string(s + 1) + " ";
        differs(x.name == y.name, name + "name");
        differs(x.data == y.data && x.channels == y.channels && x.sixteenBit == y.sixteenBit, name + "data");
        differs(x.loop == y.loop && x.loopStart == y.loopStart && x.loopEnd == y.loopEnd, name + "loop");
        differs(x.volume == y.volume && x.panning == y.panning, name + "volume or panning");
        differs(x.relativeNote == y.relativeNote && x.finetune == y.finetune, name + "tuning");
        differs(x.vibrato.waveform == y.vibrato.waveform && x.vibrato.speed == y.vibrato.speed &&
                    x.vibrato.depth == y.vibrato.depth && x.vibrato.sweep == y.vibrato.sweep,
                name + "vibrato");
    }
    if (differs(a.instruments.size() == b.instruments.size(), "instrument count")) {
        return out.str();
    }
    auto sameEnvelope = [](const Envelope& x, const Envelope& y) {
        bool same = x.points.size() == y.points.size() && x.enabled == y.enabled && x.loop == y.loop &&
                    x.sustain == y.sustain && x.loopStart == y.loopStart && x.loopEnd == y.loopEnd &&
                    x.sustainStart == y.sustainStart && x.sustainEnd == y.sustainEnd;
        for (std::size_t i = 0; same && i < x.points.size(); ++i) {
            same = x.points[i].tick == y.points[i].tick && x.points[i].value == y.points[i].value;
        }
        return same;
    };
    for (std::size_t i = 0; i < a.instruments.size(); ++i) {
        const Instrument& x = a.instruments[i];
        const Instrument& y = b.instruments[i];
        const std::string name = "instrument " + std::to_string(i + 1) + " ";
        differs(x.name == y.name, name + "name");
        for (std::size_t k = 0; k < x.keys.size(); ++k) {
            differs(x.keys[k].note == y.keys[k].note && x.keys[k].sample == y.keys[k].sample,
                    name + "key " + std::to_string(k + 1));
        }
        differs(sameEnvelope(x.volumeEnvelope, y.volumeEnvelope), name + "volume envelope");
        differs(sameEnvelope(x.panningEnvelope, y.panningEnvelope), name + "panning envelope");
        differs(x.fadeout == y.fadeout, name + "fadeout");
    }
    return out.str();
}

Sample makeSample(const std::string& name, int channels, bool sixteenBit, std::vector<std::int16_t> data)
{
    Sample sample;
    sample.name = name;
    sample.channels = channels;
    sample.sixteenBit = sixteenBit;
    sample.data = std::move(data);
    return sample;
}

// Notes 13 to 108 (XM's C-0 to B-7) play the sample that `pick` gives; the others none.
Instrument makeInstrument(const std::string& name, const std::function<int(int)>& pick)
{
    Instrument instrument;
    instrument.name = name;
    for (int note = 1; note <= 120; ++note) {
        const int sample = note >= 13 && note <= 108 ? pick(note) : 0;
        instrument.keys[static_cast<std::size_t>(note - 1)] = {static_cast<std::uint8_t>(note),
                                                              static_cast<std::uint16_t>(sample)};
    }
    return instrument;
}

TEST(XmLoaderTest, WriterAndLoaderKeepEveryFieldXmStores)
{
    Module module;
    module.format = ModuleFormat::Xm;
    module.title = "round trip";
    module.channels = 3;
    module.orders = {0, 1, 2, 1, 5};    // pattern 5 does not exist and is kept
    module.restartPosition = 3;
    module.initialSpeed = 5;
    module.initialTempo = 140;
    module.linearSlides = true;
    module.channelSettings.assign(3, ChannelSettings{});

    // Odd row counts; pattern 2 is empty and is stored as its header alone.
    for (int rows : {7, 33, 64}) {
        Pattern pattern;
        pattern.rows = rows;
        pattern.cells.resize(static_cast<std::size_t>(rows) * 3);
        module.patterns.push_back(pattern);
    }
    const VolumeCommand volumeCommands[] = {
        VolumeCommand::Volume,          VolumeCommand::VolumeSlideDown, VolumeCommand::VolumeSlideUp,
        VolumeCommand::FineVolumeDown,  VolumeCommand::FineVolumeUp,    VolumeCommand::VibratoSpeed,
        VolumeCommand::VibratoDepth,    VolumeCommand::Panning,         VolumeCommand::PanningSlideLeft,
        VolumeCommand::PanningSlideRight, VolumeCommand::TonePortamento,
    };
    const Effect effects[] = {
        Effect::Arpeggio,      Effect::PortamentoUp,   Effect::PortamentoDown,    Effect::TonePortamento,
        Effect::Vibrato,       Effect::TonePortamentoVolume, Effect::VibratoVolume, Effect::Tremolo,
        Effect::Panning,       Effect::SampleOffset,   Effect::VolumeSlide,       Effect::PositionJump,
        Effect::SetVolume,     Effect::PatternBreak,   Effect::Extended,          Effect::SpeedTempo,
        Effect::GlobalVolume,  Effect::GlobalVolumeSlide, Effect::KeyOff,         Effect::EnvelopePosition,
        Effect::PanningSlide,  Effect::Retrigger,      Effect::Tremor,            Effect::ExtraFinePortamento,
    };
    for (int row = 0; row < 33; ++row) {
        Cell& cell = module.cell(1, row, row % 3);
        cell.note = static_cast<std::uint8_t>(row % 4 == 3 ? noteOff : 13 + row * 3 % 96);
        cell.instrument = static_cast<std::uint8_t>(row % 4 == 3 ? 0 : 1 + row % 3);
        if (row < 11) {
            cell.volumeCommand = volumeCommands[row];
            cell.volumeValue = static_cast<std::uint8_t>(row == 0 ? 64 : row + 4);
        }
        if (row < 24) {
            cell.effect = effects[row];
            cell.parameter = static_cast<std::uint8_t>(0x11 * (row % 15 + 1));
        }
    }
    module.cell(0, 6, 2).note = 108;      // B-7, the highest note
    module.cell(0, 6, 2).instrument = 3;
    module.cell(0, 0, 0).volumeCommand = VolumeCommand::Volume;   // volume 0 is still a command

    // Sample 1: 16-bit with a ping-pong loop; 2: 8-bit with a forward loop; 3: 16-bit
    // stereo; 4: 8-bit stereo with a loop.
    std::vector<std::int16_t> wave16, wave8, stereo16, stereo8;
    for (int i = 0; i < 300; ++i) {
        wave16.push_back(static_cast<std::int16_t>(i * 2111 % 65536 - 32768));
        wave8.push_back(static_cast<std::int16_t>(((i * 37) % 256 - 128) * 256));
        stereo16.push_back(static_cast<std::int16_t>(-i * 100));
        stereo16.push_back(static_cast<std::int16_t>(i * 97 - 32768));
        stereo8.push_back(static_cast<std::int16_t>((i % 256 - 128) * 256));
        stereo8.push_back(static_cast<std::int16_t>((127 - i % 256) * 256));
    }
    module.samples = {makeSample("sixteen", 1, true, wave16), makeSample("eight", 1, false, wave8),
                      makeSample("stereo sixteen", 2, true, stereo16), makeSample("stereo eight", 2, false, stereo8)};
    Sample& first = module.samples[0];
    first.loop = LoopMode::PingPong;
    first.loopStart = 10;
    first.loopEnd = 299;
    first.volume = 48;
    first.finetune = -128;
    first.panning = 0;
    first.relativeNote = -24;
    Sample& second = module.samples[1];
    second.loop = LoopMode::Forward;
    second.loopStart = 0;
    second.loopEnd = 300;
    second.volume = 64;
    second.finetune = 127;
    second.panning = 255;
    second.relativeNote = 23;
    module.samples[2].panning = 128;
    module.samples[2].volume = 0;
    Sample& fourth = module.samples[3];
    fourth.loop = LoopMode::Forward;
    fourth.loopStart = 100;
    fourth.loopEnd = 101;
    fourth.panning = 77;
    fourth.finetune = -1;
    module.samples[0].vibrato = {3, 200, 15, 255};
    module.samples[1].vibrato = module.samples[0].vibrato;
    module.samples[2].vibrato = {1, 1, 0, 0};
    module.samples[3].vibrato = module.samples[2].vibrato;

    // Instrument 1 splits its keys between samples 1 and 2; 2 has no samples; 3 plays
    // both stereo samples.
    Instrument lead = makeInstrument("lead", [](int note) { return note < 61 ? 1 : 2; });
    lead.volumeEnvelope.points = {{0, 0}, {4, 64}, {20, 40}, {65535, 12}};
    lead.volumeEnvelope.enabled = true;
    lead.volumeEnvelope.sustain = true;
    lead.volumeEnvelope.sustainStart = lead.volumeEnvelope.sustainEnd = 1;
    lead.volumeEnvelope.loop = true;
    lead.volumeEnvelope.loopStart = 1;
    lead.volumeEnvelope.loopEnd = 3;
    for (std::uint16_t tick = 0; tick < 12; ++tick) {
        lead.panningEnvelope.points.push_back({static_cast<std::uint16_t>(tick * 3), static_cast<std::int8_t>(tick * 6 - 32)});
    }
    lead.panningEnvelope.points.back().value = 32;
    lead.panningEnvelope.enabled = true;
    lead.panningEnvelope.loop = true;
    lead.panningEnvelope.loopStart = 11;
    lead.panningEnvelope.loopEnd = 11;
    lead.panningEnvelope.sustainStart = lead.panningEnvelope.sustainEnd = 5;   // stored while off
    lead.fadeout = 0xFFF * 2;
    Instrument silent = makeInstrument("silent", [](int) { return 0; });
    Instrument pad = makeInstrument("pad", [](int note) { return note % 2 ? 3 : 4; });
    pad.volumeEnvelope.points = {{0, 64}, {1, 0}};       // stored although switched off
    pad.fadeout = 2;
    module.instruments = {lead, silent, pad};

    const std::vector<std::uint8_t> file = writeXm(module);
    Module loaded;
    ASSERT_EQ(load(file, loaded), LoadResult::Loaded);
    EXPECT_EQ(difference(module, loaded), "");

    // The comparison sees a change in any single field.
    Module changed = loaded;
    changed.samples[3].data.back() = static_cast<std::int16_t>(changed.samples[3].data.back() + 256);
    EXPECT_EQ(difference(module, changed), "sample 4 data");
    changed = loaded;
    changed.instruments[0].panningEnvelope.sustainStart = 4;
    EXPECT_EQ(difference(module, changed), "instrument 1 panning envelope");
    changed = loaded;
    changed.cell(1, 4, 1).volumeValue = 9;
    EXPECT_EQ(difference(module, changed), "pattern 1 cell 13");
}

TEST(XmLoaderTest, ReadsHandMadeBytes)
{
    // Every header is longer than usual by a few bytes, which the loader must pass over.
    XmBytes xm(2, {0, 3}, 1, 1, 280);
    xm.putWord(66, 5);       // restart past the song: back to the start
    xm.putWord(74, 0);       // Amiga slides
    xm.putWord(76, 0);       // speed 0 and tempo 0: the defaults
    xm.putWord(78, 0);
    xm.pattern(4, {
        49, 1, 0x40, 0x0C, 0x20,   // no packing byte: C-4, instrument 1, volume 0x30, C20
        0x80,                      // an empty cell
        0x81, 97,                  // key-off
        0x9C, 0xC8, 0x14, 0x05,    // panning 8 in the volume column, K05
        0x9C, 0x55, 0x12, 0x34,    // volume 0x55 and I34: neither is a FastTracker 2 command
        0x87, 96, 2, 0xF3,         // B-7, instrument 2, tone portamento 3
        0x98, 0x21, 0x15,          // X15
    }, 11);                        // the eighth cell is left out: empty
    const std::size_t instrument = xm.instrument("piano", 3, 270, 44);
    for (std::size_t note = 1; note <= 96; ++note) {
        xm.put(instrument + 32 + note, note <= 48 ? 0 : note == 49 ? 1 : note < 96 ? 2 : 5);
    }
    const int volumePoints[] = {0, 64, 10, 32, 20, 0};
    const int panningPoints[] = {0, 0, 5, 64};
    for (std::size_t i = 0; i < 6; ++i) {
        xm.putWord(instrument + 129 + 2 * i, static_cast<std::uint32_t>(volumePoints[i]));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        xm.putWord(instrument + 177 + 2 * i, static_cast<std::uint32_t>(panningPoints[i]));
    }
    const int envelopeFields[] = {
        3, 2,          // points
        1, 0, 2,       // volume: sustain 1, loop 0 to 2
        7, 1, 3,       // panning: sustain and loop end past its points
        0x03, 0x05,    // volume on with sustain, panning on with a loop
        2, 0x20, 0x0A, 0x11,   // vibrato: ramp down, sweep, depth, rate
        0x00, 0x04,    // fadeout 0x400
    };
    for (std::size_t i = 0; i < 16; ++i) {
        xm.put(instrument + 225 + i, envelopeFields[i]);
    }

    // 8-bit: deltas 10 10 E0 80 01 give 16 32 0 -128 -127; a forward loop of 3 from 1.
    xm.sample(5, 1, 3, 70, 0x90, 0x01, 0xFF, 0xF4, 44);
    // 16-bit: deltas 1000 F000 8000 give 4096 0 -32768; loop type 3 from frame 1,
    // longer than the sample.
    xm.sample(6, 2, 100, 64, 0, 0x13, 0x80, 0, 44);
    // 8-bit stereo: left deltas 01 01, then right 05 FF: left 1 2, right 5 4.
    xm.sample(4, 0, 0, 32, 0, 0x20, 0, 0, 44);
    xm.append({0x10, 0x10, 0xE0, 0x80, 0x01});
    xm.append({0x00, 0x10, 0x00, 0xF0, 0x00, 0x80});
    xm.append({0x01, 0x01, 0x05, 0xFF});

    Module module;
    ASSERT_EQ(load(xm.bytes, module), LoadResult::Loaded);
    EXPECT_EQ(module.title, "hand made");
    EXPECT_EQ(module.orders, (std::vector<std::uint16_t>{0, 3}));
    EXPECT_EQ(module.restartPosition, 0);
    EXPECT_FALSE(module.linearSlides);
    EXPECT_EQ(module.initialSpeed, 6);
    EXPECT_EQ(module.initialTempo, 125);

    ASSERT_EQ(module.patterns.size(), 1u);
    ASSERT_EQ(module.patterns[0].cells.size(), 8u);
    const struct {
        int note;
        int instrument;
        VolumeCommand volumeCommand;
        int volumeValue;
        Effect effect;
        int parameter;
    } cells[8] = {
        {61, 1, VolumeCommand::Volume, 0x30, Effect::SetVolume, 0x20},
        {0, 0, VolumeCommand::None, 0, Effect::None, 0},
        {noteOff, 0, VolumeCommand::None, 0, Effect::None, 0},
        {0, 0, VolumeCommand::Panning, 8, Effect::KeyOff, 5},
        {0, 0, VolumeCommand::None, 0, Effect::None, 0},
        {108, 2, VolumeCommand::TonePortamento, 3, Effect::None, 0},
        {0, 0, VolumeCommand::None, 0, Effect::ExtraFinePortamento, 0x15},
        {0, 0, VolumeCommand::None, 0, Effect::None, 0},
    };
    for (std::size_t i = 0; i < 8; ++i) {
        const Cell& cell = module.patterns[0].cells[i];
        EXPECT_EQ(cell.note, cells[i].note) << "cell " << i;
        EXPECT_EQ(cell.instrument, cells[i].instrument) << "cell " << i;
        EXPECT_EQ(cell.volumeCommand, cells[i].volumeCommand) << "cell " << i;
        EXPECT_EQ(cell.volumeValue, cells[i].volumeValue) << "cell " << i;
        EXPECT_EQ(cell.effect, cells[i].effect) << "cell " << i;
        EXPECT_EQ(cell.parameter, cells[i].parameter) << "cell " << i;
    }

    ASSERT_EQ(module.samples.size(), 3u);
    const Sample& eight = module.samples[0];
    EXPECT_EQ(eight.data, (std::vector<std::int16_t>{16 * 256, 32 * 256, 0, -128 * 256, -127 * 256}));
    EXPECT_EQ(eight.loop, LoopMode::Forward);
    EXPECT_EQ(eight.loopStart, 1u);
    EXPECT_EQ(eight.loopEnd, 4u);
    EXPECT_EQ(eight.volume, 64);
    EXPECT_EQ(eight.finetune, -112);
    EXPECT_EQ(eight.panning, 255);
    EXPECT_EQ(eight.relativeNote, -12);
    const Sample& sixteen = module.samples[1];
    EXPECT_TRUE(sixteen.sixteenBit);
    EXPECT_EQ(sixteen.data, (std::vector<std::int16_t>{4096, 0, -32768}));
    EXPECT_EQ(sixteen.loop, LoopMode::PingPong);
    EXPECT_EQ(sixteen.loopStart, 1u);
    EXPECT_EQ(sixteen.loopEnd, 3u);
    const Sample& stereo = module.samples[2];
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_EQ(stereo.data, (std::vector<std::int16_t>{256, 5 * 256, 2 * 256, 4 * 256}));
    EXPECT_EQ(stereo.loop, LoopMode::None);
    for (const Sample& sample : module.samples) {
        EXPECT_EQ(sample.vibrato.waveform, 2);
        EXPECT_EQ(sample.vibrato.sweep, 0x20);
        EXPECT_EQ(sample.vibrato.depth, 0x0A);
        EXPECT_EQ(sample.vibrato.speed, 0x11);
    }

    ASSERT_EQ(module.instruments.size(), 1u);
    const Instrument& piano = module.instruments[0];
    EXPECT_EQ(piano.name, "piano");
    const struct {
        int note;
        int sample;
    } keys[] = {{1, 0}, {12, 0}, {13, 1}, {60, 1}, {61, 2}, {62, 3}, {107, 3}, {108, 0}, {109, 0}, {120, 0}};
    for (const auto& key : keys) {
        EXPECT_EQ(piano.keys[static_cast<std::size_t>(key.note - 1)].sample, key.sample) << "note " << key.note;
        EXPECT_EQ(piano.keys[static_cast<std::size_t>(key.note - 1)].note, key.note);
    }
    const Envelope& volume = piano.volumeEnvelope;
    ASSERT_EQ(volume.points.size(), 3u);
    EXPECT_EQ(volume.points[1].tick, 10);
    EXPECT_EQ(volume.points[1].value, 32);
    EXPECT_TRUE(volume.enabled && volume.sustain && !volume.loop);
    EXPECT_EQ(volume.sustainStart, 1);
    EXPECT_EQ(volume.sustainEnd, 1);
    const Envelope& panning = piano.panningEnvelope;
    ASSERT_EQ(panning.points.size(), 2u);
    EXPECT_EQ(panning.points[0].value, -32);
    EXPECT_EQ(panning.points[1].tick, 5);
    EXPECT_EQ(panning.points[1].value, 32);
    EXPECT_TRUE(panning.enabled && !panning.sustain && !panning.loop);
    EXPECT_EQ(piano.fadeout, 0x800);
}

TEST(XmLoaderTest, RefusesDamagedFiles)
{
    // Header 0-335, pattern header at 336 and its data at 345-348, the instrument at
    // 349-611, its sample header at 612-651 and the sample's 10 bytes at 652-661.
    XmBytes xm(2, {0}, 1, 1);
    xm.pattern(2, {0x80, 0x80, 0x80, 0x80});
    xm.instrument("one", 1);
    xm.sample(10, 0, 0, 64, 0, 0, 128, 0);
    xm.append(std::vector<std::uint8_t>(10, 1));
    ASSERT_EQ(xm.bytes.size(), 662u);

    const struct {
        const char* damage;
        std::function<void(XmBytes&)> apply;
        LoadResult expected;
    } cases[] = {
        {"none", [](XmBytes&) {}, LoadResult::Loaded},
        {"signature in lower case", [](XmBytes& f) { f.put(9, 'm'); }, LoadResult::UnknownFormat},
        {"cut inside the header", [](XmBytes& f) { f.bytes.resize(62); }, LoadResult::HeaderCutShort},
        {"cut inside the order list", [](XmBytes& f) { f.bytes.resize(200); }, LoadResult::HeaderCutShort},
        {"version 1.03", [](XmBytes& f) { f.putWord(58, 0x0103); }, LoadResult::BadHeader},
        {"no orders", [](XmBytes& f) { f.putWord(64, 0); }, LoadResult::BadSongLength},
        {"257 orders", [](XmBytes& f) { f.putWord(64, 257); }, LoadResult::BadSongLength},
        {"no channels", [](XmBytes& f) { f.putWord(68, 0); }, LoadResult::BadHeader},
        {"33 channels", [](XmBytes& f) { f.putWord(68, 33); }, LoadResult::BadHeader},
        {"257 patterns", [](XmBytes& f) { f.putWord(70, 257); }, LoadResult::BadHeader},
        {"129 instruments", [](XmBytes& f) { f.putWord(72, 129); }, LoadResult::BadHeader},
        {"pattern header outside the file", [](XmBytes& f) { f.bytes.resize(340); }, LoadResult::PatternsCutShort},
        {"pattern header longer than the file", [](XmBytes& f) { f.putDword(336, 0x10000000); },
         LoadResult::PatternsCutShort},
        {"packed data cut", [](XmBytes& f) { f.bytes.resize(347); }, LoadResult::PatternsCutShort},
        {"cell running past the packed data", [](XmBytes& f) { f.put(348, 0x81); }, LoadResult::BadPattern},
        {"more cells than the rows hold", [](XmBytes& f) { f.putWord(341, 1); }, LoadResult::BadPattern},
        {"no rows", [](XmBytes& f) { f.putWord(341, 0); }, LoadResult::BadPattern},
        {"257 rows", [](XmBytes& f) { f.putWord(341, 257); }, LoadResult::BadPattern},
        {"instrument header outside the file", [](XmBytes& f) { f.bytes.resize(400); },
         LoadResult::InstrumentsCutShort},
        {"sample header outside the file", [](XmBytes& f) { f.bytes.resize(640); }, LoadResult::InstrumentsCutShort},
        {"17 samples", [](XmBytes& f) { f.putWord(349 + 27, 17); }, LoadResult::BadHeader},
        {"sample data cut", [](XmBytes& f) { f.bytes.resize(661); }, LoadResult::SamplesCutShort},
        {"sample one byte longer than the file", [](XmBytes& f) { f.putDword(612, 11); }, LoadResult::SamplesCutShort},
        {"sample of 4 GB", [](XmBytes& f) { f.putDword(612, 0xFFFFFFFF); }, LoadResult::TooLarge},
    };
    for (const auto& c : cases) {
        XmBytes damaged = xm;
        c.apply(damaged);
        Module module;
        EXPECT_EQ(load(damaged.bytes, module), c.expected) << c.damage;
        if (c.expected != LoadResult::Loaded) {
            EXPECT_TRUE(module.orders.empty() && module.patterns.empty() && module.samples.empty() &&
                        module.instruments.empty())
                << c.damage << ": a refused file leaves the module empty";
        }
    }
}

} // namespace
