#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sound/mod_module.h"

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

ModLoadResult load(std::vector<std::uint8_t>& bytes, ModModule& module)
{
    return loadMod(bytes.data(), bytes.size(), module);
}

TEST(ModModuleTest, SignaturesGiveTheirChannelCounts)
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
        ModModule module;
        ASSERT_EQ(load(file.bytes(), module), ModLoadResult::Loaded) << c.signature;
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
        ModModule module;
        EXPECT_EQ(load(file.bytes(), module), ModLoadResult::UnknownFormat) << wrong;
    }
}

TEST(ModModuleTest, CellsSamplesAndLoopsAreRead)
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

    ModModule module;
    ASSERT_EQ(load(file.bytes(), module), ModLoadResult::Loaded);
    EXPECT_EQ(module.songLength, 3);
    EXPECT_EQ(module.patternCount, 3);
    const ModCell& first = module.cell(0, 0, 0);
    EXPECT_EQ(first.sample, 0x1F);
    EXPECT_EQ(first.period, 0x1AC);
    EXPECT_EQ(first.effect, 0xC);
    EXPECT_EQ(first.parameter, 0x20);

    const ModSample& one = module.samples[0];
    EXPECT_EQ(one.finetune, -1);
    EXPECT_EQ(one.volume, 64);
    EXPECT_EQ(one.data, (std::vector<std::int8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(one.looped());
    EXPECT_EQ(one.loopStart, 2u);
    EXPECT_EQ(one.loopLength, 4u);

    const ModSample& two = module.samples[1];
    EXPECT_EQ(two.finetune, 7);
    EXPECT_EQ(two.data, (std::vector<std::int8_t>{9, 10, 11, 12, 13, 14}));
    EXPECT_FALSE(two.looped());

    const ModSample& three = module.samples[2];
    EXPECT_EQ(three.finetune, -8);
    EXPECT_EQ(three.data, (std::vector<std::int8_t>{15, 16, 17, 18}));
    EXPECT_FALSE(three.looped());
}

TEST(ModModuleTest, SampleCutShortKeepsWhatThereIs)
{
    ModFile file("M.K.");
    file.sample(1, 10, 0, 64, 4, 6);
    file.sample(2, 10, 0, 64, 0, 0);
    std::uint8_t cell[4] = {};
    file.patterns(1, 4, cell);
    file.append({1, 2, 3, 4, 5, 6, 7});

    ModModule module;
    ASSERT_EQ(load(file.bytes(), module), ModLoadResult::Loaded);
    EXPECT_EQ(module.samples[0].data.size(), 7u);
    EXPECT_EQ(module.samples[0].loopLength, 3u) << "the loop ends where the data ends";
    EXPECT_TRUE(module.samples[1].data.empty());
}

TEST(ModModuleTest, SoundtrackerFilesHaveFifteenSamples)
{
    ModFile file("", 15);
    file.songLength(2);
    file.order(1, 1);
    file.sample(15, 4, 0, 48, 0, 0);
    std::uint8_t cell[4] = {0x00, 0xD6, 0xF0, 0x06};
    file.patterns(2, 4, cell);
    file.append({9, 8, 7, 6});

    ModModule module;
    ASSERT_EQ(load(file.bytes(), module), ModLoadResult::Loaded);
    EXPECT_EQ(module.samples.size(), 15u);
    EXPECT_EQ(module.channels, 4);
    EXPECT_EQ(module.patternCount, 2);
    EXPECT_EQ(module.cell(0, 0, 0).sample, 0x0F);
    EXPECT_EQ(module.cell(0, 0, 0).period, 0xD6);
    EXPECT_EQ(module.samples[14].data, (std::vector<std::int8_t>{9, 8, 7, 6}));
}

TEST(ModModuleTest, DamagedFilesAreRejectedAtEveryCut)
{
    ModFile file("M.K.");
    file.songLength(2);
    file.order(1, 1);
    std::uint8_t cell[4] = {};
    file.patterns(2, 4, cell);
    const std::vector<std::uint8_t> whole = file.bytes();

    ModModule module;
    std::vector<std::uint8_t> intact = whole;
    ASSERT_EQ(load(intact, module), ModLoadResult::Loaded);

    // Every shorter file is refused, and the result says where it ends. Each cut is a
    // copy of exactly that length, so that the sanitizers catch any read beyond it.
    for (std::size_t length = 0; length < whole.size(); length += 37) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
        const ModLoadResult result = loadMod(cut.data(), cut.size(), module);
        EXPECT_NE(result, ModLoadResult::Loaded) << "length " << length;
        EXPECT_TRUE(module.cells.empty() && module.samples.empty()) << "length " << length;
    }
    std::vector<std::uint8_t> headerOnly(whole.begin(), whole.begin() + 1084);
    EXPECT_EQ(loadMod(headerOnly.data(), headerOnly.size(), module), ModLoadResult::PatternsCutShort);
    EXPECT_EQ(loadMod(nullptr, 0, module), ModLoadResult::HeaderCutShort);

    std::vector<std::uint8_t> noSong = whole;
    noSong[950] = 0;
    EXPECT_EQ(load(noSong, module), ModLoadResult::BadSongLength);
    noSong[950] = 129;
    EXPECT_EQ(load(noSong, module), ModLoadResult::BadSongLength);
    EXPECT_STREQ(describe(ModLoadResult::PatternsCutShort), "the file ends inside its patterns");
}

} // namespace
