#include "sound/mod_mixer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint64_t one = std::uint64_t{1} << 32;   // one byte in 32.32 fixed point

// A quiet start and a loud end fold smoothly into the 16-bit range instead of
// wrapping or clipping hard: linear up to the knee, then a curve toward full scale.
std::int16_t softClip(std::int32_t value)
{
    constexpr std::int64_t knee = 24576;
    constexpr std::int64_t room = 32767 - knee;
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    if (magnitude <= knee) {
        return static_cast<std::int16_t>(value);
    }
    const std::int64_t over = magnitude - knee;
    const std::int64_t folded = knee + over * room / (over + room);
    return static_cast<std::int16_t>(value < 0 ? -folded : folded);
}

// Mixes `frames` frames of one voice inside a block, where the byte after every
// position read is still inside the block (or is given as `last`, for the final byte).
template <bool interpolate, bool ramping, bool atEnd>
void mixRun(const std::int8_t* data, std::uint64_t& position, std::uint64_t step, std::int32_t gain[2],
            const std::int32_t increment[2], std::int32_t* out, std::size_t frames, int last)
{
    std::int32_t left = gain[0];
    std::int32_t right = gain[1];
    std::uint64_t at = position;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint32_t index = static_cast<std::uint32_t>(at >> 32);
        int value = data[index] * 256;
        if (interpolate) {
            const int next = atEnd ? last : data[index + 1];
            const int fraction = static_cast<int>(at >> 24 & 0xFF);
            value += (next - data[index]) * fraction;
        }
        if (ramping) {
            left += increment[0];
            right += increment[1];
        }
        out[2 * i] += (value * (left >> 16)) >> 6;
        out[2 * i + 1] += (value * (right >> 16)) >> 6;
        at += step;
    }
    position = at;
    gain[0] = left;
    gain[1] = right;
}

} // namespace

ModMixer::ModMixer(int channels, int rate, bool interpolate, bool ramp, const SampleBank& samples)
    : samples_(samples),
      rate_(rate),
      interpolate_(interpolate),
      ramp_(ramp),
      // About three milliseconds: short enough to keep attacks crisp, long enough not to click.
      rampFrames_(std::max(1, rate * 3 / 1000)),
      // Four channels at full volume just reach full scale; more channels are scaled
      // down by the square root of their number, as uncorrelated voices add up.
      master_(channels <= 4 ? 128 : static_cast<std::int32_t>(std::lround(128.0 * std::sqrt(4.0 / channels)))),
      voices_(static_cast<std::size_t>(channels)),
      fading_(static_cast<std::size_t>(channels))
{
}

void ModMixer::startBlock(Voice& voice, const Block& block) const
{
    voice.block = block;
    voice.sounding = block.plays();
    voice.position = static_cast<std::uint64_t>(block.start) << 32;
}

void ModMixer::trigger(int channel, int sample, std::uint32_t start, std::uint32_t length)
{
    Voice& voice = voices_[static_cast<std::size_t>(channel)];
    if (ramp_ && (voice.sounding || voice.tail[0] != 0 || voice.tail[1] != 0)) {
        // The old sound, or what is left of it, fades out on its own while the new one
        // fades in.
        Voice& fading = fading_[static_cast<std::size_t>(channel)];
        fading = voice;
        const std::int32_t silence[2] = {0, 0};
        rampTo(fading, silence);
    }
    voice.tail[0] = voice.tail[1] = 0;

    Block block;
    if (sample >= 0 && static_cast<std::size_t>(sample) < samples_.size()) {
        const std::uint32_t size = static_cast<std::uint32_t>(samples_[static_cast<std::size_t>(sample)].size());
        block.sample = sample;
        block.start = std::min(start, size);
        block.end = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{start} + length, size));
    }
    voice.switchedOn = true;
    voice.loop = Block{};
    startBlock(voice, block);
    if (ramp_) {
        voice.gain[0] = voice.gain[1] = 0;
        rampTo(voice, voice.target);
    }
}

void ModMixer::setLoop(int channel, int sample, std::uint32_t start, std::uint32_t length)
{
    Voice& voice = voices_[static_cast<std::size_t>(channel)];
    Block block;
    // A block of one word is how the Amiga says "no loop".
    if (length > 2 && sample >= 0 && static_cast<std::size_t>(sample) < samples_.size()) {
        const std::uint32_t size = static_cast<std::uint32_t>(samples_[static_cast<std::size_t>(sample)].size());
        block.sample = sample;
        block.start = std::min(start, size);
        block.end = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{start} + length, size));
    }
    voice.loop = block;
    if (voice.switchedOn && !voice.sounding && block.plays()) {
        startBlock(voice, block);
    }
}

void ModMixer::setPeriod(int channel, int period)
{
    if (period <= 0) {
        voices_[static_cast<std::size_t>(channel)].step = 0;
        return;
    }
    const std::uint64_t base = (amigaClockTenths << 32) / (10 * static_cast<std::uint64_t>(rate_));
    voices_[static_cast<std::size_t>(channel)].step = base / static_cast<std::uint64_t>(period);
}

void ModMixer::setVolume(int channel, int volume, int panning)
{
    const int centred = 128 + (std::clamp(panning, 0, 255) - 128) * stereoSeparation / 100;
    const std::int32_t right = centred * 256 / 255;
    const std::int32_t pan[2] = {256 - right, right};
    std::int32_t target[2];
    for (int side = 0; side < 2; ++side) {
        target[side] = (std::clamp(volume, 0, 64) * pan[side] * master_ >> 8) << 16;
    }
    rampTo(voices_[static_cast<std::size_t>(channel)], target);
}

void ModMixer::rampTo(Voice& voice, const std::int32_t target[2]) const
{
    voice.target[0] = target[0];
    voice.target[1] = target[1];
    if (!ramp_ || !voice.sounding || (voice.gain[0] == target[0] && voice.gain[1] == target[1])) {
        voice.gain[0] = target[0];
        voice.gain[1] = target[1];
        voice.rampLeft = 0;
        return;
    }
    voice.rampLeft = rampFrames_;
    for (int side = 0; side < 2; ++side) {
        voice.increment[side] = (target[side] - voice.gain[side]) / rampFrames_;
    }
}

int ModMixer::following(const Voice& voice, std::uint32_t index) const
{
    if (index + 1 < voice.block.end) {
        return samples_[static_cast<std::size_t>(voice.block.sample)][index + 1];
    }
    if (voice.loop.plays()) {
        return samples_[static_cast<std::size_t>(voice.loop.sample)][voice.loop.start];
    }
    // Nothing follows: hold the last byte, from which the voice's tail dies away.
    return samples_[static_cast<std::size_t>(voice.block.sample)][index];
}

void ModMixer::mixVoice(Voice& voice, std::int32_t* out, std::size_t frames) const
{
    while (frames > 0 && voice.sounding) {
        const Block& block = voice.block;
        const std::uint64_t end = static_cast<std::uint64_t>(block.end) << 32;
        if (voice.position >= end) {
            // The block is over: the loop registers say what comes next.
            if (!voice.loop.plays()) {
                endVoice(voice);
                break;
            }
            const std::uint64_t overshoot = voice.position - end;
            startBlock(voice, voice.loop);
            const std::uint64_t length = static_cast<std::uint64_t>(voice.block.end - voice.block.start) << 32;
            voice.position += overshoot % length;
            continue;
        }

        // Run up to the last byte of the block without looking across its end; the
        // last byte itself interpolates toward whatever follows the block.
        const std::uint64_t lastByte = end - one;
        const bool atEnd = voice.position >= lastByte;
        const std::uint64_t limit = atEnd ? end : lastByte;
        std::size_t count = frames;
        if (voice.step > 0) {
            count = static_cast<std::size_t>(
                std::min<std::uint64_t>(count, (limit - voice.position + voice.step - 1) / voice.step));
        }
        const bool ramping = voice.rampLeft > 0;
        if (ramping) {
            count = std::min<std::size_t>(count, static_cast<std::size_t>(voice.rampLeft));
        }
        if (!ramping && voice.gain[0] == 0 && voice.gain[1] == 0) {
            // Silent, but still moving through the sample.
            voice.position += voice.step * count;
        } else {
            using Run = void (*)(const std::int8_t*, std::uint64_t&, std::uint64_t, std::int32_t*,
                                 const std::int32_t*, std::int32_t*, std::size_t, int);
            static constexpr Run runs[8] = {
                mixRun<false, false, false>, mixRun<false, false, true>, mixRun<false, true, false>,
                mixRun<false, true, true>,   mixRun<true, false, false>, mixRun<true, false, true>,
                mixRun<true, true, false>,   mixRun<true, true, true>,
            };
            const int last = atEnd ? following(voice, block.end - 1) : 0;
            runs[(interpolate_ ? 4 : 0) + (ramping ? 2 : 0) + (atEnd ? 1 : 0)](
                samples_[static_cast<std::size_t>(block.sample)].data(), voice.position, voice.step, voice.gain,
                voice.increment, out, count, last);
        }
        if (ramping) {
            voice.rampLeft -= static_cast<int>(count);
            if (voice.rampLeft == 0) {
                voice.gain[0] = voice.target[0];
                voice.gain[1] = voice.target[1];
            }
        }
        out += 2 * count;
        frames -= count;
    }
    if (!voice.sounding) {
        voice.gain[0] = voice.target[0];
        voice.gain[1] = voice.target[1];
        voice.rampLeft = 0;
        mixTail(voice, out, frames);
    }
}

// A sample seldom ends on 0: rather than drop to silence at once, which clicks, the
// voice's last output dies away over a few milliseconds.
void ModMixer::endVoice(Voice& voice) const
{
    voice.sounding = false;
    if (!ramp_) {
        return;
    }
    const int last = samples_[static_cast<std::size_t>(voice.block.sample)][voice.block.end - 1] * 256;
    for (int side = 0; side < 2; ++side) {
        voice.tail[side] = (last * (voice.gain[side] >> 16)) >> 6;
    }
}

void ModMixer::mixTail(Voice& voice, std::int32_t* out, std::size_t frames)
{
    std::int32_t left = voice.tail[0];
    std::int32_t right = voice.tail[1];
    for (std::size_t i = 0; i < frames && (left != 0 || right != 0); ++i) {
        out[2 * i] += left;
        out[2 * i + 1] += right;
        // Falls by 1/256 a frame; the last few units go at once, so that it ends.
        left -= left / 256 + (left > 0) - (left < 0);
        right -= right / 256 + (right > 0) - (right < 0);
    }
    voice.tail[0] = left;
    voice.tail[1] = right;
}

void ModMixer::mix(std::int16_t* out, std::size_t frames)
{
    constexpr std::size_t chunk = 1024;
    accumulator_.resize(2 * chunk);
    while (frames > 0) {
        const std::size_t count = std::min(frames, chunk);
        std::fill(accumulator_.begin(), accumulator_.begin() + static_cast<std::ptrdiff_t>(2 * count), 0);
        for (std::size_t i = 0; i < voices_.size(); ++i) {
            mixVoice(voices_[i], accumulator_.data(), count);
            Voice& fading = fading_[i];
            if (fading.sounding || fading.tail[0] != 0 || fading.tail[1] != 0) {
                mixVoice(fading, accumulator_.data(), count);
                if (fading.rampLeft == 0) {
                    fading.sounding = false;
                }
            }
        }
        for (std::size_t i = 0; i < 2 * count; ++i) {
            out[i] = softClip(accumulator_[i] >> 8);
        }
        out += 2 * count;
        frames -= count;
    }
}

std::uint32_t ModMixer::position(int channel) const
{
    return static_cast<std::uint32_t>(voices_[static_cast<std::size_t>(channel)].position >> 32);
}

bool ModMixer::active(int channel) const
{
    return voices_[static_cast<std::size_t>(channel)].sounding;
}
