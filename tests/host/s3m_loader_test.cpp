#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sound/module.h"
#include "tests/sound/s3m_writer.h"
#include "tests/sound/tracker_fields.h"

namespace {

LoadResult load(const std::vector<std::uint8_t>& bytes, Module& module)
{
    return loadS3m(bytes.data(), bytes.size(), module);
}

void expectSameCell(const Cell& want, const Cell& got, const std::string& where)
{
    EXPECT_EQ(got.note, want.note) << where;
    EXPECT_EQ(got.instrument, want.instrument) << where;
    EXPECT_EQ(got.volumeCommand, want.volumeCommand) << where;
    EXPECT_EQ(got.volumeValue, want.volumeValue) << where;
    EXPECT_EQ(got.effect, want.effect) << where;
    EXPECT_EQ(got.parameter, want.parameter) << where;
}

// Checks every field an S3M file can hold.
void expectSameModule(const Module& expected, const Module& actual)
{
    EXPECT_EQ(actual.format, ModuleFormat::S3m);
    EXPECT_EQ(actual.title, expected.title);
    ASSERT_EQ(actual.channels, expected.channels);
    ASSERT_EQ(actual.channelSettings.size(), expected.channelSettings.size());
    for (std::size_t i = 0; i < expected.channelSettings.size(); ++i) {
        EXPECT_EQ(actual.channelSettings[i].panning, expected.channelSettings[i].panning) << "channel " << i;
        EXPECT_EQ(actual.channelSettings[i].muted, expected.channelSettings[i].muted) << "channel " << i;
    }
    EXPECT_EQ(actual.orders, expected.orders);
    EXPECT_EQ(actual.initialSpeed, expected.initialSpeed);
    EXPECT_EQ(actual.initialTempo, expected.initialTempo);
    EXPECT_EQ(actual.initialGlobalVolume, expected.initialGlobalVolume);
    EXPECT_EQ(actual.mixingVolume, expected.mixingVolume);
    EXPECT_EQ(actual.stereo, expected.stereo);
    EXPECT_EQ(actual.amigaLimits, expected.amigaLimits);
    EXPECT_EQ(actual.fastVolumeSlides, expected.fastVolumeSlides);

    ASSERT_EQ(actual.patterns.size(), expected.patterns.size());
    for (std::size_t p = 0; p < expected.patterns.size(); ++p) {
        ASSERT_EQ(actual.patterns[p].rows, 64);
        for (int row = 0; row < 64; ++row) {
            for (int channel = 0; channel < expected.channels; ++channel) {
                const Cell& want = expected.patterns[p].cell(row, channel, expected.channels);
                const Cell& got = actual.patterns[p].cell(row, channel, actual.channels);
                const std::string where =
                    "pattern " + std::to_string(p) + " row " + std::to_string(row) + " channel " + std::to_string(channel);
                expectSameCell(want, got, where);
            }
        }
    }

    ASSERT_EQ(actual.samples.size(), expected.samples.size());
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        const Sample& want = expected.samples[i];
        const Sample& got = actual.samples[i];
        EXPECT_EQ(got.name, want.name) << "sample " << i;
        EXPECT_EQ(got.data, want.data) << "sample " << i;
        EXPECT_EQ(got.channels, want.channels) << "sample " << i;
        EXPECT_EQ(got.sixteenBit, want.sixteenBit) << "sample " << i;
        EXPECT_EQ(got.loop, want.loop) << "sample " << i;
        EXPECT_EQ(got.loopStart, want.loopStart) << "sample " << i;
        EXPECT_EQ(got.loopEnd, want.loopEnd) << "sample " << i;
        EXPECT_EQ(got.volume, want.volume) << "sample " << i;
        EXPECT_EQ(got.c5Speed, want.c5Speed) << "sample " << i;
    }
}

// A module that uses every field S3M stores, with values on the format's own grid:
// the pannings are the 0..15 steps 3, 12, 0, 15 and 7 on our 0..256 scale.
Module everyFieldModule()
{
    Module module;
    module.format = ModuleFormat::S3m;
    module.title = "every field";
    module.channels = 5;
    module.channelSettings.resize(5);
    const int pannings[] = {51, 205, 0, 256, 119};
    for (int i = 0; i < 5; ++i) {
        module.channelSettings[static_cast<std::size_t>(i)].panning = pannings[i];
    }
    module.channelSettings[2].muted = true;
    module.orders = {0, orderSkip, 1, orderEnd, 1};
    module.initialSpeed = 4;
    module.initialTempo = 150;
    module.initialGlobalVolume = 96;
    module.mixingVolume = 100;
    module.stereo = false;
    module.amigaLimits = true;
    module.fastVolumeSlides = true;

    module.patterns.resize(2);
    for (Pattern& pattern : module.patterns) {
        pattern.cells.resize(64 * 5);
    }
    // Every command letter once, in the first pattern's first channel.
    for (int row = 0; row < 26; ++row) {
        Cell& cell = module.cell(0, row, 0);
        cell.effect = commandLetters[static_cast<std::size_t>(row)];
        cell.parameter = static_cast<std::uint8_t>(row * 9 + 1);
    }
    // Notes from C-1 to B-9, a cut, volumes 0 and 64, an instrument without a note.
    module.cell(0, 0, 1) = Cell{13, 1, VolumeCommand::Volume, 0, Effect::None, 0, 0};
    module.cell(0, 1, 1) = Cell{120, 2, VolumeCommand::None, 0, Effect::None, 0, 0};
    module.cell(0, 2, 1) = Cell{noteCut, 0, VolumeCommand::Volume, 64, Effect::None, 0, 0};
    module.cell(0, 3, 1) = Cell{noteNone, 3, VolumeCommand::None, 0, Effect::None, 0, 0};
    module.cell(1, 63, 4) = Cell{noteMiddleC, 1, VolumeCommand::Volume, 33, Effect::Special, 0x81, 0};
    module.cell(1, 10, 2) = Cell{70, 2, VolumeCommand::None, 0, Effect::None, 0, 0};   // in the muted channel

    Sample stereo16;
    stereo16.name = "stereo sixteen";
    stereo16.channels = 2;
    stereo16.sixteenBit = true;
    for (int i = 0; i < 12; ++i) {
        stereo16.data.push_back(static_cast<std::int16_t>(i * 2731 - 16000));
        stereo16.data.push_back(static_cast<std::int16_t>(-i * 1000 + 5));
    }
    stereo16.data[0] = -32768;
    stereo16.data[1] = 32767;
    stereo16.loop = LoopMode::Forward;
    stereo16.loopStart = 2;
    stereo16.loopEnd = 10;
    stereo16.volume = 48;
    stereo16.c5Speed = 44100;

    Sample mono8;
    mono8.name = "mono eight";
    mono8.data = {-32768, -256, 0, 256, 32512, 12800};
    mono8.volume = 64;
    mono8.c5Speed = 8363;

    Sample empty;
    empty.name = "no data";
    empty.volume = 20;
    module.samples = {stereo16, mono8, empty};
    return module;
}

TEST(S3mLoaderTest, WrittenModuleLoadsBackWithEveryField)
{
    const Module module = everyFieldModule();
    const std::vector<std::uint8_t> bytes = writeS3m(module);
    Module loaded;
    ASSERT_EQ(load(bytes, loaded), LoadResult::Loaded);
    expectSameModule(module, loaded);

    // The comparison sees a difference in any one field.
    Module changed = module;
    changed.cell(1, 63, 4).parameter = 0x82;
    EXPECT_NONFATAL_FAILURE(expectSameModule(changed, loaded), "parameter");
    changed = module;
    changed.samples[0].data[23] = 1;
    EXPECT_NONFATAL_FAILURE(expectSameModule(changed, loaded), "data");
}

// A file laid out by hand: header, 2 orders, 4 sample and 3 pattern parapointers, the
// panning table, the sample headers, the patterns and the sample data.
struct HandMadeFile {
    static constexpr std::size_t samplesAt = 0x90;      // 4 headers of 0x50
    static constexpr std::size_t patternAt = 0x1D0;
    static constexpr std::size_t cutPatternAt = 0x290;
    static constexpr std::size_t dataAt = 0x300;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x320, 0);

    HandMadeFile()
    {
        std::memcpy(bytes.data(), "hand made", 9);
        bytes[0x1C] = 0x1A;
        bytes[0x1D] = 16;
        putLittleWord(bytes, 0x20, 2);
        putLittleWord(bytes, 0x22, 4);
        putLittleWord(bytes, 0x24, 3);
        putLittleWord(bytes, 0x28, 0x1300);   // Scream Tracker 3.00: fast volume slides
        putLittleWord(bytes, 0x2A, 2);        // unsigned samples
        std::memcpy(&bytes[0x2C], "SCRM", 4);
        bytes[0x30] = 80;               // global volume past 64
        bytes[0x31] = 0;                // speed 0: the default
        bytes[0x32] = 31;               // tempo below 32: the default
        bytes[0x33] = 0x08;             // mono, master volume below 16
        bytes[0x35] = 252;
        // Left 1, right 1 switched off, AdLib, unused, right 2, then unused.
        const std::uint8_t settings[] = {0x00, 0x88, 0x10, 0xFF, 0x09};
        std::memset(&bytes[0x40], 0xFF, 32);
        std::memcpy(&bytes[0x40], settings, sizeof settings);
        bytes[0x60] = 0;
        bytes[0x61] = 255;
        for (std::size_t i = 0; i < 4; ++i) {
            putLittleWord(bytes, 0x62 + i * 2, static_cast<std::uint32_t>((samplesAt + i * 0x50) / 16));
        }
        putLittleWord(bytes, 0x6A, patternAt / 16);
        putLittleWord(bytes, 0x6C, 0);        // an empty pattern
        putLittleWord(bytes, 0x6E, cutPatternAt / 16);
        // Panning table: channel 0's entry lacks the "given" bit, channel 4 goes hard left.
        bytes[0x70] = 0x0F;
        bytes[0x74] = 0x20;

        // Sample 1: 8-bit, loop 1 to 99 (cut to 4), volume 70, C2SPD 0.
        sampleHeader(0, 1, dataAt / 16, 4, 1);
        putLittleDword(bytes, samplesAt + 0x14, 1);
        putLittleDword(bytes, samplesAt + 0x18, 99);
        bytes[samplesAt + 0x1C] = 70;
        std::memcpy(&bytes[dataAt], "\x80\xFF\x00\x7F", 4);
        // Sample 2: 16-bit stereo of 2 frames, the left channel's block first.
        sampleHeader(1, 1, (dataAt + 0x10) / 16, 2, 2 | 4);
        const std::uint8_t stereo[] = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x34, 0x92};
        std::memcpy(&bytes[dataAt + 0x10], stereo, sizeof stereo);
        // Sample 3: an AdLib instrument; sample 4: a loop whose end comes before its start.
        sampleHeader(2, 2, 0, 0, 0);
        sampleHeader(3, 1, dataAt / 16, 4, 1);
        putLittleDword(bytes, samplesAt + 3 * 0x50 + 0x14, 3);
        putLittleDword(bytes, samplesAt + 3 * 0x50 + 0x18, 2);

        // Pattern 0: rows 0 to 25 hold commands A to Z in channel 0 (parameter = row).
        std::vector<std::uint8_t> packed;
        for (int row = 0; row < 26; ++row) {
            packed.insert(packed.end(), {0x80, static_cast<std::uint8_t>(row + 1), static_cast<std::uint8_t>(row), 0});
        }
        // Row 26: notes, volumes, commands past Z, and channel 31 past the module's width.
        packed.insert(packed.end(), {
            0x20 | 1, 0x40, 5,                  // C-4, instrument 5
            0x60 | 2, 0x5B, 0, 65,              // B-5, volume 65
            0x60 | 3, 0xFE, 0, 255,             // note cut, the empty volume mark
            0xE0 | 4, 0x3C, 9, 0, 27, 0x44,     // semitone 12, volume 0, command 27
            0xE0 | 31, 0x40, 1, 30, 1, 0x10,    // dropped
            0});
        // Row 27: octave 9 (past B-9), and an instrument without a note.
        packed.insert(packed.end(), {0x20 | 0, 0x9B, 0, 0x20 | 1, 0xFF, 3, 0});
        packed.resize(packed.size() + 64 - 28, 0);
        putLittleWord(bytes, patternAt, static_cast<std::uint32_t>(packed.size() + 2));
        std::copy(packed.begin(), packed.end(), bytes.begin() + patternAt + 2);

        // Pattern 2: row 0 holds a note; row 1's entry is cut in two by the length word,
        // which the reading of the 64 rows (zeros after it) passes over.
        const std::uint8_t cut[] = {0x20 | 0, 0x41, 1, 0, 0x20 | 1, 0x42, 1};
        putLittleWord(bytes, cutPatternAt, 2 + sizeof cut - 1);
        std::memcpy(&bytes[cutPatternAt + 2], cut, sizeof cut);
    }

    void sampleHeader(std::size_t index, std::uint8_t type, std::size_t paragraph, std::uint32_t length, std::uint8_t flags)
    {
        const std::size_t at = samplesAt + index * 0x50;
        bytes[at] = type;
        putLittleWord(bytes, at + 0x0E, static_cast<std::uint32_t>(paragraph));
        putLittleDword(bytes, at + 0x10, length);
        bytes[at + 0x1C] = 32;
        bytes[at + 0x1F] = flags;
        const std::string name = "sample " + std::to_string(index + 1);
        std::memcpy(&bytes[at + 0x30], name.data(), name.size());
        std::memcpy(&bytes[at + 0x4C], "SCRS", 4);
    }
};

TEST(S3mLoaderTest, HandMadeFileIsDecodedAsTheFormatDescribes)
{
    HandMadeFile file;
    Module module;
    ASSERT_EQ(load(file.bytes, module), LoadResult::Loaded);

    EXPECT_EQ(module.title, "hand made");
    EXPECT_EQ(module.initialSpeed, 6);
    EXPECT_EQ(module.initialTempo, 125);
    EXPECT_EQ(module.initialGlobalVolume, 128);
    EXPECT_EQ(module.mixingVolume, 16);
    EXPECT_FALSE(module.stereo);
    EXPECT_TRUE(module.fastVolumeSlides);
    EXPECT_FALSE(module.amigaLimits);
    EXPECT_EQ(module.orders, (std::vector<std::uint16_t>{0, orderEnd}));

    // Step 3 is 51, step 12 is 205; entry 4 of the table moves that channel to step 0.
    ASSERT_EQ(module.channels, 5);
    const struct {
        int panning;
        bool muted;
    } channels[] = {{51, false}, {205, true}, {128, true}, {128, true}, {0, false}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(module.channelSettings[i].panning, channels[i].panning) << i;
        EXPECT_EQ(module.channelSettings[i].muted, channels[i].muted) << i;
    }

    ASSERT_EQ(module.patterns.size(), 3u);
    for (int row = 0; row < 26; ++row) {
        const Cell& cell = module.cell(0, row, 0);
        EXPECT_EQ(cell.effect, commandLetters[static_cast<std::size_t>(row)]) << "letter " << static_cast<char>('A' + row);
        EXPECT_EQ(cell.parameter, row);
    }
    const struct {
        int row, channel;
        Cell cell;
    } cells[] = {
        {26, 1, {61, 5, VolumeCommand::None, 0, Effect::None, 0, 0}},
        {26, 2, {84, 0, VolumeCommand::Volume, 64, Effect::None, 0, 0}},
        {26, 3, {noteCut, 0, VolumeCommand::None, 0, Effect::None, 0, 0}},
        {26, 4, {noteNone, 9, VolumeCommand::Volume, 0, Effect::None, 0x44, 0}},
        {27, 0, {noteNone, 0, VolumeCommand::None, 0, Effect::None, 0, 0}},
        {27, 1, {noteNone, 3, VolumeCommand::None, 0, Effect::None, 0, 0}},
        {28, 1, {noteNone, 0, VolumeCommand::None, 0, Effect::None, 0, 0}},
        {0, 0, {62, 1, VolumeCommand::None, 0, Effect::None, 0, 0}},    // pattern 2
        {1, 1, {63, 1, VolumeCommand::None, 0, Effect::None, 0, 0}},       // read whole
    };
    for (std::size_t i = 0; i < sizeof cells / sizeof cells[0]; ++i) {
        expectSameCell(cells[i].cell, module.cell(i < 7 ? 0 : 2, cells[i].row, cells[i].channel), std::to_string(i));
    }
    for (const Cell& cell : module.patterns[1].cells) {
        EXPECT_EQ(cell.note, noteNone);
    }
    EXPECT_EQ(module.patterns[1].cells.size(), 64u * 5u);

    ASSERT_EQ(module.samples.size(), 4u);
    const Sample& eight = module.samples[0];
    EXPECT_EQ(eight.name, "sample 1");
    EXPECT_EQ(eight.data, (std::vector<std::int16_t>{0, 127 * 256, -128 * 256, -256}));
    EXPECT_EQ(eight.volume, 64);
    EXPECT_EQ(eight.c5Speed, 8363u);
    EXPECT_EQ(eight.loop, LoopMode::Forward);
    EXPECT_EQ(eight.loopStart, 1u);
    EXPECT_EQ(eight.loopEnd, 4u);
    const Sample& stereo = module.samples[1];
    EXPECT_TRUE(stereo.sixteenBit);
    EXPECT_EQ(stereo.channels, 2);
    EXPECT_EQ(stereo.data, (std::vector<std::int16_t>{0, -32768, 32767, 0x1234}));
    const Sample& adlib = module.samples[2];
    EXPECT_EQ(adlib.name, "sample 3");
    EXPECT_EQ(adlib.volume, 32);
    EXPECT_TRUE(adlib.data.empty());
    EXPECT_EQ(module.samples[3].loop, LoopMode::None);

    // With the header's word at 0x2A saying "signed", the same bytes are taken as they are.
    putLittleWord(file.bytes, 0x2A, 1);
    ASSERT_EQ(load(file.bytes, module), LoadResult::Loaded);
    EXPECT_EQ(module.samples[0].data, (std::vector<std::int16_t>{-128 * 256, -256, 0, 127 * 256}));
}

TEST(S3mLoaderTest, DamagedFilesAreRefusedWithTheirReason)
{
    using Damage = std::function<void(std::vector<std::uint8_t>&)>;
    const std::size_t patternPointers = 0x6A;
    const std::size_t sampleHeader = HandMadeFile::samplesAt;
    const struct {
        const char* what;
        Damage damage;
        LoadResult expected;
    } cases[] = {
        {"nothing", [](std::vector<std::uint8_t>&) {}, LoadResult::Loaded},
        {"another signature", [](std::vector<std::uint8_t>& b) { b[0x2F] = 'N'; }, LoadResult::UnknownFormat},
        {"a song file's type", [](std::vector<std::uint8_t>& b) { b[0x1D] = 17; }, LoadResult::UnknownFormat},
        {"ends before the signature", [](std::vector<std::uint8_t>& b) { b.resize(0x2E); }, LoadResult::UnknownFormat},
        {"ends inside the header", [](std::vector<std::uint8_t>& b) { b.resize(0x50); }, LoadResult::HeaderCutShort},
        {"ends inside the order list", [](std::vector<std::uint8_t>& b) { putLittleWord(b, 0x20, 200); b.resize(0x100); },
         LoadResult::HeaderCutShort},
        {"ends inside the panning table", [](std::vector<std::uint8_t>& b) { b.resize(0x80); },
         LoadResult::HeaderCutShort},
        {"no orders", [](std::vector<std::uint8_t>& b) { putLittleWord(b, 0x20, 0); }, LoadResult::BadSongLength},
        {"257 orders", [](std::vector<std::uint8_t>& b) { putLittleWord(b, 0x20, 257); }, LoadResult::BadSongLength},
        {"256 samples", [](std::vector<std::uint8_t>& b) { putLittleWord(b, 0x22, 256); }, LoadResult::BadHeader},
        {"every channel unused", [](std::vector<std::uint8_t>& b) { std::memset(&b[0x40], 0xFF, 32); },
         LoadResult::BadHeader},
        {"sample header outside the file", [](std::vector<std::uint8_t>& b) { putLittleWord(b, 0x64, 0x31); },
         LoadResult::InstrumentsCutShort},
        {"a sample of 2^26 + 1 stereo 16-bit frames, 4 bytes past the limit",
         [&](std::vector<std::uint8_t>& b) {
             putLittleDword(b, sampleHeader + 0x10, (1u << 26) + 1);
             b[sampleHeader + 0x1F] = 2 | 4;
         },
         LoadResult::TooLarge},
        {"pattern outside the file", [&](std::vector<std::uint8_t>& b) { putLittleWord(b, patternPointers, 0x32); },
         LoadResult::PatternsCutShort},
        {"rows running past the file's end",
         [](std::vector<std::uint8_t>& b) {
             // Pattern 2 ends the file, with only 20 of its 64 rows.
             b.resize(HandMadeFile::cutPatternAt + 2 + 7 + 20);
         },
         LoadResult::PatternsCutShort},
        {"sample data past the file's end",
         [&](std::vector<std::uint8_t>& b) { putLittleDword(b, sampleHeader + 0x10, 0x21); },
         LoadResult::SamplesCutShort},
    };
    for (const auto& c : cases) {
        HandMadeFile file;
        c.damage(file.bytes);
        Module module;
        EXPECT_EQ(load(file.bytes, module), c.expected) << c.what;
        if (c.expected != LoadResult::Loaded) {
            EXPECT_TRUE(module.patterns.empty() && module.samples.empty() && module.orders.empty()) << c.what;
        }
    }
}

} // namespace
