// The sound output on waveOut and the music player's Win32 hooks. The test program runs
// twice: once with Wine's audio drivers switched off (no device: the silent show), and
// once with an ALSA device that writes to a file, for the tests named WithDevice.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/music_player.h"
#include "resources/resource_numbers.h"
#include "sound/wave_out.h"

namespace {

// Counts what the output asks for, and writes a ramp that a listener would hear.
class CountingSource : public SoundSource {
public:
    void fill(std::int16_t* out, std::size_t frames) override
    {
        for (std::size_t i = 0; i < 2 * frames; ++i) {
            out[i] = static_cast<std::int16_t>((i & 0xFF) << 4);
        }
        frames_ += frames;
        ++calls_;
    }
    int calls() const { return calls_; }
    std::size_t frames() const { return frames_; }

private:
    std::atomic<int> calls_{0};
    std::atomic<std::size_t> frames_{0};
};

TEST(WaveOutTest, WithoutADeviceOpenFailsAndNeverAsksForSound)
{
    ASSERT_EQ(waveOutGetNumDevs(), 0u) << "this run must have no sound device";
    CountingSource source;
    std::unique_ptr<SoundOutput> output = makeWaveOutOutput();
    EXPECT_FALSE(output->open(44100, source));
    output->start();
    output->pause();
    output->close();
    EXPECT_EQ(source.calls(), 0);
}

TEST(MusicPlayerTest, WithoutADeviceTheShowIsSilent)
{
    MusicPlayer player;
    EXPECT_FALSE(player.ready);
    EXPECT_EQ(player.loadFromResource(900), 0u) << "not even tried while not ready";
    EXPECT_EQ(player.music, 0u);
    player.play();
    player.stop();
    EXPECT_EQ(player.music, 0u);
}

// The lookup hands over the resource's own bytes with its real size, so that the
// loader knows where they end. Resource 900 of this program is five bytes.
TEST(MusicResourceTest, FindsTheBytesAndTheRealSizeOfAMusicResource)
{
    const MusicResource found = findMusicResource(900);
    ASSERT_NE(found.data, nullptr);
    ASSERT_EQ(found.size, 5u);
    EXPECT_EQ(std::memcmp(found.data, "MO3\x01\x02", 5), 0);

    // Other numbers, and resources of another type under the same number, are not music.
    EXPECT_EQ(findMusicResource(901).data, nullptr);
    EXPECT_EQ(findMusicResource(901).size, 0u);
    EXPECT_EQ(findMusicResource(iconGroup).data, nullptr) << "the icon group's number";
}

// Waits long enough for a device to play several of its buffers.
void playFor(DWORD milliseconds)
{
    Sleep(milliseconds);
}

TEST(WaveOutTest, WithDeviceRefillsWhileStartedAndRestsWhilePaused)
{
    ASSERT_GT(waveOutGetNumDevs(), 0u) << "this run needs a sound device";
    CountingSource source;
    std::unique_ptr<SoundOutput> output = makeWaveOutOutput();
    ASSERT_TRUE(output->open(44100, source));
    const int primed = source.calls();
    EXPECT_GE(primed, 3) << "every buffer is primed before the first start";
    playFor(300);
    EXPECT_EQ(source.calls(), primed) << "opened paused: nothing is played out";

    output->start();
    playFor(600);
    const int started = source.calls();
    EXPECT_GT(started, primed + 3) << "buffers come back and are refilled while playing";

    output->pause();
    playFor(200);
    const int paused = source.calls();
    playFor(400);
    EXPECT_EQ(source.calls(), paused) << "nothing is refilled while paused";

    output->start();
    playFor(400);
    EXPECT_GT(source.calls(), paused) << "playing resumes after start";

    output->close();
    const int closed = source.calls();
    playFor(300);
    EXPECT_EQ(source.calls(), closed) << "never called again after close";
    EXPECT_EQ(source.frames() % 1323, 0u) << "whole buffers of 30 ms";

    // A closed output opens again.
    CountingSource second;
    ASSERT_TRUE(output->open(22050, second));
    EXPECT_GE(second.calls(), 3);
    output->close();
}

TEST(MusicPlayerTest, WithDeviceIsReadyAndLoadsOnlyMusic)
{
    ASSERT_GT(waveOutGetNumDevs(), 0u) << "this run needs a sound device";
    MusicPlayer player;
    EXPECT_TRUE(player.ready);
    EXPECT_EQ(player.loadFromResource(901), 0u) << "no such resource";
    EXPECT_EQ(player.loadFromResource(900), 0u) << "five bytes are no module";
    EXPECT_EQ(player.music, 0u);
    // With nothing loaded play still starts the output, and stop pauses it.
    player.play();
    playFor(100);
    player.stop();
}

} // namespace
