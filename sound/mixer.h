#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/module.h"

// Resamples and mixes a module's voices into 16-bit stereo. A voice plays one block of
// a sample and, when that block ends, the block that its loop names, over and over
// (forwards, or back and forth); with no loop it falls silent. That is how the Amiga's
// sound chip plays, and the PC trackers' samples are the same thing: the sample up to
// its loop's end, then the loop. The replayer sets blocks, steps, gains and filters
// once per tick; the mixer makes the frames in between.
//
// All arithmetic is integer, so the same module gives the same samples on every
// machine and compiler.
//
// Not thread-safe: the replayer that owns a mixer calls it from one thread at a time.

struct MixerOptions {
    int rate = 44100;                  // output frames per second
    bool interpolate = true;           // linear interpolation between sample points
    bool ramp = true;                  // volume changes ramp, so that nothing clicks
    int rampUpMicroseconds = 3000;     // how long a voice takes to get louder
    int rampDownMicroseconds = 3000;   // and quieter
    bool fineSteps = false;            // 8-bit samples interpolate in 32,768 steps, as 16-bit
                                       // ones always do, rather than ProTracker modules' 256
};

class Mixer {
public:
    // The full gain of one side: a voice at this gain adds its samples at a quarter of
    // full scale (as four Amiga channels at full volume reach full scale).
    static constexpr std::int32_t unityGain = 8192;

    // `samples` must outlive the mixer; the replayer may change their data between mixes.
    Mixer(int voices, const MixerOptions& options, const std::vector<Sample>& samples);

    int voices() const { return static_cast<int>(voices_.size()); }

    // Restarts the voice on frames [start, end) of sample `sample` (0-based), forwards;
    // a sample of -1 or an empty block leaves the voice silent. With ramping, what the
    // voice played before fades out beside it.
    void trigger(int voice, int sample, std::uint32_t start, std::uint32_t end);
    // The block the voice plays when its current one ends, again and again. A voice that
    // has run out of sound but is still switched on takes the new block up at once. An
    // empty block, or LoopMode::None, means "nothing more".
    void setLoop(int voice, int sample, std::uint32_t start, std::uint32_t end, LoopMode mode);
    // Moves the voice to another place of its current block (IT's sustain loop released
    // into the sample's end, XM's sample offset past a loop); the loop stays as it is.
    void setBlockEnd(int voice, std::uint32_t end);
    // Frames of the sample per output frame, in 32.32 fixed point; 0 holds the voice still.
    void setStep(int voice, std::uint64_t step);
    // The step of an Amiga period at this mixer's rate (PAL clock); 0 for periods <= 0.
    std::uint64_t amigaStep(int period) const;
    // The step of a frequency in 1/65,536 Hz.
    std::uint64_t frequencyStep(std::uint64_t frequency) const;
    // The gain of each side, 0 to unityGain and a little above; ramped when ramping.
    void setGain(int voice, std::int32_t left, std::int32_t right);
    // A two-pole resonant low-pass on the voice: y = a * x + b * y1 + c * y2, the
    // coefficients in 1/2^24. `on` false passes the voice through unchanged.
    void setFilter(int voice, bool on, std::int32_t a, std::int32_t b, std::int32_t c);
    // Fades the voice out over the ramp's length and stops it.
    void cut(int voice);

    // Adds the voices over `frames` frames into out, interleaved left and right.
    void mix(std::int16_t* out, std::size_t frames);

    std::uint32_t position(int voice) const;
    bool active(int voice) const;
    // True while the voice is inside a block or still fading.
    bool audible(int voice) const;

    // The PAL Amiga's sound clock, 3,546,894.6 Hz, in tenths of a hertz: what period 1
    // plays, kept in integers so that the step is exact.
    static constexpr std::uint64_t amigaClockTenths = 35468946;

private:
    struct Block {
        int sample = -1;
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        LoopMode mode = LoopMode::Forward;
        bool plays() const { return sample >= 0 && end > start; }
    };
    struct Filter {
        bool on = false;
        std::int32_t a = 0, b = 0, c = 0;
        std::int32_t history[2][2] = {{0, 0}, {0, 0}};   // per side: the last two outputs
    };
    struct Voice {
        Block block;               // what is playing
        Block loop;                // what plays next, again and again
        bool switchedOn = false;   // triggered once; runs on silently after the last block
        bool sounding = false;     // inside a block
        bool backwards = false;    // a ping-pong loop on its way back
        std::int64_t position = 0;    // 32.32 fixed point, in frames of the block's sample
        std::uint64_t step = 0;
        std::int32_t gain[2] = {0, 0};     // 16.16 fixed point, up to unityGain
        std::int32_t target[2] = {0, 0};
        std::int32_t increment[2] = {0, 0};
        int rampLeft = 0;
        bool cutting = false;      // ramping down to stop
        std::int32_t tail[2] = {0, 0};     // what the voice last added, dying away after it ends
        Filter filter;
    };

    Block makeBlock(int sample, std::uint32_t start, std::uint32_t end, LoopMode mode) const;
    void startBlock(Voice& voice, const Block& block) const;
    void rampTo(Voice& voice, const std::int32_t target[2]) const;
    void mixVoice(Voice& voice, std::int32_t* accumulator, std::size_t frames) const;
    bool turnAtEnd(Voice& voice) const;
    void mixGeneral(Voice& voice, std::int32_t* out, std::size_t count) const;
    template <bool stereo, bool filtered>
    void mixGeneralRun(Voice& voice, std::int32_t* out, std::size_t count) const;
    void endVoice(Voice& voice) const;
    static void mixTail(Voice& voice, std::int32_t* accumulator, std::size_t frames);
    // The sample value after the one at `index`, looking across the block's end.
    int following(const Voice& voice, std::uint32_t index) const;
    int lastValue(const Voice& voice) const;

    const std::vector<Sample>& samples_;
    int rate_;
    bool interpolate_;
    bool ramp_;
    bool fineSteps_;
    int rampUpFrames_;
    int rampDownFrames_;
    std::vector<Voice> voices_;
    std::vector<Voice> fading_;        // each voice's predecessor, ramping down after a restart
    std::vector<std::int32_t> accumulator_;
};
