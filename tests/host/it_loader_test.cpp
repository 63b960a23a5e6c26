#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "sound/it_samples.h"
#include "sound/module.h"
#include "tests/sound/it_writer.h"
#include "tests/sound/tracker_fields.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Sample frames that need every width of the compression: a quiet sine (narrow
// widths), silence, full-range noise (the widest width) and steps.
std::vector<std::int16_t> testFrames(std::uint32_t frames, int channels, bool sixteenBit, std::uint32_t seed)
{
    std::vector<std::int16_t> data;
    std::uint32_t state = seed;
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            state = state * 1664525u + 1013904223u;
            int value = 0;
            switch (i / 700 % 4) {
            case 0:
                value = static_cast<int>(std::lround(std::sin(i * (0.01 + 0.02 * c)) * 3000.0));
                break;
            case 1:
                value = 0;
                break;
            case 2:
                value = static_cast<int>(state >> 16) - 32768;
                break;
            default:
                value = (i / 40 % 2) ? 32767 : -32768;
                break;
            }
            if (!sixteenBit) {
                value = value / 256 * 256;
            }
            data.push_back(static_cast<std::int16_t>(value));
        }
    }
    return data;
}

Envelope makeEnvelope(std::vector<std::pair<int, int>> points)
{
    Envelope envelope;
    for (const auto& [tick, value] : points) {
        Envelope::Point point;
        point.tick = static_cast<std::uint16_t>(tick);
        point.value = static_cast<std::int8_t>(value);
        envelope.points.push_back(point);
    }
    envelope.enabled = true;
    return envelope;
}

Cell makeCell(std::uint8_t note, std::uint8_t instrument, VolumeCommand volume = VolumeCommand::None,
              std::uint8_t volumeValue = 0, Effect effect = Effect::None, std::uint8_t parameter = 0)
{
    Cell cell;
    cell.note = note;
    cell.instrument = instrument;
    cell.volumeCommand = volume;
    cell.volumeValue = volumeValue;
    cell.effect = effect;
    cell.parameter = parameter;
    return cell;
}

// A module in instrument mode that sets every field the format stores, in values the
// file's steps can hold exactly.
Module fullModule()
{
    Module module;
    module.format = ModuleFormat::It;
    module.title = "every field";
    module.channels = 5;
    module.orders = {1, 0, orderSkip, 1, orderEnd};
    module.initialSpeed = 4;
    module.initialTempo = 140;
    module.initialGlobalVolume = 100;
    module.mixingVolume = 80;
    module.linearSlides = true;
    module.oldEffects = true;
    module.compatibleGxx = true;
    module.stereo = true;
    const int pannings[] = {0, 256, 128, 64, 192};
    for (int c = 0; c < module.channels; ++c) {
        ChannelSettings settings;
        settings.panning = pannings[c];
        settings.volume = 64 - c * 8;
        settings.surround = c == 2;
        settings.muted = c == 3;
        module.channelSettings.push_back(settings);
    }

    Instrument rich;
    rich.name = "rich";
    rich.newNoteAction = NewNoteAction::NoteFade;
    rich.duplicateCheck = DuplicateCheck::Sample;
    rich.duplicateAction = DuplicateAction::NoteOff;
    rich.fadeout = 100 * 64;
    rich.globalVolume = 96;
    rich.panning = 160;
    rich.pitchPanSeparation = -12;
    rich.pitchPanCentre = 49;
    rich.randomVolume = 25;
    rich.randomPanning = 10;
    rich.filterCutoff = 90;
    rich.filterResonance = 30;
    for (std::size_t i = 0; i < rich.keys.size(); ++i) {
        rich.keys[i].note = static_cast<std::uint8_t>(i + 1);
        rich.keys[i].sample = i < 60 ? 1 : 2;
    }
    rich.keys[70] = {100, 0};
    rich.volumeEnvelope = makeEnvelope({{0, 64}, {5, 48}, {20, 32}, {90, 0}});
    rich.volumeEnvelope.loop = true;
    rich.volumeEnvelope.loopStart = 1;
    rich.volumeEnvelope.loopEnd = 2;
    rich.volumeEnvelope.sustain = true;
    rich.volumeEnvelope.sustainStart = 2;
    rich.volumeEnvelope.sustainEnd = 2;
    rich.volumeEnvelope.carry = true;
    rich.panningEnvelope = makeEnvelope({{0, -32}, {10, 32}, {300, -5}});
    rich.panningEnvelope.loop = true;
    rich.panningEnvelope.loopStart = 0;
    rich.panningEnvelope.loopEnd = 2;
    rich.pitchEnvelope = makeEnvelope({{0, 20}, {9999, -32}});
    rich.pitchEnvelope.filter = true;
    rich.pitchEnvelope.carry = true;
    rich.pitchEnvelope.sustain = true;
    rich.pitchEnvelope.sustainStart = 0;
    rich.pitchEnvelope.sustainEnd = 1;
    module.instruments.push_back(rich);

    Instrument plain;
    plain.name = "plain";
    plain.newNoteAction = NewNoteAction::Continue;
    plain.duplicateCheck = DuplicateCheck::Instrument;
    for (std::size_t i = 0; i < plain.keys.size(); ++i) {
        plain.keys[i] = {static_cast<std::uint8_t>(i + 1), 2};
    }
    module.instruments.push_back(plain);

    Sample stereo;
    stereo.name = "stereo 16";
    stereo.channels = 2;
    stereo.sixteenBit = true;
    stereo.data = testFrames(3000, 2, true, 1);
    stereo.loop = LoopMode::PingPong;
    stereo.loopStart = 100;
    stereo.loopEnd = 2000;
    stereo.sustainLoop = LoopMode::Forward;
    stereo.sustainStart = 10;
    stereo.sustainEnd = 50;
    stereo.volume = 50;
    stereo.globalVolume = 40;
    stereo.panning = 64;
    stereo.c5Speed = 22050;
    stereo.vibrato = {1, 10, 20, 30};
    module.samples.push_back(stereo);

    Sample mono;
    mono.name = "mono 8";
    mono.data = testFrames(40000, 1, false, 2);
    mono.loop = LoopMode::Forward;
    mono.loopStart = 0;
    mono.loopEnd = 40000;
    mono.sustainLoop = LoopMode::PingPong;
    mono.sustainStart = 1000;
    mono.sustainEnd = 1001;
    mono.vibrato = {4, 64, 32, 255 / 4};
    module.samples.push_back(mono);

    Pattern tall;
    tall.rows = 200;
    tall.cells.resize(200 * 5);
    // The second row repeats the first, so the file can say so with its memory bits.
    tall.cell(0, 0, 5) = makeCell(61, 1, VolumeCommand::Volume, 64, Effect::SetSpeed, 3);
    tall.cell(1, 0, 5) = makeCell(61, 1, VolumeCommand::Volume, 64, Effect::SetSpeed, 3);
    tall.cell(2, 1, 5) = makeCell(noteFade, 0);
    tall.cell(2, 2, 5) = makeCell(noteCut, 0);
    tall.cell(2, 3, 5) = makeCell(noteOff, 2);
    const std::pair<VolumeCommand, std::uint8_t> volumes[] = {
        {VolumeCommand::FineVolumeUp, 9},    {VolumeCommand::FineVolumeDown, 0},
        {VolumeCommand::VolumeSlideUp, 5},   {VolumeCommand::VolumeSlideDown, 9},
        {VolumeCommand::PortamentoDown, 3},  {VolumeCommand::PortamentoUp, 7},
        {VolumeCommand::Panning, 64},        {VolumeCommand::TonePortamento, 9},
        {VolumeCommand::VibratoDepth, 4},    {VolumeCommand::Volume, 0},
    };
    int row = 3;
    for (const auto& [command, value] : volumes) {
        tall.cell(row++, 1, 5) = makeCell(noteNone, 0, command, value);
    }
    for (int letter = 0; letter < 26; ++letter) {
        const Effect effect = static_cast<Effect>(static_cast<int>(Effect::SetSpeed) + letter);
        tall.cell(20 + letter, 4, 5) = makeCell(noteNone, 0, VolumeCommand::None, 0, effect,
                                                static_cast<std::uint8_t>(letter * 9));
    }
    tall.cell(199, 4, 5) = makeCell(noteLast, 2);
    tall.cell(199, 3, 5) = makeCell(noteFirst, 1, VolumeCommand::Volume, 33);
    module.patterns.push_back(tall);

    Pattern shortPattern;
    shortPattern.rows = 32;
    shortPattern.cells.resize(32 * 5);
    shortPattern.cell(31, 2, 5) = makeCell(30, 1, VolumeCommand::None, 0, Effect::BreakToRow, 0x10);
    module.patterns.push_back(shortPattern);
    return module;
}

// The fields of each part, as tuples that compare and print whole.
auto fieldsOf(const Envelope& e)
{
    return std::tie(e.enabled, e.loop, e.sustain, e.carry, e.filter, e.loopStart, e.loopEnd, e.sustainStart,
                    e.sustainEnd);
}
auto fieldsOf(const Envelope::Point& p) { return std::tie(p.tick, p.value); }
auto fieldsOf(const Instrument::Key& k) { return std::tie(k.note, k.sample); }
auto fieldsOf(const Cell& c)
{
    return std::tie(c.note, c.instrument, c.volumeCommand, c.volumeValue, c.effect, c.parameter);
}
auto fieldsOf(const ChannelSettings& c) { return std::tie(c.panning, c.volume, c.surround, c.muted); }
auto fieldsOf(const Instrument& i)
{
    return std::tie(i.name, i.fadeout, i.newNoteAction, i.duplicateCheck, i.duplicateAction, i.globalVolume,
                    i.panning, i.pitchPanSeparation, i.pitchPanCentre, i.randomVolume, i.randomPanning,
                    i.filterCutoff, i.filterResonance);
}
auto fieldsOf(const Sample& s)
{
    return std::tie(s.name, s.channels, s.sixteenBit, s.loop, s.loopStart, s.loopEnd, s.sustainLoop, s.sustainStart,
                    s.sustainEnd, s.volume, s.globalVolume, s.panning, s.c5Speed, s.vibrato.waveform,
                    s.vibrato.speed, s.vibrato.depth, s.vibrato.sweep);
}
auto fieldsOf(const Module& m)
{
    return std::tie(m.format, m.title, m.channels, m.orders, m.initialSpeed, m.initialTempo, m.initialGlobalVolume,
                    m.mixingVolume, m.linearSlides, m.oldEffects, m.compatibleGxx, m.stereo);
}

template <typename T>
void expectSameEach(const T& a, const T& b, const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(fieldsOf(a[i]), fieldsOf(b[i])) << what << " " << i;
    }
}

void expectSameModule(const Module& a, const Module& b)
{
    EXPECT_EQ(fieldsOf(a), fieldsOf(b));
    expectSameEach(a.channelSettings, b.channelSettings, "channel");
    ASSERT_EQ(a.patterns.size(), b.patterns.size());
    for (std::size_t p = 0; p < a.patterns.size(); ++p) {
        ASSERT_EQ(a.patterns[p].rows, b.patterns[p].rows);
        expectSameEach(a.patterns[p].cells, b.patterns[p].cells, "pattern " + std::to_string(p) + " cell");
    }
    expectSameEach(a.instruments, b.instruments, "instrument");
    for (std::size_t i = 0; i < std::min(a.instruments.size(), b.instruments.size()); ++i) {
        const Instrument& x = a.instruments[i];
        const Instrument& y = b.instruments[i];
        const std::string which = "instrument " + std::to_string(i + 1);
        expectSameEach(x.keys, y.keys, which + " key");
        const std::pair<const Envelope*, const Envelope*> envelopes[] = {
            {&x.volumeEnvelope, &y.volumeEnvelope}, {&x.panningEnvelope, &y.panningEnvelope},
            {&x.pitchEnvelope, &y.pitchEnvelope}};
        for (const auto& [e, f] : envelopes) {
            EXPECT_EQ(fieldsOf(*e), fieldsOf(*f)) << which;
            expectSameEach(e->points, f->points, which + " envelope point");
        }
    }
    expectSameEach(a.samples, b.samples, "sample");
    for (std::size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) {
        EXPECT_TRUE(a.samples[i].data == b.samples[i].data) << "sample " << i + 1;
    }
}

TEST(ItLoaderTest, WrittenModuleReadsBackWithEveryField)
{
    const Module original = fullModule();
    const Bytes file = writeIt(original, ItSampleCoding::Raw);

    // A few of the file's bytes, against the format's layout, so that the writer and
    // the loader cannot agree on a wrong reading between themselves.
    const ItLayout at(file);
    EXPECT_EQ(littleWord(file, 0x2C), 1u | 4 | 8 | 16 | 32);  // stereo, instruments, linear, old effects, Gxx
    EXPECT_EQ(file[0x40 + 2], 100);                      // surround
    EXPECT_EQ(file[0x40 + 3], 0x80 | 16);                // muted, panning 64 of 256
    EXPECT_EQ(littleWord(file, at.instrument + 0x14), 100u);   // fadeout in steps of a 1024 fade volume
    EXPECT_EQ(file[at.instrument + 0x19], 40);           // panning 160 of 256, in use
    EXPECT_EQ(file[at.instrument + 0x3A], 0x80 | 90);    // cutoff, in use
    EXPECT_EQ(file[at.instrument + 0x130], 1 | 2 | 4 | 8);   // volume envelope: on, loop, sustain, carry
    EXPECT_EQ(file[at.instrument + 0x1D4], 1 | 4 | 8 | 128); // pitch envelope drives the filter
    EXPECT_EQ(file[at.sample + 0x12], 1 | 2 | 4 | 16 | 32 | 64);  // 16-bit stereo, ping-pong loop
    EXPECT_EQ(file[at.sample + 0x2F], 0x80 | 16);
    EXPECT_EQ(file[at.sample + 0x4F], 2);                // square is IT's waveform 2

    Module loaded;
    ASSERT_EQ(loadIt(file.data(), file.size(), loaded), LoadResult::Loaded);
    expectSameModule(original, loaded);
}

TEST(ItLoaderTest, EverySampleCodingGivesTheSameFrames)
{
    Module module;
    module.format = ModuleFormat::It;
    module.channels = 1;
    module.orders = {0};
    module.channelSettings.resize(1);
    Pattern pattern;
    pattern.rows = 1;
    pattern.cells.resize(1);
    pattern.cells[0] = makeCell(61, 1);
    module.patterns.push_back(pattern);
    // Each spans more than one block, so a block's fresh start is needed too.
    const struct {
        std::uint32_t frames;
        int channels;
        bool sixteenBit;
    } kinds[] = {{itBlockFrames8 + 123, 1, false}, {itBlockFrames16 + 77, 1, true},
                 {itBlockFrames8 + 9, 2, false},   {itBlockFrames16 + 5, 2, true}};
    for (const auto& kind : kinds) {
        Sample sample;
        sample.channels = kind.channels;
        sample.sixteenBit = kind.sixteenBit;
        sample.data = testFrames(kind.frames, kind.channels, kind.sixteenBit, kind.frames);
        module.samples.push_back(sample);
    }

    const Bytes raw = writeIt(module, ItSampleCoding::Raw);
    for (ItSampleCoding coding : {ItSampleCoding::Raw, ItSampleCoding::Compressed214, ItSampleCoding::Compressed215}) {
        SCOPED_TRACE(static_cast<int>(coding));
        const Bytes file = writeIt(module, coding);
        const ItLayout at(file);
        const bool compressed = coding != ItSampleCoding::Raw;
        EXPECT_EQ((file[at.sample + 0x12] & 8) != 0, compressed);
        EXPECT_EQ((file[at.sample + 0x2E] & 4) != 0, coding == ItSampleCoding::Compressed215);
        if (compressed) {
            EXPECT_LT(file.size(), raw.size());
        }
        Module loaded;
        ASSERT_EQ(loadIt(file.data(), file.size(), loaded), LoadResult::Loaded);
        ASSERT_EQ(loaded.samples.size(), module.samples.size());
        for (std::size_t i = 0; i < module.samples.size(); ++i) {
            EXPECT_TRUE(loaded.samples[i].data == module.samples[i].data) << "sample " << i + 1;
            EXPECT_EQ(loaded.samples[i].channels, module.samples[i].channels);
        }
    }

    // The encoder leaves every width by each of the three ways, so the decoding of each
    // was shown above.
    for (bool it215 : {false, true}) {
        ItWidthChanges changes;
        for (const Sample& sample : module.samples) {
            for (int c = 0; c < sample.channels; ++c) {
                compressItChannel(sample.data.data() + c, sample.frames(), sample.channels, sample.sixteenBit, it215,
                                  &changes);
            }
        }
        EXPECT_GT(changes.fromNarrow, 0);
        EXPECT_GT(changes.fromMiddle, 0);
        EXPECT_GT(changes.fromWidest, 0);
    }
}

TEST(ItSamplesTest, BlocksWorkedOutByHandDecode)
{
    // 8-bit, bits from the least significant up:
    //   width 9:  1 0000 0010  flag bit set: new width 0x02 + 1 = 3
    //   width 3:  001, 010, 101  deltas 1, 2, -3
    //   width 3:  100 then 101  lone top bit: width field 5 + 1 = 6, not below 3: width 7
    //   width 7:  0110010  delta 50
    //   width 7:  1000011  67 is 59 + 8 (59 = 63 - 4 is the border): 8, not below 7: width 9
    //   width 9:  0 1001 1100  delta -100
    // 47 bits in 6 bytes, after a length word of 6.
    const Bytes block8 = {0x06, 0x00, 0x02, 0xA3, 0xB2, 0xB2, 0x21, 0x27};
    // 16-bit: width 17: flag set, new width 4 + 1 = 5; width 5: deltas 7 and -15 (10001);
    // then 10000 with width field 14: 15, not below 5, gives width 16; delta -20000.
    const Bytes block16 = {0x07, 0x00, 0x04, 0x00, 0x4F, 0x84, 0x0E, 0x1E, 0x0B};

    const struct {
        const Bytes* bytes;
        bool sixteenBit;
        bool it215;
        std::vector<std::int16_t> expected;
    } cases[] = {
        // Integrated once: 1, 3, 0, 50, -50; twice: 1, 4, 4, 54, 4.
        {&block8, false, false, {1 * 256, 3 * 256, 0, 50 * 256, -50 * 256}},
        {&block8, false, true, {1 * 256, 4 * 256, 4 * 256, 54 * 256, 4 * 256}},
        {&block16, true, false, {7, -8, -20008}},
        {&block16, true, true, {7, -1, -20009}},
    };
    for (const auto& c : cases) {
        const std::size_t frames = c.expected.size();
        // Every other slot, as for a stereo sample's left channel.
        std::vector<std::int16_t> out(frames * 2, 99);
        std::size_t used = 0;
        ASSERT_TRUE(decompressItSample(c.bytes->data(), c.bytes->size(), used, c.sixteenBit, c.it215, out.data(),
                                       static_cast<std::uint32_t>(frames), 2));
        EXPECT_EQ(used, c.bytes->size());
        for (std::size_t i = 0; i < frames; ++i) {
            EXPECT_EQ(out[i * 2], c.expected[i]) << "frame " << i;
            EXPECT_EQ(out[i * 2 + 1], 99) << "frame " << i;
        }
    }

    // Damaged streams, decoded into a buffer with room to spare so that nothing is
    // written past the frames asked for.
    const struct {
        const char* what;
        Bytes bytes;
        std::uint32_t frames;
    } damaged[] = {
        // The flag bit at width 9 names width 9 + 1: no such width. Enough bits follow
        // for a frame of any width.
        {"width out of range", {0x04, 0x00, 0x09, 0x01, 0x00, 0x00}, 1},
        {"length past the data", {0x07, 0x00, 0x02, 0xA3, 0xB2, 0xB2, 0x21, 0x27}, 5},
        {"bits run out", {0x02, 0x00, 0x02, 0xA3}, 5},
        {"no length word", {0x06}, 1},
    };
    for (const auto& d : damaged) {
        std::vector<std::int16_t> out(16, 0);
        std::size_t used = 0;
        EXPECT_FALSE(decompressItSample(d.bytes.data(), d.bytes.size(), used, false, false, out.data(), d.frames, 1))
            << d.what;
    }
}

// Builds a file by hand, byte by byte.
class HandFile {
public:
    Bytes bytes;

    std::size_t add(std::size_t length)
    {
        bytes.resize(bytes.size() + length, 0);
        return bytes.size() - length;
    }
    void put(std::size_t offset, std::initializer_list<int> values)
    {
        for (int v : values) {
            bytes.at(offset++) = static_cast<std::uint8_t>(v);
        }
    }
    void text(std::size_t offset, const char* s) { std::memcpy(&bytes.at(offset), s, std::strlen(s)); }

    // A header with its order list and zeroed pointer tables.
    void header(std::vector<int> orders, int instruments, int samples, int patterns, int version, int flags)
    {
        add(0xC0 + orders.size() + static_cast<std::size_t>(instruments + samples + patterns) * 4);
        text(0, "IMPM");
        putLittleWord(bytes, 0x20, static_cast<std::uint32_t>(orders.size()));
        putLittleWord(bytes, 0x22, static_cast<std::uint32_t>(instruments));
        putLittleWord(bytes, 0x24, static_cast<std::uint32_t>(samples));
        putLittleWord(bytes, 0x26, static_cast<std::uint32_t>(patterns));
        putLittleWord(bytes, 0x28, static_cast<std::uint32_t>(version));
        putLittleWord(bytes, 0x2A, static_cast<std::uint32_t>(version));
        putLittleWord(bytes, 0x2C, static_cast<std::uint32_t>(flags));
        for (std::size_t i = 0; i < orders.size(); ++i) {
            bytes[0xC0 + i] = static_cast<std::uint8_t>(orders[i]);
        }
    }
};

TEST(ItLoaderTest, OldFormatFileByHand)
{
    HandFile file;
    file.header({0, 255}, 1, 1, 1, 0x0100, 1 | 4);
    file.text(4, "old format");
    file.put(0x30, {200, 50, 0, 20});            // global volume, mixing volume, speed, tempo
    file.put(0x40, {100, 0x80 | 32, 64, 70});    // surround, muted, right, out of range
    file.put(0x80, {70, 0, 32, 64});

    const std::size_t instrument = file.add(554);
    putLittleDword(file.bytes, 0xC2, static_cast<std::uint32_t>(instrument));
    file.text(instrument, "IMPI");
    // Envelope on, loop and sustain loop; loop 0 to 1, sustain 2 to 5; fadeout 32;
    // NNA note off; duplicate note check on.
    file.put(instrument + 0x11, {7, 0, 1, 2, 5});
    file.put(instrument + 0x18, {32, 0, 2, 1});
    file.text(instrument + 0x20, "old instrument");
    for (int key = 0; key < 120; ++key) {
        file.put(instrument + 0x40 + static_cast<std::size_t>(key) * 2, {key, 1});
    }
    file.put(instrument + 0x40 + 60 * 2, {72, 0});   // C-5 plays C-6, with no sample
    file.put(instrument + 0x40 + 5 * 2, {130, 1});   // no such note: the key's own
    std::memset(&file.bytes[instrument + 0x130], 0xFF, 200);
    file.put(instrument + 0x1F8, {0, 64, 10, 32, 20, 0, 0xFF, 0xFF, 30, 10});

    const std::size_t sample = file.add(0x50);
    putLittleDword(file.bytes, 0xC6, static_cast<std::uint32_t>(sample));
    file.text(sample, "IMPS");
    file.put(sample + 0x11, {80, 1 | 16 | 32, 40});   // global volume 80 is too loud; data, loop, sustain
    file.text(sample + 0x14, "unsigned");
    file.put(sample + 0x2E, {0, 0x80 | 64});          // unsigned; panning 64, in use
    putLittleDword(file.bytes, sample + 0x30, 4);           // frames
    putLittleDword(file.bytes, sample + 0x34, 1);           // loop 1 to 10, of which 1 to 4 exist
    putLittleDword(file.bytes, sample + 0x38, 10);
    putLittleDword(file.bytes, sample + 0x40, 3);           // an empty sustain loop
    putLittleDword(file.bytes, sample + 0x44, 3);
    file.put(sample + 0x4C, {70, 80, 5, 1});          // vibrato: speed, depth, rate, ramp down

    const Bytes packed = {
        // Row 0: channel 1 with all four fields; channels 2 to 4 with some.
        0x81, 0x0F, 0, 1, 70, 20, 0x50,
        0x82, 0x05, 120, 110,
        0x83, 0x05, 253, 150,
        0x84, 0x0D, 254, 200, 27, 0x12,
        0,
        // Row 1: channel 1 repeats all it had; channel 2 reuses its mask without saying.
        0x81, 0xF0,
        0x02, 255, 212,
        0,
        // Row 2: a volume byte with no meaning; row 3 empty; then padding.
        0x83, 0x04, 125,
        0, 0, 0,
    };
    const std::size_t pattern = file.add(8 + packed.size());
    putLittleDword(file.bytes, 0xCA, static_cast<std::uint32_t>(pattern));
    putLittleWord(file.bytes, pattern, static_cast<std::uint32_t>(packed.size()));
    putLittleWord(file.bytes, pattern + 2, 4);
    std::memcpy(&file.bytes[pattern + 8], packed.data(), packed.size());

    const std::size_t data = file.add(4);
    putLittleDword(file.bytes, sample + 0x48, static_cast<std::uint32_t>(data));
    file.put(data, {0x00, 0x80, 0xFF, 0x40});

    Module module;
    ASSERT_EQ(loadIt(file.bytes.data(), file.bytes.size(), module), LoadResult::Loaded);
    EXPECT_EQ(module.format, ModuleFormat::It);
    EXPECT_EQ(module.title, "old format");
    EXPECT_EQ(module.orders, (std::vector<std::uint16_t>{0, orderEnd}));
    EXPECT_EQ(module.initialGlobalVolume, 128);
    EXPECT_EQ(module.mixingVolume, 50);
    EXPECT_EQ(module.initialSpeed, 6);
    EXPECT_EQ(module.initialTempo, 125);
    EXPECT_TRUE(module.stereo);
    EXPECT_FALSE(module.linearSlides);

    ASSERT_EQ(module.channels, 4);
    ASSERT_EQ(module.channelSettings.size(), 4u);
    const std::tuple<int, int, bool, bool> channels[] = {
        {128, 64, true, false}, {128, 0, false, true}, {256, 32, false, false}, {128, 64, false, false}};
    for (std::size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(fieldsOf(module.channelSettings[c]), channels[c]) << "channel " << c;
    }

    ASSERT_EQ(module.patterns.size(), 1u);
    ASSERT_EQ(module.patterns[0].rows, 4);
    using Fields = std::tuple<int, int, VolumeCommand, int, Effect, int>;
    const struct {
        int row;
        int channel;
        Fields fields;
    } cells[] = {
        {0, 0, {1, 1, VolumeCommand::FineVolumeUp, 5, Effect::SetTempo, 0x50}},
        {0, 1, {noteFade, 0, VolumeCommand::PortamentoDown, 5, Effect::None, 0}},
        {0, 2, {noteFade, 0, VolumeCommand::Panning, 22, Effect::None, 0}},
        {0, 3, {noteCut, 0, VolumeCommand::TonePortamento, 7, Effect::None, 0}},
        {1, 0, {1, 1, VolumeCommand::FineVolumeUp, 5, Effect::SetTempo, 0x50}},
        {1, 1, {noteOff, 0, VolumeCommand::VibratoDepth, 9, Effect::None, 0}},
        {1, 2, {noteNone, 0, VolumeCommand::None, 0, Effect::None, 0}},
        {2, 2, {noteNone, 0, VolumeCommand::None, 0, Effect::None, 0}},
        {3, 0, {noteNone, 0, VolumeCommand::None, 0, Effect::None, 0}},
    };
    for (const auto& c : cells) {
        EXPECT_EQ(fieldsOf(module.cell(0, c.row, c.channel)), c.fields) << "row " << c.row << " channel " << c.channel;
    }

    ASSERT_EQ(module.instruments.size(), 1u);
    const Instrument& old = module.instruments[0];
    EXPECT_EQ(old.name, "old instrument");
    EXPECT_EQ(old.fadeout, 32 * 128);   // a fade volume of 512 falling by 32: 1/16 a tick
    EXPECT_EQ(old.newNoteAction, NewNoteAction::NoteOff);
    EXPECT_EQ(old.duplicateCheck, DuplicateCheck::Note);
    EXPECT_EQ(old.duplicateAction, DuplicateAction::Cut);
    EXPECT_EQ(old.panning, -1);
    EXPECT_EQ(old.globalVolume, 128);
    EXPECT_EQ(old.keys[0].note, 1);
    EXPECT_EQ(old.keys[0].sample, 1);
    EXPECT_EQ(old.keys[5].note, 6);
    EXPECT_EQ(old.keys[60].note, 73);
    EXPECT_EQ(old.keys[60].sample, 0);
    EXPECT_EQ(old.keys[119].note, 120);
    const Envelope& envelope = old.volumeEnvelope;
    ASSERT_EQ(envelope.points.size(), 3u);   // the fourth point's tick of 255 ends the list
    EXPECT_EQ(envelope.points[1].tick, 10);
    EXPECT_EQ(envelope.points[1].value, 32);
    EXPECT_EQ(envelope.points[2].tick, 20);
    EXPECT_TRUE(envelope.enabled);
    EXPECT_TRUE(envelope.loop);
    EXPECT_EQ(envelope.loopEnd, 1);
    EXPECT_FALSE(envelope.sustain);   // its end lies past the last point
    EXPECT_TRUE(old.panningEnvelope.points.empty());

    ASSERT_EQ(module.samples.size(), 1u);
    const Sample& s = module.samples[0];
    EXPECT_EQ(s.name, "unsigned");
    EXPECT_EQ(s.data, (std::vector<std::int16_t>{-128 * 256, 0, 127 * 256, -64 * 256}));
    EXPECT_FALSE(s.sixteenBit);
    EXPECT_EQ(s.globalVolume, 64);
    EXPECT_EQ(s.volume, 40);
    EXPECT_EQ(s.panning, 256);
    EXPECT_EQ(s.c5Speed, 8363u);
    EXPECT_EQ(s.loop, LoopMode::Forward);
    EXPECT_EQ(s.loopStart, 1u);
    EXPECT_EQ(s.loopEnd, 4u);
    EXPECT_EQ(s.sustainLoop, LoopMode::None);
    EXPECT_EQ(s.vibrato.waveform, 2);   // ramp down
    EXPECT_EQ(s.vibrato.speed, 64);
    EXPECT_EQ(s.vibrato.depth, 64);
    EXPECT_EQ(s.vibrato.sweep, 5);
}

// A module small enough to damage by hand: one instrument, one 8-bit sample, one
// pattern of 8 rows.
Module smallModule()
{
    Module module;
    module.format = ModuleFormat::It;
    module.channels = 2;
    module.orders = {0, orderEnd};
    module.channelSettings.resize(2);
    Instrument instrument;
    for (std::size_t i = 0; i < instrument.keys.size(); ++i) {
        instrument.keys[i] = {static_cast<std::uint8_t>(i + 1), 1};
    }
    module.instruments.push_back(instrument);
    Sample sample;
    sample.data = testFrames(3000, 1, false, 7);
    module.samples.push_back(sample);
    Pattern pattern;
    pattern.rows = 8;
    pattern.cells.resize(16);
    pattern.cell(0, 1, 2) = makeCell(61, 1, VolumeCommand::Volume, 40, Effect::SetSpeed, 5);
    module.patterns.push_back(pattern);
    return module;
}

// A file whose patterns would hold more cells than a module may: 4200 patterns of 64
// rows (offset 0) after one that uses channel 64.
Bytes tooManyCells()
{
    HandFile file;
    const int patterns = 4200;
    file.header({0}, 0, 0, patterns, 0x0214, 0);
    const Bytes packed = {64 | 0x80, 0x08, 1, 6, 0};
    const std::size_t pattern = file.add(8 + packed.size());
    putLittleDword(file.bytes, 0xC1, static_cast<std::uint32_t>(pattern));
    putLittleWord(file.bytes, pattern, static_cast<std::uint32_t>(packed.size()));
    putLittleWord(file.bytes, pattern + 2, 1);
    std::memcpy(&file.bytes[pattern + 8], packed.data(), packed.size());
    return file.bytes;
}

TEST(ItLoaderTest, DamagedFilesAreRefused)
{
    const Bytes raw = writeIt(smallModule(), ItSampleCoding::Raw);
    const Bytes compressed = writeIt(smallModule(), ItSampleCoding::Compressed214);
    const ItLayout at(raw);
    const ItLayout packedAt(compressed);
    using Damage = std::function<void(Bytes&)>;
    const struct {
        const char* what;
        const Bytes* file;
        Damage damage;
        LoadResult expected;
    } cases[] = {
        {"intact", &raw, [](Bytes&) {}, LoadResult::Loaded},
        {"intact, compressed", &compressed, [](Bytes&) {}, LoadResult::Loaded},
        {"bad signature", &raw, [](Bytes& f) { f[3] = 'X'; }, LoadResult::UnknownFormat},
        {"cut in the header", &raw, [](Bytes& f) { f.resize(0x80); }, LoadResult::HeaderCutShort},
        {"cut in the pointer tables", &raw, [&](Bytes& f) { f.resize(at.patternPointers + 2); },
         LoadResult::HeaderCutShort},
        {"no orders", &raw, [](Bytes& f) { putLittleWord(f, 0x20, 0); }, LoadResult::BadSongLength},
        {"257 orders", &raw, [](Bytes& f) { putLittleWord(f, 0x20, 257); }, LoadResult::BadSongLength},
        {"256 instruments", &raw, [](Bytes& f) { putLittleWord(f, 0x22, 256); }, LoadResult::BadHeader},
        {"instrument without its signature", &raw, [&](Bytes& f) { f[at.instrument] = 'X'; },
         LoadResult::BadHeader},
        {"instrument pointer outside the file", &raw,
         [&](Bytes& f) { putLittleDword(f, at.instrumentPointers, static_cast<std::uint32_t>(f.size()) - 100); },
         LoadResult::InstrumentsCutShort},
        {"sample header pointer outside the file", &raw,
         [&](Bytes& f) { putLittleDword(f, at.samplePointers, static_cast<std::uint32_t>(f.size()) - 40); },
         LoadResult::InstrumentsCutShort},
        {"pattern pointer outside the file", &raw,
         [&](Bytes& f) { putLittleDword(f, at.patternPointers, static_cast<std::uint32_t>(f.size()) + 1); },
         LoadResult::PatternsCutShort},
        {"pattern longer than the file", &raw,
         [&](Bytes& f) {
             putLittleWord(f, at.pattern, 0xFFFF);
             f.resize(at.pattern + 100);
         },
         LoadResult::PatternsCutShort},
        {"pattern of 0 rows", &raw, [&](Bytes& f) { putLittleWord(f, at.pattern + 2, 0); }, LoadResult::BadPattern},
        {"pattern of 201 rows", &raw, [&](Bytes& f) { putLittleWord(f, at.pattern + 2, 201); }, LoadResult::BadPattern},
        // A cell whose mask asks for four fields, with its pattern ending after one.
        {"packed cell overrunning its pattern", &raw,
         [&](Bytes& f) {
             putLittleWord(f, at.pattern, 3);
             f[at.pattern + 8] = 0x81;
             f[at.pattern + 9] = 0x0F;
             f[at.pattern + 10] = 60;
         },
         LoadResult::BadPattern},
        {"cell past the last row", &raw,
         [&](Bytes& f) {
             putLittleWord(f, at.pattern, 5);
             putLittleWord(f, at.pattern + 2, 1);
             const std::uint8_t data[] = {0, 0x81, 0x01, 60, 0};
             std::memcpy(&f[at.pattern + 8], data, sizeof data);
         },
         LoadResult::BadPattern},
        {"sample data outside the file", &raw,
         [&](Bytes& f) { putLittleDword(f, at.sample + 0x48, static_cast<std::uint32_t>(f.size()) - 10); },
         LoadResult::SamplesCutShort},
        {"sample of 2^31 frames", &raw, [&](Bytes& f) { putLittleDword(f, at.sample + 0x30, 0x80000000u); },
         LoadResult::TooLarge},
        {"more compressed frames than 8 a byte", &compressed,
         [&](Bytes& f) {
             putLittleDword(f, packedAt.sample + 0x30,
                      static_cast<std::uint32_t>((f.size() - packedAt.sampleData) * 8 + 1));
         },
         LoadResult::SamplesCutShort},
        {"compressed block longer than the data", &compressed,
         [&](Bytes& f) { putLittleWord(f, packedAt.sampleData, 0xFFFF); }, LoadResult::BadSample},
        {"compressed width out of range", &compressed,
         [&](Bytes& f) {
             putLittleDword(f, packedAt.sample + 0x30, 1);
             const std::uint8_t block[] = {0x04, 0x00, 0x09, 0x01, 0x00, 0x00};
             std::memcpy(&f[packedAt.sampleData], block, sizeof block);
         },
         LoadResult::BadSample},
    };
    for (const auto& c : cases) {
        Bytes file = *c.file;
        c.damage(file);
        Module module;
        module.title = "left over";
        EXPECT_EQ(loadIt(file.data(), file.size(), module), c.expected) << c.what;
        if (c.expected != LoadResult::Loaded) {
            EXPECT_TRUE(module.title.empty() && module.patterns.empty() && module.samples.empty()) << c.what;
        }
    }

    const Bytes huge = tooManyCells();
    Module module;
    EXPECT_EQ(loadIt(huge.data(), huge.size(), module), LoadResult::TooLarge);
    // The same file with fewer patterns is no trouble: the count is what was refused.
    Bytes fewer = huge;
    putLittleWord(fewer, 0x26, 100);
    EXPECT_EQ(loadIt(fewer.data(), fewer.size(), module), LoadResult::Loaded);
    EXPECT_EQ(module.channels, 64);
}

} // namespace
