#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Resamples and mixes the voices of a module into 16-bit stereo. Each voice works like
// a channel of the Amiga's sound chip: it plays one block of a sample and, when that
// block ends, the block that its loop registers name, over and over; a block of one
// word or less means "nothing more". The replayer sets blocks, periods and volumes
// once per tick; the mixer produces the frames in between.
//
// All arithmetic is integer, so the same module gives the same samples on every
// machine and compiler.

using SampleBank = std::vector<std::vector<std::int8_t>>;

class ModMixer {
public:
    // `samples` must outlive the mixer; the replayer may change their bytes.
    ModMixer(int channels, int rate, bool interpolate, bool ramp, const SampleBank& samples);

    // Restarts the voice on `length` bytes of sample `sample` from byte `start`; a
    // sample of -1 or an empty block leaves the voice silent.
    void trigger(int channel, int sample, std::uint32_t start, std::uint32_t length);
    // The block the voice plays when its current one ends. A voice that has run out of
    // sound but is still switched on takes the new block up at once.
    void setLoop(int channel, int sample, std::uint32_t start, std::uint32_t length);
    // Amiga period; 0 holds the voice still on the byte it has reached.
    void setPeriod(int channel, int period);
    // Volume 0 to 64, panning 0 (left) to 255 (right).
    void setVolume(int channel, int volume, int panning);

    // Adds the voices over `frames` frames into out, interleaved left and right.
    void mix(std::int16_t* out, std::size_t frames);

    std::uint32_t position(int channel) const;
    bool active(int channel) const;

    // The PAL Amiga's sound clock, 3,546,894.6 Hz, in tenths of a hertz: what period 1
    // plays, kept in integers so that the step is exact.
    static constexpr std::uint64_t amigaClockTenths = 35468946;
    static constexpr int stereoSeparation = 50;       // percent of the Amiga's hard panning

private:
    struct Block {
        int sample = -1;
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        bool plays() const { return sample >= 0 && end > start; }
    };
    struct Voice {
        Block block;               // what is playing
        Block loop;                // what plays next, again and again
        bool switchedOn = false;   // triggered once; runs on silently after the last block
        bool sounding = false;     // inside a block
        std::uint64_t position = 0;   // 32.32 fixed point, in bytes of the block's sample
        std::uint64_t step = 0;
        std::int32_t gain[2] = {0, 0};     // 16.16 fixed point, up to 16384
        std::int32_t target[2] = {0, 0};
        std::int32_t increment[2] = {0, 0};
        int rampLeft = 0;
        std::int32_t tail[2] = {0, 0};     // what the voice last added, dying away after it ends
    };

    void startBlock(Voice& voice, const Block& block) const;
    void rampTo(Voice& voice, const std::int32_t target[2]) const;
    void mixVoice(Voice& voice, std::int32_t* accumulator, std::size_t frames) const;
    void endVoice(Voice& voice) const;
    static void mixTail(Voice& voice, std::int32_t* accumulator, std::size_t frames);
    // The sample value after the one at `index`, looking across the block's end.
    int following(const Voice& voice, std::uint32_t index) const;

    const SampleBank& samples_;
    int rate_;
    bool interpolate_;
    bool ramp_;
    int rampFrames_;
    std::int32_t master_;              // 0 to 256, less for modules with many channels
    std::vector<Voice> voices_;
    std::vector<Voice> fading_;        // each voice's predecessor, ramping down after a restart
    std::vector<std::int32_t> accumulator_;
};
