#include <gtest/gtest.h>

#include <algorithm>

#include "app/offscreen_show.h"
#include "platform/music_player.h"
#include "platform/music_player_offscreen.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "resources/resource_numbers.h"
#include "tools/assets/mod_writer.h"

namespace {

// A song that makes sound at once: a looped square wave on the first row.
std::vector<std::uint8_t> toneFile()
{
    ModSong module = makeEmptySong(4, 1);
    ModSample& square = module.samples[0];
    square.volume = 64;
    for (int i = 0; i < 32; ++i) {
        square.data.push_back(static_cast<std::int8_t>(i < 16 ? 90 : -90));
    }
    square.loopLength = 32;
    module.cells[0] = ModCell{214, 1, 0, 0};
    return writeMod(module);
}

bool silent(const std::vector<std::int16_t>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](std::int16_t v) { return v == 0; });
}

// Every test starts from an empty resource table and a device, and leaves them so.
class MusicPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        offscreenMusic().resources.clear();
        offscreenMusic().deviceAvailable = true;
    }
};

// The show's own sequence: set-up loads resource 116, play, the main loop runs, stop.
TEST_F(MusicPlayerTest, PlaysTheLoadedResourceFromPlayUntilStop)
{
    offscreenMusic().resources[116] = toneFile();
    MusicPlayer player;
    NullSoundOutput* output = offscreenMusic().output;
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(player.ready);
    EXPECT_EQ(player.music, 0u);
    EXPECT_FALSE(output->isPlaying()) << "initialised paused";

    const MusicHandle music = player.loadFromResource(116);
    EXPECT_NE(music, 0u);
    EXPECT_EQ(player.music, music);
    EXPECT_EQ(output->pump(100), 0u) << "nothing plays before play";

    player.play();
    EXPECT_EQ(output->pump(2000), 2000u);
    EXPECT_FALSE(silent(output->captured()));
    player.stop();
    EXPECT_EQ(output->pump(2000), 0u) << "stopped";
    EXPECT_TRUE(output->isOpen()) << "stop pauses; the device stays open until the player goes";
}

TEST_F(MusicPlayerTest, AMissingOrDamagedResourceLeavesMusicAtZeroAndPlaySilent)
{
    std::vector<std::uint8_t> damaged = toneFile();
    damaged.resize(1500);
    offscreenMusic().resources[117] = damaged;
    MusicPlayer player;
    NullSoundOutput* output = offscreenMusic().output;
    ASSERT_TRUE(player.ready);
    EXPECT_EQ(player.loadFromResource(116), 0u) << "no resource 116 in the table";
    EXPECT_EQ(player.loadFromResource(117), 0u) << "cut short";
    EXPECT_EQ(player.music, 0u);
    player.play();
    EXPECT_EQ(output->pump(500), 500u) << "the output starts all the same";
    EXPECT_TRUE(silent(output->captured()));

    // The table itself works: the same player loads a whole module.
    offscreenMusic().resources[117] = toneFile();
    EXPECT_NE(player.loadFromResource(117), 0u);
}

TEST_F(MusicPlayerTest, WithoutADeviceTheShowIsSilentAndNothingHappens)
{
    offscreenMusic().resources[116] = toneFile();
    offscreenMusic().deviceAvailable = false;
    MusicPlayer player;
    NullSoundOutput* output = offscreenMusic().output;
    EXPECT_FALSE(player.ready);
    EXPECT_EQ(player.loadFromResource(116), 0u);
    EXPECT_EQ(player.music, 0u);
    player.play();
    player.stop();
    EXPECT_FALSE(output->isOpen());
    EXPECT_TRUE(output->captured().empty());
}

// The scene set-up loads the show's module, its soundtrack resource, into the program's
// player.
TEST_F(MusicPlayerTest, SceneSetupLoadsTheSoundtrackResource)
{
    offscreenMusic().resources[soundtrackMusic] = toneFile();
    OffscreenContext context;
    ASSERT_TRUE(musicPlayer.ready);
    EXPECT_EQ(musicPlayer.music, 0u);
    startOffscreenShow();
    EXPECT_NE(musicPlayer.music, 0u);
}

} // namespace
