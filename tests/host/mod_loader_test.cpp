#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sound/module.h"

namespace {

// Writes module files byte by byte, as a tracker would save them.
class ModFile {
public:
    ModFile(const std::string& signature, int samples = 31) : samples_(samples)
    {
        bytes_.assign(20 + static_cast<std::size_t>(samples) * 30 + 2 + 128, 0);
        std::memcpy(bytes_.data(), "test song", 9);
        songLength(1);
        if (samples == 31) {
            bytes_.insert(bytes_.end(), signature.begin(), signature.end());
        }
    }

    void songLength(int length) { bytes_[songLengthOffset()] = static_cast<std::uint8_t>(length); }
    void order(int position, int pattern) { bytes_[songLengthOffset() + 2 + position] = static_cast<std::uint8_t>(pattern); }

    // Sets sample number (1-based) with its length and loop in bytes.
    void sample(int number, int length, int finetuneNibble, int volume, int loopStart, int loopLength)
    {
        const std::size_t header = 20 + static_cast<std::size_t>(number - 1) * 30;
        std::memcpy(&bytes_[header], "sample", 6);
        putWord(header + 22, length / 2);
        bytes_[header + 24] = static_cast<std::uint8_t>(finetuneNibble);
        bytes_[header + 25] = static_cast<std::uint8_t>(volume);
        putWord(header + 26, loopStart / 2);
        putWord(header + 28, loopLength / 2);
    }

    // Appends the given number of patterns, with one cell set in the first.
    void patterns(int count, int channels, std::uint8_t cell[4])
    {
        const std::size_t start = bytes_.size();
        bytes_.resize(start + static_cast<std::size_t>(count) * 64 * static_cast<std::size_t>(channels) * 4, 0);
        std::memcpy(&bytes_[start], cell, 4);
    }

    void append(const std::vector<std::uint8_t>& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::size_t songLengthOffset() const { return 20 + static_cast<std::size_t>(samples_) * 30; }
    void putWord(std::size_t offset, int value)
    {
        bytes_[offset] = static_cast<std::uint8_t>(value >> 8);
        bytes_[offset + 1] = static_cast<std::uint8_t>(value);
    }

    int samples_;
    std::vector<std::uint8_t> bytes_;
};

LoadResult load(std::vector<std::uint8_t>& bytes, Module& module)
{
    return loadMod(bytes.data(), bytes.size(), module);
}

TEST(ModuleTest, SignaturesGiveTheirChannelCounts)
{
    const struct {
        const char* signature;
        int channels;
    } cases[] = {
        {"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4}, {"4CHN", 4}, {"FLT8", 8}, {"OCTA", 8}, {"CD81", 8},
        {"5CHN", 5}, {"6CHN", 6}, {"9CHN", 9}, {"10CH", 10}, {"16CH", 16}, {"32CH", 32},
    };
    for (const auto& c : cases) {
        ModFile file(c.signature);
        std::uint8_t cell[4] = {};
        file.patterns(1, c.channels, cell);
        Module module;
        ASSERT_EQ(load(file.bytes(), module), LoadResult::Loaded) << c.signature;
        EXPECT_EQ(module.channels, c.channels) << c.signature;
        EXPECT_EQ(module.samples.size(), 31u);
        EXPECT_EQ(module.title, "test song");
    }
    // Look-alikes are no signatures: with them the file is no Soundtracker file either,
    // since its pattern data does not fit.
    for (const char* wrong : {"33CH", "09CH", "M.K!", "3CHN"}) {
        ModFile file(wrong);
        file.bytes()[20 + 25] = 65; // a volume no Soundtracker file has
        std::uint8_t cell[4] = {};
        file.patterns(1, 4, cell);
        Module module;
        EXPECT_EQ(load(file.bytes(), module), LoadResult::UnknownFormat) << wrong;
    }
}

TEST(ModuleTest, CellsSamplesAndLoopsAreRead)
{
    ModFile file("M.K.");
    file.songLength(3);
    file.order(0, 0);
    file.order(1, 2);
    file.order(2, 1);
    file.order(100, 0x85); // not a pattern number: ignored when counting patterns
    file.sample(1, 8, 0x0F, 80, 2, 4);  // finetune -1, volume held at 64, loop 2..6
    file.sample(2, 6, 0x07, 32, 0, 2);  // a 2-byte loop is no loop
    file.sample(3, 4, 0x08, 10, 6, 4);  // a loop beyond the end is dropped
    // Sample 0x1F, period 0x1AC (C-2 in the middle octave), effect C, parameter 0x20.
    std::uint8_t cell[4] = {0x11, 0xAC, 0xFC, 0x20};
    file.patterns(3, 4, cell);
    file.append({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});

    Module module;
    ASSERT_EQ(load(file.bytes(), module), LoadResult::Loaded);
    EXPECT_EQ(module.orders, (std::vector<std::uint16_t>{0, 2, 1}));
    EXPECT_EQ(module.patterns.size(), 3u);
    const Cell& first = module.cell(0, 0, 0);
    EXPECT_EQ(first.instrument, 0x1F);
    EXPECT_EQ(first.period, 0x1AC);
    EXPECT_EQ(first.note, noteMiddleC);
    EXPECT_EQ(first.effect, Effect::SetVolume);
    EXPECT_EQ(first.parameter, 0x20);

    // 8-bit data kept at 256 times its values; finetunes in 1/128 semitones.
    const Sample& one = module.samples[0];
    EXPECT_EQ(one.finetune, -16);
    EXPECT_EQ(one.volume, 64);
    EXPECT_EQ(one.data, (std::vector<std::int16_t>{256, 512, 768, 1024, 1280, 1536, 1792, 2048}));
    EXPECT_EQ(one.loop, LoopMode::Forward);
    EXPECT_EQ(one.loopStart, 2u);
    EXPECT_EQ(one.loopEnd, 6u);

    const Sample& two = module.samples[1];
    EXPECT_EQ(two.finetune, 7 * 16);
    EXPECT_EQ(two.frames(), 6u);
    EXPECT_EQ(two.data[5], 14 * 256);
    EXPECT_EQ(two.loop, LoopMode::None);

    const Sample& three = module.samples[2];
    EXPECT_EQ(three.finetune, -8 * 16);
    EXPECT_EQ(three.frames(), 4u);
    EXPECT_EQ(three.loop, LoopMode::None);
}

TEST(ModuleTest, SampleCutShortKeepsWhatThereIs)
{
    ModFile file("M.K.");
    file.sample(1, 10, 0, 64, 4, 6);
    file.sample(2, 10, 0, 64, 0, 0);
    std::uint8_t cell[4] = {};
    file.patterns(1, 4, cell);
    file.append({1, 2, 3, 4, 5, 6, 7});

    Module module;
    ASSERT_EQ(load(file.bytes(), module), LoadResult::Loaded);
    EXPECT_EQ(module.samples[0].data.size(), 7u);
    EXPECT_EQ(module.samples[0].loopEnd, 7u) << "the loop ends where the data ends";
    EXPECT_TRUE(module.samples[1].data.empty());
}

TEST(ModuleTest, SoundtrackerFilesHaveFifteenSamples)
{
    ModFile file("", 15);
    file.songLength(2);
    file.order(1, 1);
    file.sample(15, 4, 0, 48, 0, 0);
    std::uint8_t cell[4] = {0x00, 0xD6, 0xF0, 0x06};
    file.patterns(2, 4, cell);
    file.append({9, 8, 7, 6});

    Module module;
    ASSERT_EQ(load(file.bytes(), module), LoadResult::Loaded);
    EXPECT_EQ(module.samples.size(), 15u);
    EXPECT_EQ(module.channels, 4);
    EXPECT_EQ(module.patterns.size(), 2u);
    EXPECT_EQ(module.cell(0, 0, 0).instrument, 0x0F);
    EXPECT_EQ(module.cell(0, 0, 0).period, 0xD6);
    EXPECT_EQ(module.samples[14].data, (std::vector<std::int16_t>{9 * 256, 8 * 256, 7 * 256, 6 * 256}));
}

TEST(ModuleTest, DamagedFilesAreRejectedAtEveryCut)
{
    ModFile file("M.K.");
    file.songLength(2);
    file.order(1, 1);
    std::uint8_t cell[4] = {};
    file.patterns(2, 4, cell);
    const std::vector<std::uint8_t> whole = file.bytes();

    Module module;
    std::vector<std::uint8_t> intact = whole;
    ASSERT_EQ(load(intact, module), LoadResult::Loaded);

    // Every shorter file is refused, and the result says where it ends. Each cut is a
    // copy of exactly that length, so that the sanitizers catch any read beyond it.
    for (std::size_t length = 0; length < whole.size(); length += 37) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
        const LoadResult result = loadMod(cut.data(), cut.size(), module);
        EXPECT_NE(result, LoadResult::Loaded) << "length " << length;
        EXPECT_TRUE(module.patterns.empty() && module.samples.empty()) << "length " << length;
    }
    std::vector<std::uint8_t> headerOnly(whole.begin(), whole.begin() + 1084);
    EXPECT_EQ(loadMod(headerOnly.data(), headerOnly.size(), module), LoadResult::PatternsCutShort);
    EXPECT_EQ(loadMod(nullptr, 0, module), LoadResult::HeaderCutShort);

    std::vector<std::uint8_t> noSong = whole;
    noSong[950] = 0;
    EXPECT_EQ(load(noSong, module), LoadResult::BadSongLength);
    noSong[950] = 129;
    EXPECT_EQ(load(noSong, module), LoadResult::BadSongLength);
    EXPECT_STREQ(describe(LoadResult::PatternsCutShort), "the file ends inside its patterns");
}

} // namespace
