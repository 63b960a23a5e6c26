#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "sound/player.h"
#include "sound/sound_library.h"
#include "sound/sound_output.h"
#include "tools/assets/mod_writer.h"

namespace {

// Bytes of a module file in a heap block of exactly their size, so that AddressSanitizer
// reports any read past the end.
class ExactBlock {
public:
    explicit ExactBlock(const std::vector<std::uint8_t>& bytes, std::size_t size)
        : size_(size), data_(new std::uint8_t[size])
    {
        std::memcpy(data_.get(), bytes.data(), size);
    }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::unique_ptr<std::uint8_t[]> data_;
};

// A four-channel song of one row: a looped square wave on channel 1 and a pattern
// break, so that a pass through the song is short and the loop comes soon.
ModSong shortSong()
{
    ModSong module = makeEmptySong(4, 1);
    ModSample& square = module.samples[0];
    square.name = "square";
    square.volume = 64;
    for (int i = 0; i < 32; ++i) {
        square.data.push_back(static_cast<std::int8_t>(i < 16 ? 100 : -100));
    }
    square.loopStart = 0;
    square.loopLength = 32;
    module.cells[0] = ModCell{428, 1, 0, 0};
    module.cells[1] = ModCell{0, 0, 0xD, 0};
    return module;
}

const std::vector<std::uint8_t>& shortSongFile()
{
    static const std::vector<std::uint8_t> file = writeMod(shortSong());
    return file;
}

// What the replayer itself makes of the short song with the library's options.
std::vector<std::int16_t> reference(unsigned flags, std::size_t frames, std::size_t* songFrames = nullptr)
{
    Module module;
    EXPECT_EQ(loadModule(shortSongFile().data(), shortSongFile().size(), module), LoadResult::Loaded);
    PlayerOptions options;
    options.rate = 44100;
    options.loop = (flags & musicLoop) != 0;
    options.ramp = (flags & musicRamp) != 0;
    Player player(module, options);
    std::vector<std::int16_t> out(2 * frames, 0);
    const std::size_t rendered = player.render(out.data(), frames);
    if (songFrames) {
        *songFrames = rendered;
    }
    return out;
}

bool silent(const std::vector<std::int16_t>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min(to, samples.size());
    return std::all_of(samples.begin() + static_cast<std::ptrdiff_t>(from),
                       samples.begin() + static_cast<std::ptrdiff_t>(to), [](std::int16_t v) { return v == 0; });
}

std::vector<std::int16_t> slice(const std::vector<std::int16_t>& samples, std::size_t fromFrame, std::size_t frames)
{
    const auto begin = samples.begin() + static_cast<std::ptrdiff_t>(2 * fromFrame);
    return std::vector<std::int16_t>(begin, begin + static_cast<std::ptrdiff_t>(2 * frames));
}

// A library on a null output that the test keeps a hand on.
struct Rig {
    explicit Rig(bool device = true)
    {
        auto made = std::make_unique<NullSoundOutput>(device);
        output = made.get();
        library = std::make_unique<SoundLibrary>(std::move(made));
    }
    bool init() { return library->init(-1, 44100, 0, nullptr); }
    MusicHandle load(unsigned flags = musicLoop | musicRamp)
    {
        return library->loadMusic(shortSongFile().data(), shortSongFile().size(), flags);
    }
    // Loads the short song, starts the output and plays it, as the music player does.
    MusicHandle play(unsigned flags = musicLoop | musicRamp)
    {
        const MusicHandle handle = load(flags);
        library->start();
        library->playMusic(handle);
        return handle;
    }

    NullSoundOutput* output;
    std::unique_ptr<SoundLibrary> library;
};

TEST(SoundLibraryTest, WithoutADeviceEverythingIsANoOp)
{
    Rig rig(false);
    EXPECT_FALSE(rig.init());
    EXPECT_FALSE(rig.output->isOpen());
    EXPECT_EQ(rig.load(), 0u);
    EXPECT_FALSE(rig.library->start());
    EXPECT_FALSE(rig.library->playMusic(1));
    EXPECT_FALSE(rig.library->stop());
    rig.library->release();
    EXPECT_EQ(rig.output->pump(100), 0u);
    EXPECT_TRUE(rig.output->captured().empty());
}

TEST(SoundLibraryTest, BeforeInitEveryCallFails)
{
    Rig rig;
    EXPECT_EQ(rig.load(), 0u);
    EXPECT_FALSE(rig.library->start());
    EXPECT_FALSE(rig.library->playMusic(1));
    EXPECT_FALSE(rig.library->stop());
    rig.library->release();
    EXPECT_FALSE(rig.output->isOpen());
    // The same calls succeed once initialised: the failures above are not the rig's.
    ASSERT_TRUE(rig.init());
    EXPECT_NE(rig.load(), 0u);
    EXPECT_TRUE(rig.library->start());
    EXPECT_TRUE(rig.library->stop());
}

TEST(SoundLibraryTest, InitAcceptsTheDefaultDeviceAndSensibleRatesOnce)
{
    struct Case {
        int device;
        int rate;
        bool accepted;
    };
    const Case cases[] = {
        {-1, 44100, true}, {-1, 8000, true}, {-1, 192000, true}, {-1, 7999, false},
        {-1, 192001, false}, {-1, 0, false}, {0, 44100, false},  {1, 44100, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.library->init(c.device, c.rate, 0, nullptr), c.accepted) << c.device << " " << c.rate;
        EXPECT_EQ(rig.output->isOpen(), c.accepted) << c.device << " " << c.rate;
        if (c.accepted) {
            EXPECT_EQ(rig.output->rate(), c.rate);
            EXPECT_FALSE(rig.output->isPlaying()) << "the output opens paused";
            EXPECT_FALSE(rig.library->init(c.device, c.rate, 0, nullptr)) << "a second init fails";
            EXPECT_TRUE(rig.output->isOpen()) << "and leaves the first one working";
        }
    }
}

TEST(SoundLibraryTest, LoadsFromExactlyTheBytesGivenAndNoMore)
{
    const std::vector<std::uint8_t>& file = shortSongFile();
    // The song has no sample data beyond its square wave: header, one pattern, 32 bytes.
    const std::size_t patternsEnd = 1084 + 64 * 4 * 4;
    ASSERT_EQ(file.size(), patternsEnd + 32);

    struct Case {
        std::size_t length;
        LoadResult result;
    };
    const Case cases[] = {
        {file.size(), LoadResult::Loaded},
        {patternsEnd, LoadResult::Loaded},   // the sample is kept as far as it goes
        {patternsEnd - 1, LoadResult::PatternsCutShort},
        {500, LoadResult::HeaderCutShort},
        {0, LoadResult::HeaderCutShort},
    };
    for (const Case& c : cases) {
        Rig rig;
        ASSERT_TRUE(rig.init());
        const ExactBlock block(file, c.length);
        const MusicHandle handle = rig.library->loadMusic(block.data(), block.size(), musicLoop);
        EXPECT_EQ(handle != 0, c.result == LoadResult::Loaded) << c.length;
        EXPECT_EQ(rig.library->lastLoadResult(), c.result) << c.length;
    }

    Rig rig;
    ASSERT_TRUE(rig.init());
    EXPECT_EQ(rig.library->loadMusic(nullptr, 4000, musicLoop), 0u);
    std::vector<std::uint8_t> noise(3000, 0xA5);
    EXPECT_EQ(rig.library->loadMusic(noise.data(), noise.size(), musicLoop), 0u);
    EXPECT_EQ(rig.library->lastLoadResult(), LoadResult::UnknownFormat);
}

TEST(SoundLibraryTest, TheBytesMayGoOnceLoaded)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    MusicHandle handle = 0;
    {
        std::vector<std::uint8_t> file = shortSongFile();
        handle = rig.library->loadMusic(file.data(), file.size(), musicLoop | musicRamp);
        std::fill(file.begin(), file.end(), std::uint8_t{0xFF});
    }
    ASSERT_NE(handle, 0u);
    rig.library->start();
    rig.library->playMusic(handle);
    rig.output->pump(2000);
    EXPECT_EQ(rig.output->captured(), reference(musicLoop | musicRamp, 2000));
}

// The output plays what the replayer makes, in order, from the moment the music plays:
// silence before, nothing while paused, and no frame lost or repeated across a pause.
TEST(SoundLibraryTest, PumpCapturesTheReplayersSoundFromPlayOn)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    const MusicHandle handle = rig.load();
    ASSERT_NE(handle, 0u);
    const std::vector<std::int16_t> expected = reference(musicLoop | musicRamp, 3000);
    ASSERT_FALSE(silent(expected)) << "the reference must make sound for the checks below to mean anything";

    EXPECT_EQ(rig.output->pump(500), 0u) << "nothing is taken before start";
    ASSERT_TRUE(rig.library->start());
    EXPECT_EQ(rig.output->pump(500), 500u);
    EXPECT_TRUE(silent(rig.output->captured())) << "started but not yet playing: silence";

    ASSERT_TRUE(rig.library->playMusic(handle));
    rig.output->pump(1000);
    ASSERT_TRUE(rig.library->stop());
    EXPECT_EQ(rig.output->pump(700), 0u) << "paused output takes nothing";
    EXPECT_EQ(rig.output->captured().size(), 2u * 1500);
    ASSERT_TRUE(rig.library->start());
    rig.output->pump(2000);

    const std::vector<std::int16_t>& captured = rig.output->captured();
    ASSERT_EQ(captured.size(), 2u * 3500);
    EXPECT_EQ(slice(captured, 500, 3000), expected);
    // The comparison can fail: one frame late is not the same sound.
    EXPECT_NE(slice(captured, 501, 2999), slice(expected, 0, 2999));
}

TEST(SoundLibraryTest, PlayingAnUnknownHandleFails)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    const MusicHandle first = rig.load();
    const MusicHandle second = rig.load();
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_FALSE(rig.library->playMusic(first)) << "replaced by the second load";
    EXPECT_FALSE(rig.library->playMusic(0));
    EXPECT_FALSE(rig.library->playMusic(second + 1));
    EXPECT_TRUE(rig.library->playMusic(second));
}

TEST(SoundLibraryTest, AFailedLoadKeepsThePreviousModulePlaying)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    const MusicHandle handle = rig.play();
    rig.output->pump(1000);
    const std::uint8_t garbage[10] = {};
    EXPECT_EQ(rig.library->loadMusic(garbage, sizeof(garbage), musicLoop), 0u);
    rig.output->pump(1000);
    EXPECT_EQ(rig.output->captured(), reference(musicLoop | musicRamp, 2000));
    EXPECT_TRUE(rig.library->playMusic(handle));
}

// Without the loop flag the song plays once, then silence; playing it again starts it
// from the beginning. With the flag it plays on.
TEST(SoundLibraryTest, ASongWithoutLoopEndsInSilenceAndPlaysAgainFromTheStart)
{
    std::size_t songFrames = 0;
    const std::vector<std::int16_t> once = reference(musicRamp, 400000, &songFrames);
    ASSERT_GT(songFrames, 0u);
    ASSERT_LT(songFrames, 400000u) << "the song without loop must end";

    Rig rig;
    ASSERT_TRUE(rig.init());
    const MusicHandle handle = rig.play(musicRamp);
    const std::size_t total = songFrames + 4410;
    for (std::size_t done = 0; done < total; done += 1000) {
        rig.output->pump(std::min<std::size_t>(1000, total - done));
    }
    const std::vector<std::int16_t>& captured = rig.output->captured();
    ASSERT_EQ(captured.size(), 2 * total);
    EXPECT_EQ(slice(captured, 0, songFrames), slice(once, 0, songFrames));
    EXPECT_TRUE(silent(captured, 2 * songFrames)) << "after the end only silence";

    ASSERT_TRUE(rig.library->playMusic(handle));
    rig.output->pump(1000);
    EXPECT_EQ(slice(rig.output->captured(), total, 1000), slice(once, 0, 1000));

    Rig looping;
    ASSERT_TRUE(looping.init());
    looping.play(musicLoop | musicRamp);
    looping.output->pump(songFrames + 4410);
    EXPECT_FALSE(silent(looping.output->captured(), 2 * songFrames)) << "a looping song plays on";
}

TEST(SoundLibraryTest, ReleaseClosesTheOutputAndCanBeRepeated)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    const MusicHandle handle = rig.play();
    EXPECT_EQ(rig.output->pump(100), 100u);

    rig.library->release();
    EXPECT_FALSE(rig.output->isOpen());
    EXPECT_EQ(rig.output->pump(100), 0u);
    EXPECT_FALSE(rig.library->start());
    EXPECT_FALSE(rig.library->playMusic(handle));
    EXPECT_FALSE(rig.library->stop());
    EXPECT_EQ(rig.load(), 0u);
    rig.library->release();

    // A released library may be initialised again; old handles stay dead.
    ASSERT_TRUE(rig.init());
    EXPECT_FALSE(rig.library->playMusic(handle));
    const MusicHandle again = rig.load();
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, handle);
}

// The output's thread mixes while another thread loads, plays, stops and releases: run
// under AddressSanitizer, a player changed while mixing would show as a use after free.
TEST(SoundLibraryTest, FillRacesSafelyWithCallsFromAnotherThread)
{
    Rig rig;
    ASSERT_TRUE(rig.init());
    ASSERT_TRUE(rig.library->start());
    std::atomic<bool> done{false};
    std::atomic<std::size_t> pumped{0};
    std::thread mixer([&] {
        while (!done) {
            pumped += rig.output->pump(64);
        }
    });

    for (int round = 0; round < 40; ++round) {
        const MusicHandle handle = rig.load(round % 2 ? musicLoop : musicLoop | musicRamp);
        EXPECT_NE(handle, 0u);
        EXPECT_TRUE(rig.library->playMusic(handle));
        // Lets the mixer mix a little of each module before the next call.
        const std::size_t before = pumped;
        while (pumped < before + 256) {
            std::this_thread::yield();
        }
        EXPECT_TRUE(rig.library->stop());
        EXPECT_TRUE(rig.library->start());
    }
    rig.library->release();
    done = true;
    mixer.join();

    EXPECT_GT(pumped.load(), 0u) << "the mixer thread got to run";
    EXPECT_EQ(rig.output->captured().size(), 2 * pumped.load());
    EXPECT_FALSE(silent(rig.output->captured())) << "sound got through while the calls raced";
}

} // namespace
