#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "sound/module.h"
#include "tests/host/test_files.h"

// Checks the committed soundtrack as a musician would before handing it over: the song
// flows through all its patterns and loops back to the verse, every note names a real
// sample at a playable period, loops are inside their samples and meet without a step,
// and the tonal samples are in tune.

namespace {

class Soundtrack : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        bytes_ = new std::vector<std::uint8_t>(readFile(SOUNDTRACK_FILE));
        module_ = new Module;
        result_ = loadModule(bytes_->data(), bytes_->size(), *module_);
    }
    static void TearDownTestSuite()
    {
        delete bytes_;
        delete module_;
    }

    static std::vector<std::uint8_t>* bytes_;
    static Module* module_;
    static LoadResult result_;
};

std::vector<std::uint8_t>* Soundtrack::bytes_ = nullptr;
Module* Soundtrack::module_ = nullptr;
LoadResult Soundtrack::result_ = LoadResult::HeaderCutShort;

// One pass through a song, row by row, as far as the song's flow takes it: the order
// and row it comes back to, and what it played on the way.
struct SongFlow {
    int loopOrder = -1;             // -1: ran off the end of the order list
    int loopRow = -1;
    double secondsBeforeLoop = 0.0;
    std::set<int> patterns;
    bool speedKeptAtLoop = false;   // speed and tempo at the loop as when first there
    bool usesUnmodelledEffects = false;
};

// Follows position jumps, pattern breaks, speed and tempo. Pattern loops and delays
// are not modelled; the flag says whether the song uses them.
SongFlow followSong(const Module& module)
{
    SongFlow flow;
    std::vector<std::vector<int>> visitedSpeed(module.orders.size(), std::vector<int>(64, -1));
    std::vector<std::vector<int>> visitedTempo(module.orders.size(), std::vector<int>(64, -1));
    int order = 0;
    int row = 0;
    int speed = 6;
    int tempo = 125;
    for (int guard = 0; guard < 128 * 64; ++guard) {
        if (order >= static_cast<int>(module.orders.size())) {
            return flow;
        }
        if (visitedSpeed[order][row] >= 0) {
            flow.loopOrder = order;
            flow.loopRow = row;
            flow.speedKeptAtLoop = visitedSpeed[order][row] == speed && visitedTempo[order][row] == tempo;
            return flow;
        }
        visitedSpeed[order][row] = speed;
        visitedTempo[order][row] = tempo;
        const int pattern = module.orders[static_cast<std::size_t>(order)];
        flow.patterns.insert(pattern);
        int jumpOrder = -1;
        int breakRow = -1;
        for (int channel = 0; channel < module.channels; ++channel) {
            const Cell& cell = module.cell(pattern, row, channel);
            if (cell.effect == Effect::SpeedTempo && cell.parameter > 0) {
                (cell.parameter < 0x20 ? speed : tempo) = cell.parameter;
            } else if (cell.effect == Effect::PositionJump) {
                jumpOrder = cell.parameter;
            } else if (cell.effect == Effect::PatternBreak) {
                breakRow = (cell.parameter >> 4) * 10 + (cell.parameter & 0x0F);
            } else if (cell.effect == Effect::Extended && ((cell.parameter >> 4) == 0x6 || (cell.parameter >> 4) == 0xE)) {
                flow.usesUnmodelledEffects = true;
            }
        }
        flow.secondsBeforeLoop += speed * 2.5 / tempo;
        if (jumpOrder >= 0 || breakRow >= 0) {
            order = jumpOrder >= 0 ? jumpOrder : order + 1;
            row = breakRow >= 0 && breakRow < 64 ? breakRow : 0;
        } else if (++row == 64) {
            row = 0;
            ++order;
        }
    }
    return flow;
}

// The strongest partial within 60 cents of a frequency: its offset in cents and its
// share of the (windowed) signal's power, 1 for a pure tone.
struct Partial {
    double cents;
    double strength;
};

// Scans a Hann-windowed Fourier sum of `signal` (sampled at `rate`) coarsely, then
// finely around the best point.
Partial strongestPartialNear(const std::vector<double>& signal, double rate, double expected)
{
    const double pi = 3.14159265358979323846;
    const std::size_t n = signal.size();
    std::vector<double> windowed(n);
    double energy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        windowed[i] = signal[i] * (0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / static_cast<double>(n)));
        energy += windowed[i] * windowed[i];
    }
    auto power = [&](double cents) {
        const double step = 2.0 * pi * expected * std::pow(2.0, cents / 1200.0) / rate;
        // Rotate a phasor instead of calling sin and cos per point.
        const double c = std::cos(step);
        const double s = std::sin(step);
        double re = 1.0;
        double im = 0.0;
        double sumRe = 0.0;
        double sumIm = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            sumRe += windowed[i] * re;
            sumIm += windowed[i] * im;
            const double next = re * c - im * s;
            im = re * s + im * c;
            re = next;
        }
        return sumRe * sumRe + sumIm * sumIm;
    };
    double best = -60.0;
    for (double cents = -60.0; cents <= 60.0; cents += 2.0) {
        best = power(cents) > power(best) ? cents : best;
    }
    double fine = best;
    for (double cents = best - 2.0; cents <= best + 2.0; cents += 0.1) {
        fine = power(cents) > power(fine) ? cents : fine;
    }
    // A windowed sine of amplitude A sums to A n / 4, and its power is A^2 3 n / 16.
    return {fine, energy > 0.0 ? 3.0 * power(fine) / (static_cast<double>(n) * energy) : 0.0};
}

// In tune: a strong partial within 5 cents of the note.
bool inTune(const std::vector<double>& signal, double rate, double expected, Partial* found = nullptr)
{
    const Partial p = strongestPartialNear(signal, rate, expected);
    if (found) {
        *found = p;
    }
    return std::abs(p.cents) < 5.0 && p.strength > 0.05;
}

// A tonal sample as it sounds while held: its loop repeated, or a one-shot from its start.
std::vector<double> heldSound(const Sample& sample)
{
    std::vector<double> sound;
    if (sample.loop != LoopMode::None) {
        for (int repeat = 0; repeat < 8; ++repeat) {
            for (std::uint32_t i = sample.loopStart; i < sample.loopEnd; ++i) {
                sound.push_back(sample.data[i]);
            }
        }
    } else {
        sound.assign(sample.data.begin(), sample.data.end());
    }
    return sound;
}

constexpr double rateOfPeriod428 = 7093789.2 / (2.0 * 428);

// Whether jumping from a loop's end back to its start is as smooth as the sample's own
// flow into its loop start: the byte before the loop start must match the loop's last
// (to within 3 of the file's 8-bit steps). A loop that starts the sample may step no
// further than the steepest step inside it.
bool seamless(const Sample& sample)
{
    const std::uint32_t end = sample.loopEnd;
    const int last = sample.data[end - 1];
    if (sample.loopStart > 0) {
        return std::abs(sample.data[sample.loopStart - 1] - last) <= 3 * 256;
    }
    int steepest = 0;
    for (std::uint32_t i = 1; i < end; ++i) {
        steepest = std::max(steepest, std::abs(sample.data[i] - sample.data[i - 1]));
    }
    return std::abs(sample.data[0] - last) <= steepest;
}

TEST_F(Soundtrack, LoadsAsAnEightChannelModuleWellUnder200Kilobytes)
{
    ASSERT_EQ(result_, LoadResult::Loaded) << describe(result_);
    EXPECT_EQ(module_->channels, 8);
    EXPECT_LT(bytes_->size(), 200u * 1024u);
}

TEST_F(Soundtrack, PlaysOverAMinuteThroughEightPatternsThenLoopsBackToTheVerse)
{
    ASSERT_EQ(result_, LoadResult::Loaded);
    const SongFlow flow = followSong(*module_);
    EXPECT_FALSE(flow.usesUnmodelledEffects);
    EXPECT_GE(flow.patterns.size(), 8u);
    EXPECT_GE(flow.secondsBeforeLoop, 60.0);
    // The verse is order 2, after the two intro patterns that play only once.
    EXPECT_EQ(flow.loopOrder, 2);
    EXPECT_EQ(flow.loopRow, 0);
    EXPECT_TRUE(flow.speedKeptAtLoop);

    // Without its final jump the song would run off the end of the order list instead.
    Module cut = *module_;
    for (Pattern& pattern : cut.patterns) {
        for (Cell& cell : pattern.cells) {
            if (cell.effect == Effect::PositionJump) {
                cell.effect = Effect::None;
                cell.parameter = 0;
            }
        }
    }
    EXPECT_EQ(followSong(cut).loopOrder, -1);
}

TEST_F(Soundtrack, EveryNoteNamesARealSampleAtAProTrackerPeriod)
{
    ASSERT_EQ(result_, LoadResult::Loaded);
    static const std::set<int> periods = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                          428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                          214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    std::set<int> used;
    for (const Pattern& pattern : module_->patterns) {
        for (const Cell& cell : pattern.cells) {
            if (cell.instrument != 0) {
                used.insert(cell.instrument);
            }
            if (cell.period != 0) {
                EXPECT_EQ(periods.count(cell.period), 1u) << "period " << cell.period;
            }
        }
    }
    EXPECT_GE(used.size(), 10u);
    for (int number : used) {
        ASSERT_LE(number, static_cast<int>(module_->samples.size()));
        const Sample& sample = module_->samples[static_cast<std::size_t>(number - 1)];
        EXPECT_GE(sample.data.size(), 1000u) << "sample " << number;
        EXPECT_GE(sample.volume, 16) << "sample " << number;
        EXPECT_LE(sample.volume, 64) << "sample " << number;
    }
}

TEST_F(Soundtrack, LoopsLieInsideTheirSamplesAndMeetWithoutAStep)
{
    ASSERT_EQ(result_, LoadResult::Loaded);
    int loops = 0;
    for (const Sample& sample : module_->samples) {
        if (sample.loop == LoopMode::None) {
            continue;
        }
        ++loops;
        EXPECT_LE(sample.loopEnd, sample.frames()) << sample.name;
        EXPECT_GE(sample.loopEnd - sample.loopStart, 1000u) << sample.name;
        EXPECT_TRUE(seamless(sample)) << sample.name;
    }
    // Bass, two pads, lead and chip hold their notes.
    EXPECT_EQ(loops, 5);

    // The same loop started a few bytes late no longer meets its end.
    const Sample& lead = module_->samples[9];
    ASSERT_NE(lead.loop, LoopMode::None);
    Sample shifted = lead;
    shifted.loopStart += 6;
    EXPECT_FALSE(seamless(shifted));
}

TEST_F(Soundtrack, TonalSamplesAreInTune)
{
    ASSERT_EQ(result_, LoadResult::Loaded);
    // The note each tonal sample sounds at period 428.
    struct Tuning {
        int number;
        double hertz;
    };
    const Tuning tunings[] = {
        {7, 65.4064},     // bass: C2
        {8, 130.8128},    // major pad: C3
        {9, 130.8128},    // minor pad: C3
        {10, 261.6256},   // lead: C4
        {11, 261.6256},   // pluck: C4
        {12, 261.6256},   // chip: C4
    };
    for (const Tuning& t : tunings) {
        const Sample& sample = module_->samples[static_cast<std::size_t>(t.number - 1)];
        Partial found{};
        EXPECT_TRUE(inTune(heldSound(sample), rateOfPeriod428, t.hertz, &found))
            << sample.name << ": " << found.cents << " cents off, strength " << found.strength;
    }

    // The measure itself: a pure tone 8 cents sharp reads as such and is out of tune,
    // and the lead is no D.
    std::vector<double> sharp(8192);
    for (std::size_t i = 0; i < sharp.size(); ++i) {
        sharp[i] = std::sin(2.0 * 3.14159265358979323846 * 261.6256 * std::pow(2.0, 8.0 / 1200.0) *
                            static_cast<double>(i) / rateOfPeriod428);
    }
    EXPECT_NEAR(strongestPartialNear(sharp, rateOfPeriod428, 261.6256).cents, 8.0, 0.5);
    EXPECT_FALSE(inTune(sharp, rateOfPeriod428, 261.6256));
    EXPECT_FALSE(inTune(heldSound(module_->samples[9]), rateOfPeriod428, 293.6648));
}

} // namespace
