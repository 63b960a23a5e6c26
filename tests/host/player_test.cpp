// The replayer against ProTracker's behaviour: traces of period and volume per tick for
// the effects, the song's course through orders and rows, and the mixer's output
// measured for pitch, level and clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "sound/player.h"
#include "tools/assets/mod_writer.h"

namespace {

constexpr int c2 = 428;   // ProTracker's C-2, the usual "middle" note
constexpr int c3 = 214;
constexpr int b3 = 113;
constexpr int c1 = 856;

// One cycle of a sine in `length` bytes, repeated `cycles` times.
std::vector<std::int8_t> sine(int length, int cycles = 1, double amplitude = 100.0)
{
    std::vector<std::int8_t> data;
    for (int i = 0; i < length * cycles; ++i) {
        data.push_back(static_cast<std::int8_t>(std::lround(amplitude * std::sin(2 * M_PI * i / length))));
    }
    return data;
}

ModSample looped(std::vector<std::int8_t> data, int volume = 64, int finetune = 0)
{
    ModSample sample;
    sample.loopLength = static_cast<std::uint32_t>(data.size());
    sample.data = std::move(data);
    sample.volume = volume;
    sample.finetune = finetune;
    return sample;
}

ModSample oneShot(std::vector<std::int8_t> data, int volume = 64)
{
    ModSample sample;
    sample.data = std::move(data);
    sample.volume = volume;
    return sample;
}

// A module of `patterns` empty patterns whose first sample is a looped sine.
struct Tune {
    ModSong module;

    explicit Tune(int patterns = 1, int channels = 4) : module(makeEmptySong(channels, patterns))
    {
        module.samples[0] = looped(sine(32));
    }
    Tune& at(int pattern, int row, int channel, int period, int sample, int effect, int parameter)
    {
        ModCell& cell = module.cell(pattern, row, channel);
        cell.period = static_cast<std::uint16_t>(period);
        cell.sample = static_cast<std::uint8_t>(sample);
        cell.effect = static_cast<std::uint8_t>(effect);
        cell.parameter = static_cast<std::uint8_t>(parameter);
        return *this;
    }
    Tune& put(int row, int period, int sample, int effect = 0, int parameter = 0)
    {
        return at(0, row, 0, period, sample, effect, parameter);
    }
};

struct Tick {
    int period;
    int volume;
};

// Channel 0's period and volume on each of the first `ticks` ticks.
std::vector<Tick> trace(const ModSong& song, int ticks)
{
    const Module module = loadSong(song);
    Player player(module);
    std::vector<Tick> result;
    for (int i = 0; i < ticks; ++i) {
        player.advanceTick();
        const ChannelTrace channel = player.channel(0);
        result.push_back({channel.period, channel.volume});
    }
    return result;
}

std::vector<int> periods(const std::vector<Tick>& ticks)
{
    std::vector<int> result;
    for (const Tick& tick : ticks) {
        result.push_back(tick.period);
    }
    return result;
}

std::vector<int> volumes(const std::vector<Tick>& ticks)
{
    std::vector<int> result;
    for (const Tick& tick : ticks) {
        result.push_back(tick.volume);
    }
    return result;
}

std::vector<std::int16_t> render(const ModSong& song, std::size_t frames, PlayerOptions options = {})
{
    const Module module = loadSong(song);
    Player player(module, options);
    std::vector<std::int16_t> out(frames * 2);
    out.resize(player.render(out.data(), frames) * 2);
    return out;
}

// The frequency of the left channel from its upward zero crossings.
double frequency(const std::vector<std::int16_t>& stereo, std::size_t from, std::size_t to, int rate = 44100)
{
    std::size_t first = 0;
    std::size_t last = 0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (stereo[2 * (i - 1)] < 0 && stereo[2 * i] >= 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

double rms(const std::vector<std::int16_t>& stereo, std::size_t from, std::size_t to, int side)
{
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(stereo[2 * i + static_cast<std::size_t>(side)]) *
               stereo[2 * i + static_cast<std::size_t>(side)];
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

int largestJump(const std::vector<std::int16_t>& stereo, std::size_t from, std::size_t to)
{
    int largest = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        for (std::size_t side = 0; side < 2; ++side) {
            largest = std::max(largest, std::abs(stereo[2 * i + side] - stereo[2 * (i - 1) + side]));
        }
    }
    return largest;
}

constexpr std::size_t framesPerTick = 882;   // 44,100 Hz at tempo 125

} // namespace

// Each case: the cells of channel 0 and the periods or volumes of its first ticks, as
// ProTracker computes them (speed 6 unless a case sets it).
TEST(Player, EffectsFollowProTracker)
{
    struct Case {
        const char* name;
        Tune song;
        std::vector<int> expected;
        bool volume;
    };
    std::vector<Case> cases;
    // Arpeggio: C-2, E-2, G-2 in turn.
    cases.push_back({"arpeggio", Tune().put(0, c2, 1, 0x0, 0x47), {428, 339, 285, 428, 339, 285}, false});
    cases.push_back({"portamento up", Tune().put(0, c2, 1, 0x1, 0x04), {428, 424, 420, 416, 412, 408}, false});
    cases.push_back({"portamento up stops at B-3", Tune().put(0, 120, 1, 0x1, 0x05), {120, 115, 113, 113, 113, 113},
                     false});
    cases.push_back({"portamento down stops at C-1", Tune().put(0, 808, 1, 0x2, 0x20), {808, 840, 856, 856, 856, 856},
                     false});
    // Tone portamento toward C-2 from C-3 at 16 a tick, then on without a parameter.
    cases.push_back({"tone portamento",
                     Tune().put(0, c3, 1).put(1, c2, 0, 0x3, 0x40).put(2, 0, 0, 0x3, 0x00),
                     {214, 214, 214, 214, 214, 214, 214, 278, 342, 406, 428, 428, 428}, false});
    // Glissando: the slide runs smoothly underneath, the voice moves in semitones.
    cases.push_back({"glissando",
                     Tune().put(0, c2, 1, 0xE, 0x31).put(1, c3, 0, 0x3, 0x30),
                     {428, 428, 428, 428, 428, 428, 428, 360, 320, 269, 226, 214}, false});
    // Vibrato 4x48: the half sine at steps of 16, depth 8.
    cases.push_back({"vibrato", Tune().put(0, c2, 1, 0x4, 0x48), {428, 428, 434, 439, 442, 443}, false});
    // A new note restarts the vibrato; waveform 4 (sine, no restart) keeps it going.
    cases.push_back({"vibrato restarts on a note",
                     Tune().put(0, c2, 1, 0x4, 0x48).put(1, c2, 0, 0x4, 0x00),
                     {428, 428, 434, 439, 442, 443, 428, 428, 434, 439, 442, 443}, false});
    cases.push_back({"vibrato kept over a note",
                     Tune().put(0, c2, 1, 0xE, 0x44).put(1, c2, 0, 0x4, 0x48).put(2, c2, 0, 0x4, 0x00),
                     {428, 428, 428, 428, 428, 428, 428, 428, 434, 439, 442, 443, 428, 442, 439, 434, 428, 422},
                     false});
    // Square vibrato: full depth from the first tick after the note.
    cases.push_back({"square vibrato", Tune().put(0, c2, 1, 0xE, 0x42).put(1, c2, 0, 0x4, 0x88),
                     {428, 428, 428, 428, 428, 428, 428, 443, 443, 443, 443, 413}, false});
    cases.push_back({"volume slide down", Tune().put(0, c2, 1, 0xA, 0x03), {64, 61, 58, 55, 52, 49}, true});
    // Up wins when both nibbles are set; the slide stops at 64.
    cases.push_back({"volume slide up", Tune().put(0, c2, 1, 0xC, 0x3C).put(1, 0, 0, 0xA, 0x25),
                     {60, 60, 60, 60, 60, 60, 60, 62, 64, 64, 64, 64}, true});
    cases.push_back({"set volume caps at 64", Tune().put(0, c2, 1, 0xC, 0x50), {64, 64}, true});
    // Tremolo 7x48 around volume 32: as vibrato, but twice the depth.
    cases.push_back({"tremolo", Tune().put(0, c2, 1, 0xC, 0x20).put(1, 0, 0, 0x7, 0x48),
                     {32, 32, 32, 32, 32, 32, 32, 32, 44, 54, 61, 63}, true});
    cases.push_back({"note cut on tick 3", Tune().put(0, c2, 1, 0xE, 0xC3), {64, 64, 64, 0, 0, 0}, true});
    cases.push_back({"fine slides on the first tick only",
                     Tune().put(0, c2, 1, 0xE, 0x14).put(1, 0, 0, 0xE, 0x23),
                     {424, 424, 424, 424, 424, 424, 427, 427, 427, 427, 427, 427}, false});
    cases.push_back({"fine volume slides",
                     Tune().put(0, c2, 1, 0xE, 0xB5).put(1, 0, 0, 0xE, 0xA2),
                     {59, 59, 59, 59, 59, 59, 61, 61, 61, 61, 61, 61}, true});
    // A delayed row repeats its fine slide on every repeat.
    cases.push_back({"fine slides repeat in a pattern delay",
                     Tune().put(0, c2, 1, 0xE, 0x14).at(0, 0, 1, 0, 0, 0xE, 0xE2),
                     {424, 424, 424, 424, 424, 424, 420, 420, 420, 420, 420, 420, 416, 416}, false});
    // Finetune +7 and -8 rows; B-3 is never higher than 113.
    {
        Tune song;
        song.module.samples[1] = looped(sine(32), 64, 7);
        song.module.samples[2] = looped(sine(32), 64, -8);
        song.put(0, c1, 3).put(1, c2, 2).put(2, b3, 2);
        cases.push_back({"finetune and period limits", song, {907, 907, 907, 907, 907, 907, 407, 407, 407, 407, 407,
                                                              407, 113},
                         false});
    }
    // E5x sets the finetune for the note on its row.
    cases.push_back({"set finetune", Tune().put(0, c2, 1, 0xE, 0x57), {407, 407}, false});
    // Arpeggio past B-3 runs on into the next finetune's row; its closing 0 holds the voice.
    cases.push_back({"arpeggio past B-3", Tune().put(0, b3, 1, 0x0, 0x12), {113, 0, 850, 113, 0, 850}, false});
    // With a negative finetune the search for the target lands one note low and is
    // moved back up: C-2 at finetune -1.
    {
        Tune song;
        song.module.samples[1] = looped(sine(32), 64, -1);
        song.put(0, c3, 2).put(1, c2, 0, 0x3, 0xFF);
        cases.push_back({"portamento target with negative finetune", song,
                         {216, 216, 216, 216, 216, 216, 216, 431}, false});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Tick> ticks = trace(c.song.module, static_cast<int>(c.expected.size()));
        EXPECT_EQ(c.volume ? volumes(ticks) : periods(ticks), c.expected);
    }
}

// Note delay, retrigger and sample offset, seen in when the voice starts and where in
// the sample it is.
TEST(Player, NoteTimingAndSampleOffset)
{
    Tune song(2);
    song.module.samples[1] = oneShot(sine(32, 128));  // 4,096 bytes
    song.put(0, c2, 2, 0xE, 0xD2)                     // note delayed to tick 2
        .put(1, c2, 2, 0xE, 0xD7)                     // delayed beyond the row: never played
        .put(2, c2, 2, 0x9, 0x04)                     // from byte 1,024
        .put(3, c2, 0)                                // no sample number: from twice the offset
        .put(4, c2, 2, 0x9, 0x20);                    // offset past the end: one word, then nothing
    const Module playerModule = loadSong(song.module);
    Player player(playerModule);
    std::vector<std::int16_t> out(framesPerTick * 2);
    std::vector<bool> activeAt;
    std::vector<std::uint32_t> positionAt;
    for (int tick = 0; tick < 30; ++tick) {
        player.render(out.data(), framesPerTick);
        activeAt.push_back(player.channel(0).active);
        positionAt.push_back(player.channel(0).position);
    }
    // C-2 plays 8,287 bytes a second, 165.7 a tick.
    EXPECT_FALSE(activeAt[0]);
    EXPECT_FALSE(activeAt[1]);
    EXPECT_TRUE(activeAt[2]);
    EXPECT_NEAR(positionAt[2], 166, 2);
    EXPECT_NEAR(positionAt[11], 166 * 10, 4) << "row 1's delayed note cut in";
    EXPECT_NEAR(positionAt[12], 1024 + 166, 2);
    EXPECT_NEAR(positionAt[18], 2048 + 166, 2);
    EXPECT_TRUE(activeAt[23]);
    EXPECT_FALSE(activeAt[24]);
}

TEST(Player, RetriggerRestartsTheVoice)
{
    Tune song;
    song.module.samples[1] = oneShot(sine(32, 64));
    song.put(0, c2, 2, 0xE, 0x92);
    const Module playerModule = loadSong(song.module);
    Player player(playerModule);
    std::vector<std::int16_t> out(framesPerTick * 2);
    std::vector<std::uint32_t> positions;
    for (int tick = 0; tick < 6; ++tick) {
        player.render(out.data(), framesPerTick);
        positions.push_back(player.channel(0).position);
    }
    // Restarted on ticks 2 and 4, so after those ticks it is one tick into the sample.
    EXPECT_NEAR(positions[0], 166, 2);
    EXPECT_NEAR(positions[1], 331, 2);
    EXPECT_NEAR(positions[2], 166, 2);
    EXPECT_NEAR(positions[4], 166, 2);
    EXPECT_NEAR(positions[5], 331, 2);
}

// A sample number without a note: the playing voice goes on to the new sample's loop
// when its current block ends, and a voice that has run out takes the loop up at once.
TEST(Player, SampleNumberAloneSwapsAtTheLoopEnd)
{
    struct Case {
        const char* name;
        ModSample first;
        ModSample second;
        bool activeAfter;
    };
    const std::vector<Case> cases = {
        {"looped to empty", looped(sine(32)), ModSample{}, false},
        {"looped to unlooped", looped(sine(32)), oneShot(sine(32, 4)), false},
        {"looped to looped", looped(sine(32)), looped(sine(16)), true},
        {"stopped to looped", oneShot(sine(32, 2)), looped(sine(16)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tune song;
        song.module.samples[0] = c.first;
        song.module.samples[1] = c.second;
        song.put(0, c2, 1).put(1, 0, 2);
        const Module playerModule = loadSong(song.module);
        Player player(playerModule);
        std::vector<std::int16_t> out(6 * framesPerTick * 2);
        player.render(out.data(), 6 * framesPerTick);
        player.render(out.data(), 6 * framesPerTick);
        EXPECT_EQ(player.channel(0).active, c.activeAfter);
        EXPECT_EQ(player.channel(0).sample, 2);
        EXPECT_EQ(player.channel(0).volume, c.second.volume);
    }
}

TEST(Player, SampleSwapWithToneportamentoAndRetrigger)
{
    // Tone portamento with a new sample number: the voice slides on and swaps at its loop end.
    Tune song;
    song.module.samples[1] = ModSample{};
    song.put(0, c2, 1).put(1, c3, 2, 0x3, 0x10);
    const Module playerModule = loadSong(song.module);
    Player player(playerModule);
    std::vector<std::int16_t> out(12 * framesPerTick * 2);
    player.render(out.data(), 12 * framesPerTick);
    EXPECT_FALSE(player.channel(0).active) << "the empty sample was not swapped in";
    EXPECT_EQ(player.channel(0).period, 348);

    // A retrigger after a sample number restarts the sample that plays, not the new one.
    Tune retrigger;
    retrigger.module.samples[1] = ModSample{};
    retrigger.put(0, c2, 1).put(1, 0, 2, 0xE, 0x93);
    const Module secondModule = loadSong(retrigger.module);
    Player second(secondModule);
    second.render(out.data(), 12 * framesPerTick);
    EXPECT_TRUE(second.channel(0).active);
    EXPECT_EQ(second.channel(0).sample, 1);
}

// Where the song goes: order and row at the start of each row.
TEST(Player, SongCourse)
{
    struct Case {
        const char* name;
        Tune song;
        std::vector<std::pair<int, int>> rows;   // order, row
    };
    std::vector<Case> cases;
    cases.push_back({"pattern break in decimal", Tune(2).at(0, 1, 0, 0, 0, 0xD, 0x12), {{0, 0}, {0, 1}, {1, 12}, {1, 13}}});
    cases.push_back({"break beyond the pattern goes to row 0", Tune(2).at(0, 0, 0, 0, 0, 0xD, 0x64), {{0, 0}, {1, 0}}});
    cases.push_back({"position jump", Tune(3).at(0, 0, 0, 0, 0, 0xB, 0x02), {{0, 0}, {2, 0}, {2, 1}}});
    // Bxx and Dxx together: to the row Dxx names in the order Bxx names...
    cases.push_back({"jump then break", Tune(3).at(0, 0, 0, 0, 0, 0xB, 0x02).at(0, 0, 1, 0, 0, 0xD, 0x05),
                     {{0, 0}, {2, 5}}});
    // ...unless Bxx comes in a later channel: it sets the row back to 0.
    cases.push_back({"break then jump", Tune(3).at(0, 0, 0, 0, 0, 0xD, 0x05).at(0, 0, 1, 0, 0, 0xB, 0x02),
                     {{0, 0}, {2, 0}}});
    cases.push_back({"pattern loop", Tune(1).at(0, 1, 0, 0, 0, 0xE, 0x60).at(0, 2, 0, 0, 0, 0xE, 0x62),
                     {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}}});
    // A pattern loop and a break on the loop's last row: the break wins each time it runs.
    cases.push_back({"pattern loop with break",
                     Tune(2).at(0, 1, 0, 0, 0, 0xE, 0x60).at(0, 2, 0, 0, 0, 0xE, 0x61).at(0, 2, 1, 0, 0, 0xD, 0x00),
                     {{0, 0}, {0, 1}, {0, 2}, {1, 0}}});
    // Pattern delay and break on one row: the row is held, and the row after the
    // break's target is where the song goes on.
    cases.push_back({"pattern delay with break",
                     Tune(2).at(0, 1, 0, 0, 0, 0xE, 0xE1).at(0, 1, 1, 0, 0, 0xD, 0x03),
                     {{0, 0}, {0, 1}, {1, 4}, {1, 5}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Module playerModule = loadSong(c.song.module);
        Player player(playerModule);
        std::vector<std::pair<int, int>> seen;
        for (int tick = 0; tick < 300 && seen.size() < c.rows.size(); ++tick) {
            player.advanceTick();
            if (player.tick() == 0) {
                seen.emplace_back(player.order(), player.row());
            }
        }
        EXPECT_EQ(seen, c.rows);
    }
}

TEST(Player, SpeedAndTempo)
{
    // 64 rows of 6 ticks at 2.5 / 125 s.
    EXPECT_NEAR(songSeconds(loadSong(Tune().module)), 7.68, 1e-9);
    // Speed 3 from row 0; tempo 250 from row 32's second tick on.
    Tune song;
    song.put(0, 0, 0, 0xF, 0x03).put(32, 0, 0, 0xF, 0xFA);
    EXPECT_NEAR(songSeconds(loadSong(song.module)), 32 * 3 * 0.02 + 0.02 + (32 * 3 - 1) * 0.01, 1e-9);

    // The frames agree with the seconds: a pass of the first song is exactly 7.68 s.
    PlayerOptions once;
    once.loop = false;
    const std::vector<std::int16_t> out = render(Tune().module, 400000, once);
    EXPECT_EQ(out.size() / 2, 338688u);
}

TEST(Player, SongLoopsAtTheEndAndOnJumpsBack)
{
    Tune song(2);
    song.module.restartPosition = 1;
    song.put(0, c2, 1);
    const Module playerModule = loadSong(song.module);
    Player player(playerModule);
    std::vector<int> ordersAtRowStart;
    for (int tick = 0; tick < 3 * 64 * 6; ++tick) {
        player.advanceTick();
        if (player.tick() == 0 && player.row() == 0) {
            ordersAtRowStart.push_back(player.order());
        }
    }
    // After the last order the song goes on from its restart position.
    EXPECT_EQ(ordersAtRowStart, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(player.passes(), 1);
    EXPECT_FALSE(player.ended());

    // Without looping it ends there; a jump backwards ends it too.
    PlayerOptions once;
    once.loop = false;
    EXPECT_EQ(render(song.module, 2000000, once).size() / 2, 2 * 338688u);
    Tune back(2);
    back.at(1, 0, 0, 0, 0, 0xB, 0x00);
    EXPECT_EQ(render(back.module, 2000000, once).size() / 2, 338688u + 5292u);
    EXPECT_NEAR(songSeconds(loadSong(back.module)), 7.68 + 0.12, 1e-9);
}

// The length scan and the player survive songs that never come back, orders that name
// no pattern and a module with nothing to play.
TEST(Player, SongLengthScanEndsOnEveryInput)
{
    // A pattern loop ending on a delayed row: the jump back is taken on the row's first
    // tick, the repeat uses up the count, and the row after the jump target is the loop's
    // end again, with a fresh count: forever.
    Tune trap;
    trap.at(0, 0, 0, 0, 0, 0xE, 0x60).at(0, 1, 0, 0, 0, 0xE, 0x61).at(0, 1, 1, 0, 0, 0xE, 0xE1);
    EXPECT_NEAR(songSeconds(loadSong(trap.module), 60.0), 60.0, 0.05);

    // Orders with the high bit set are passed over.
    Tune skipping(2);
    skipping.module.songLength = 4;
    skipping.module.orders = {0x80, 1, 0xFF, 0};
    EXPECT_NEAR(songSeconds(loadSong(skipping.module)), 2 * 7.68, 1e-9);

    // No playable order at all: nothing to play, at once.
    Tune nothing;
    nothing.module.orders[0] = 0x90;
    EXPECT_EQ(songSeconds(loadSong(nothing.module)), 0.0);
    const Module playerModule = loadSong(nothing.module);
    Player player(playerModule);
    std::vector<std::int16_t> out(1000);
    EXPECT_EQ(player.render(out.data(), 500), 0u);
    EXPECT_TRUE(player.ended());
}

TEST(Player, PitchLevelAndPanning)
{
    // A 32-byte cycle at period p sounds at 3,546,894.6 / p / 32 Hz.
    struct Case {
        int period;
        int volume;
        double hertz;
    };
    const std::vector<Case> cases = {{c2, 64, 258.98}, {c3, 64, 517.96}, {b3, 32, 980.89}, {c1, 16, 129.49}};
    std::vector<double> levels;
    for (const Case& c : cases) {
        Tune song;
        song.put(0, c.period, 1, 0xC, c.volume);
        const std::vector<std::int16_t> out = render(song.module, 44100);
        EXPECT_NEAR(frequency(out, 4410, 44100), c.hertz, c.hertz * 0.001) << c.period;
        levels.push_back(rms(out, 4410, 44100, 0) / c.volume);
    }
    // Volume is linear.
    for (double level : levels) {
        EXPECT_NEAR(level, levels[0], levels[0] * 0.01);
    }

    // Left, right, right, left, with some of each side in the other.
    for (int channel = 0; channel < 4; ++channel) {
        Tune song;
        song.at(0, 0, channel, c2, 1, 0, 0);
        const std::vector<std::int16_t> out = render(song.module, 22050);
        const double left = rms(out, 2205, 22050, 0);
        const double right = rms(out, 2205, 22050, 1);
        const bool leftSide = channel == 0 || channel == 3;
        EXPECT_NEAR((leftSide ? right / left : left / right), 1.0 / 3.0, 0.01) << channel;
    }
}

// With ramping, nothing jumps at a note's start, a cut or a volume change; without it
// the same song does, which shows the measure can see a click.
TEST(Player, RampingRemovesClicks)
{
    Tune song;
    song.module.samples[0] = looped(std::vector<std::int8_t>(64, 100));   // a loud constant level
    song.put(0, c2, 1).put(4, 0, 0, 0xC, 0x00).put(8, c2, 1).put(12, 0, 0, 0xC, 0x20).put(16, c3, 1);
    song.module.samples[1] = oneShot(std::vector<std::int8_t>(200, 120));
    song.put(20, c2, 2);
    PlayerOptions hard;
    hard.ramp = false;
    const std::vector<std::int16_t> smooth = render(song.module, 30 * 6 * framesPerTick);
    const std::vector<std::int16_t> clicking = render(song.module, 30 * 6 * framesPerTick, hard);
    // A 3 ms ramp of a full-scale step moves at most 1/132 of it per frame.
    EXPECT_LT(largestJump(smooth, 0, smooth.size() / 2), 200);
    EXPECT_GT(largestJump(clicking, 0, clicking.size() / 2), 10000);
}

TEST(Player, OutputIsDeterministicAndNeverWraps)
{
    // 32 channels of a full-scale square: far beyond 16 bits before the soft clip.
    Tune loud(1, 32);
    std::vector<std::int8_t> square(64);
    for (std::size_t i = 0; i < square.size(); ++i) {
        square[i] = i < 32 ? 127 : -128;
    }
    loud.module.samples[0] = looped(square);
    for (int channel = 0; channel < 32; ++channel) {
        loud.at(0, 0, channel, c2, 1, 0, 0);
    }
    const std::vector<std::int16_t> first = render(loud.module, 20000);
    const std::vector<std::int16_t> second = render(loud.module, 20000);
    EXPECT_EQ(first, second);
    // Every left sample of the square's high half stays positive: nothing wrapped around.
    int highest = 0;
    for (std::size_t i = 2000; i < 20000; ++i) {
        highest = std::max<int>(highest, first[2 * i]);
        if (first[2 * i - 2] > 20000) {
            EXPECT_GT(first[2 * i], -32768);
        }
    }
    EXPECT_GT(highest, 30000);
    EXPECT_LE(highest, 32767);
}
