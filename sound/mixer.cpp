#include "sound/mixer.h"

#include <algorithm>
#include <cstring>

// On x86-64 hosts, voices that interpolate are mixed eight frames at a time with AVX2
// where the processor has it; every other build mixes them a frame at a time. Both
// compute the same integers.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define THOUSAND_MIX_AVX2 1
#include <immintrin.h>
#endif

namespace {

constexpr std::int64_t one = std::int64_t{1} << 32;   // one frame in 32.32 fixed point

// A quiet start and a loud end fold smoothly into the 16-bit range instead of
// wrapping or clipping hard: linear up to the knee, then a curve toward full scale.
constexpr std::int64_t knee = 24576;

std::int16_t softClip(std::int32_t value)
{
    constexpr std::int64_t room = 32767 - knee;
    const std::int64_t magnitude = value < 0 ? -static_cast<std::int64_t>(value) : value;
    if (magnitude <= knee) {
        return static_cast<std::int16_t>(value);
    }
    const std::int64_t over = magnitude - knee;
    const std::int64_t folded = knee + over * room / (over + room);
    return static_cast<std::int16_t>(value < 0 ? -folded : folded);
}

// The mix's samples, in 256ths, as 16-bit output.
void narrowEach(const std::int32_t* in, std::int16_t* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = softClip(in[i] >> 8);
    }
}

// The value between two sample points. Samples stored as 8-bit interpolate in 256
// steps, as the Amiga-style mixer always has; 16-bit ones in 32,768.
inline int interpolated(int value, int next, std::int64_t at, bool fine)
{
    if (fine) {
        return value + ((next - value) * static_cast<int>(at >> 17 & 0x7FFF) >> 15);
    }
    return value + ((next - value) * static_cast<int>(at >> 24 & 0xFF) >> 8);
}

#ifdef THOUSAND_MIX_AVX2
const bool haveAvx2 = __builtin_cpu_supports("avx2");

// A gain `steps` ramp steps on, in the wrapping arithmetic of the vector lanes: a step
// taken past the ramp's end may overflow where the gains that are used never do.
inline std::int32_t stepped(std::int32_t gain, std::int32_t increment, std::size_t steps)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(gain) +
                                     static_cast<std::uint32_t>(steps) * static_cast<std::uint32_t>(increment));
}

// The lanes' points between `value` and `next`, `part` of the way (interpolated() for
// eight frames).
template <bool fine>
__attribute__((target("avx2"))) inline __m256i interpolatedLanes(__m256i value, __m256i next, __m256i part)
{
    const __m256i weight = fine ? _mm256_srli_epi32(part, 17) : _mm256_srli_epi32(part, 24);
    const __m256i moved = _mm256_mullo_epi32(_mm256_sub_epi32(next, value), weight);
    return _mm256_add_epi32(value, fine ? _mm256_srai_epi32(moved, 15) : _mm256_srai_epi32(moved, 8));
}

// The low and the high 16-bit halves of each lane, as signed values.
__attribute__((target("avx2"))) inline __m256i lowHalves(__m256i lanes)
{
    return _mm256_srai_epi32(_mm256_slli_epi32(lanes, 16), 16);
}

__attribute__((target("avx2"))) inline __m256i highHalves(__m256i lanes)
{
    return _mm256_srai_epi32(lanes, 16);
}

// mixRun() for an interpolating voice away from its block's last point, eight frames at
// a time (the rest one by one), the two sides going out interleaved. A mono sample's
// frame and the one after it are read as one 32-bit word, a stereo sample's (a left and
// a right point each) as one 64-bit word; x86 is little-endian, so the first point is
// in the low half. Eight plain loads beat a gather on the processors measured.
template <bool stereo, bool ramping, bool fine>
__attribute__((target("avx2"))) void mixRunAvx2(const std::int16_t* data, std::int64_t& position,
                                                std::int64_t step, std::int32_t gain[2],
                                                const std::int32_t increment[2], std::int32_t* out,
                                                std::size_t frames)
{
    constexpr std::size_t channels = stereo ? 2 : 1;
    std::int64_t at = position;
    // The fractions of the next eight frames' positions, and their gains: a ramp's gain
    // steps before each frame.
    alignas(32) std::uint32_t fractions[8];
    alignas(32) std::int32_t gains[2][8];
    for (std::size_t k = 0; k < 8; ++k) {
        fractions[k] = static_cast<std::uint32_t>(at + static_cast<std::int64_t>(k) * step);
        for (int side = 0; side < 2; ++side) {
            gains[side][k] = ramping ? stepped(gain[side], increment[side], k + 1) : gain[side];
        }
    }
    __m256i part = _mm256_load_si256(reinterpret_cast<const __m256i*>(fractions));
    __m256i left = _mm256_load_si256(reinterpret_cast<const __m256i*>(gains[0]));
    __m256i right = _mm256_load_si256(reinterpret_cast<const __m256i*>(gains[1]));
    const __m256i partStride = _mm256_set1_epi32(static_cast<std::int32_t>(static_cast<std::uint32_t>(8 * step)));
    const __m256i leftStride = _mm256_set1_epi32(stepped(0, increment[0], 8));
    const __m256i rightStride = _mm256_set1_epi32(stepped(0, increment[1], 8));
    std::size_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        __m256i points[2];
        if constexpr (stereo) {
            long long words[8];
            for (int k = 0; k < 8; ++k) {
                std::memcpy(&words[k], data + 2 * static_cast<std::uint32_t>(at >> 32), sizeof words[k]);
                at += step;
            }
            const __m256 first = _mm256_castsi256_ps(_mm256_setr_epi64x(words[0], words[1], words[2], words[3]));
            const __m256 second = _mm256_castsi256_ps(_mm256_setr_epi64x(words[4], words[5], words[6], words[7]));
            // The frames' own pairs and the following ones, back in the frames' order.
            const __m256i own = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(first, second, 0x88)),
                                                         0xD8);
            const __m256i following = _mm256_permute4x64_epi64(
                _mm256_castps_si256(_mm256_shuffle_ps(first, second, 0xDD)), 0xD8);
            points[0] = interpolatedLanes<fine>(lowHalves(own), lowHalves(following), part);
            points[1] = interpolatedLanes<fine>(highHalves(own), highHalves(following), part);
        } else {
            std::int32_t pairs[8];
            for (int k = 0; k < 8; ++k) {
                std::memcpy(&pairs[k], data + static_cast<std::uint32_t>(at >> 32), sizeof pairs[k]);
                at += step;
            }
            const __m256i pair = _mm256_setr_epi32(pairs[0], pairs[1], pairs[2], pairs[3], pairs[4], pairs[5],
                                                   pairs[6], pairs[7]);
            points[0] = points[1] = interpolatedLanes<fine>(lowHalves(pair), highHalves(pair), part);
        }
        const __m256i toLeft = _mm256_srai_epi32(_mm256_mullo_epi32(points[0], _mm256_srai_epi32(left, 16)), 6);
        const __m256i toRight = _mm256_srai_epi32(_mm256_mullo_epi32(points[1], _mm256_srai_epi32(right, 16)), 6);
        // Frames 0, 1, 4, 5 and 2, 3, 6, 7 as left-right pairs, then back in order.
        const __m256i low = _mm256_unpacklo_epi32(toLeft, toRight);
        const __m256i high = _mm256_unpackhi_epi32(toLeft, toRight);
        __m256i* target = reinterpret_cast<__m256i*>(out + 2 * i);
        _mm256_storeu_si256(target, _mm256_add_epi32(_mm256_loadu_si256(target),
                                                     _mm256_permute2x128_si256(low, high, 0x20)));
        _mm256_storeu_si256(target + 1, _mm256_add_epi32(_mm256_loadu_si256(target + 1),
                                                         _mm256_permute2x128_si256(low, high, 0x31)));
        // The fractions wrap as the positions' low halves do.
        part = _mm256_add_epi32(part, partStride);
        if (ramping) {
            left = _mm256_add_epi32(left, leftStride);
            right = _mm256_add_epi32(right, rightStride);
        }
    }
    if (ramping) {
        gain[0] = stepped(gain[0], increment[0], i);
        gain[1] = stepped(gain[1], increment[1], i);
    }
    for (; i < frames; ++i) {
        const std::size_t index = channels * static_cast<std::uint32_t>(at >> 32);
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t point = index + (stereo ? side : 0);
            const int value = interpolated(data[point], data[point + channels], at, fine);
            if (ramping) {
                gain[side] += increment[side];
            }
            out[2 * i + side] += (value * (gain[side] >> 16)) >> 6;
        }
        at += step;
    }
    position = at;
}

using StereoRun = void (*)(const std::int16_t*, std::int64_t&, std::int64_t, std::int32_t*, const std::int32_t*,
                           std::int32_t*, std::size_t);
constexpr StereoRun stereoRuns[4] = {mixRunAvx2<true, false, false>, mixRunAvx2<true, false, true>,
                                     mixRunAvx2<true, true, false>, mixRunAvx2<true, true, true>};
const bool vectorStereo = haveAvx2;

// narrowEach() eight samples at a time: those within the knee need no more than
// narrowing, and only groups with a louder one fold one by one.
__attribute__((target("avx2"))) void narrowAvx2(const std::int32_t* in, std::int16_t* out, std::size_t count)
{
    const __m256i above = _mm256_set1_epi32(static_cast<std::int32_t>(knee));
    const __m256i below = _mm256_set1_epi32(static_cast<std::int32_t>(-knee));
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i value = _mm256_srai_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), 8);
        const __m256i loud = _mm256_or_si256(_mm256_cmpgt_epi32(value, above), _mm256_cmpgt_epi32(below, value));
        if (_mm256_testz_si256(loud, loud)) {
            // Packing works within each half; the two middle quarters change places.
            const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(value, value), 0x08);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
        } else {
            narrowEach(in + i, out + i, 8);
        }
    }
    narrowEach(in + i, out + i, count - i);
}
#else
constexpr bool vectorStereo = false;
#endif

void narrow(const std::int32_t* in, std::int16_t* out, std::size_t count)
{
#ifdef THOUSAND_MIX_AVX2
    if (haveAvx2) {
        narrowAvx2(in, out, count);
        return;
    }
#endif
    narrowEach(in, out, count);
}

// Mixes `frames` frames of a mono voice moving through a block by `step` (backwards
// when negative), where the point after every position read is still inside the block
// (or is given as `last`, for the block's last point). The common case, kept free of
// every other concern.
template <bool interpolate, bool ramping, bool atEnd, bool fine>
void mixRun(const std::int16_t* data, std::int64_t& position, std::int64_t step, std::int32_t gain[2],
            const std::int32_t increment[2], std::int32_t* out, std::size_t frames, int last)
{
#ifdef THOUSAND_MIX_AVX2
    if (interpolate && !atEnd && haveAvx2) {
        mixRunAvx2<false, ramping, fine>(data, position, step, gain, increment, out, frames);
        return;
    }
#endif
    std::int64_t at = position;
    if (!ramping) {
        // Steady gains: the sample points first, then the two sides in a loop of its own
        // that the compiler can run several frames at a time.
        constexpr std::size_t batch = 256;
        std::int16_t values[batch];   // an interpolated point lies between two 16-bit ones
        const std::int32_t left = gain[0] >> 16;
        const std::int32_t right = gain[1] >> 16;
        for (std::size_t done = 0; done < frames; done += batch) {
            const std::size_t count = std::min(batch, frames - done);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t index = static_cast<std::uint32_t>(at >> 32);
                int value = data[index];
                if (interpolate) {
                    value = interpolated(value, atEnd ? last : data[index + 1], at, fine);
                }
                values[i] = static_cast<std::int16_t>(value);
                at += step;
            }
            std::int32_t* target = out + 2 * done;
            for (std::size_t i = 0; i < count; ++i) {
                target[2 * i] += (values[i] * left) >> 6;
                target[2 * i + 1] += (values[i] * right) >> 6;
            }
        }
        position = at;
        return;
    }
    std::int32_t left = gain[0];
    std::int32_t right = gain[1];
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint32_t index = static_cast<std::uint32_t>(at >> 32);
        int value = data[index];
        if (interpolate) {
            value = interpolated(value, atEnd ? last : data[index + 1], at, fine);
        }
        left += increment[0];
        right += increment[1];
        out[2 * i] += (value * (left >> 16)) >> 6;
        out[2 * i + 1] += (value * (right >> 16)) >> 6;
        at += step;
    }
    position = at;
    gain[0] = left;
    gain[1] = right;
}

} // namespace

Mixer::Mixer(int voices, const MixerOptions& options, const std::vector<Sample>& samples)
    : samples_(samples),
      rate_(options.rate),
      interpolate_(options.interpolate),
      ramp_(options.ramp),
      fineSteps_(options.fineSteps),
      rampUpFrames_(std::max(1, static_cast<int>(std::int64_t{options.rate} * options.rampUpMicroseconds / 1000000))),
      rampDownFrames_(
          std::max(1, static_cast<int>(std::int64_t{options.rate} * options.rampDownMicroseconds / 1000000))),
      voices_(static_cast<std::size_t>(voices)),
      fading_(static_cast<std::size_t>(voices))
{
}

Mixer::Block Mixer::makeBlock(int sample, std::uint32_t start, std::uint32_t end, LoopMode mode) const
{
    Block block;
    if (sample >= 0 && static_cast<std::size_t>(sample) < samples_.size() && mode != LoopMode::None) {
        const std::uint32_t frames = samples_[static_cast<std::size_t>(sample)].frames();
        block.sample = sample;
        block.start = std::min(start, frames);
        block.end = std::min(std::max(end, block.start), frames);
        block.mode = mode;
    }
    return block;
}

void Mixer::startBlock(Voice& voice, const Block& block) const
{
    voice.block = block;
    voice.sounding = block.plays();
    voice.backwards = false;
    voice.position = static_cast<std::int64_t>(block.start) << 32;
}

void Mixer::trigger(int index, int sample, std::uint32_t start, std::uint32_t end)
{
    Voice& voice = voices_[static_cast<std::size_t>(index)];
    if (ramp_ && (voice.sounding || voice.tail[0] != 0 || voice.tail[1] != 0)) {
        // The old sound, or what is left of it, fades out on its own while the new one
        // fades in.
        Voice& fading = fading_[static_cast<std::size_t>(index)];
        fading = voice;
        const std::int32_t silence[2] = {0, 0};
        rampTo(fading, silence);
    }
    voice.tail[0] = voice.tail[1] = 0;
    voice.switchedOn = true;
    voice.cutting = false;
    voice.loop = Block{};
    voice.filter.history[0][0] = voice.filter.history[0][1] = 0;
    voice.filter.history[1][0] = voice.filter.history[1][1] = 0;
    startBlock(voice, makeBlock(sample, start, end, LoopMode::Forward));
    if (ramp_) {
        voice.gain[0] = voice.gain[1] = 0;
        rampTo(voice, voice.target);
    }
}

void Mixer::setLoop(int index, int sample, std::uint32_t start, std::uint32_t end, LoopMode mode)
{
    Voice& voice = voices_[static_cast<std::size_t>(index)];
    const Block block = makeBlock(sample, start, end, mode);
    voice.loop = block;
    if (voice.switchedOn && !voice.sounding && !voice.cutting && block.plays()) {
        startBlock(voice, block);
    }
}

void Mixer::setBlockEnd(int index, std::uint32_t end)
{
    Voice& voice = voices_[static_cast<std::size_t>(index)];
    if (voice.sounding && voice.block.sample >= 0) {
        voice.block.end = std::min(std::max(end, voice.block.start + 1),
                                   samples_[static_cast<std::size_t>(voice.block.sample)].frames());
        voice.block.mode = LoopMode::Forward;
        voice.backwards = false;
    }
}

void Mixer::setStep(int index, std::uint64_t step)
{
    voices_[static_cast<std::size_t>(index)].step = step;
}

std::uint64_t Mixer::amigaStep(int period) const
{
    if (period <= 0) {
        return 0;
    }
    const std::uint64_t base = (amigaClockTenths << 32) / (10 * static_cast<std::uint64_t>(rate_));
    return base / static_cast<std::uint64_t>(period);
}

std::uint64_t Mixer::frequencyStep(std::uint64_t frequency) const
{
    // Frequencies of up to a few MHz fit: 2^22 Hz * 2^16 * 2^16 stays below 2^64.
    return (std::min<std::uint64_t>(frequency, std::uint64_t{1} << 38) << 16) / static_cast<std::uint64_t>(rate_);
}

void Mixer::setGain(int index, std::int32_t left, std::int32_t right)
{
    Voice& voice = voices_[static_cast<std::size_t>(index)];
    if (voice.cutting) {
        return;
    }
    // Gains may be negative (a surround voice's right side): scaled, not shifted.
    const std::int32_t target[2] = {left * 65536, right * 65536};
    rampTo(voice, target);
}

void Mixer::setFilter(int index, bool on, std::int32_t a, std::int32_t b, std::int32_t c)
{
    Filter& filter = voices_[static_cast<std::size_t>(index)].filter;
    filter.on = on;
    filter.a = a;
    filter.b = b;
    filter.c = c;
}

void Mixer::cut(int index)
{
    Voice& voice = voices_[static_cast<std::size_t>(index)];
    voice.switchedOn = false;
    if (!ramp_ || !voice.sounding) {
        voice.sounding = false;
        voice.tail[0] = voice.tail[1] = 0;
        voice.gain[0] = voice.gain[1] = 0;
        voice.target[0] = voice.target[1] = 0;
        voice.rampLeft = 0;
        return;
    }
    const std::int32_t silence[2] = {0, 0};
    rampTo(voice, silence);
    voice.cutting = true;
}

void Mixer::rampTo(Voice& voice, const std::int32_t target[2]) const
{
    voice.target[0] = target[0];
    voice.target[1] = target[1];
    if (!ramp_ || !voice.sounding || (voice.gain[0] == target[0] && voice.gain[1] == target[1])) {
        voice.gain[0] = target[0];
        voice.gain[1] = target[1];
        voice.rampLeft = 0;
        return;
    }
    // A voice getting louder ramps over the ramp up's length, one getting quieter over the
    // ramp down's.
    const std::int64_t now = std::abs(static_cast<std::int64_t>(voice.gain[0])) + std::abs(voice.gain[1]);
    const std::int64_t then = std::abs(static_cast<std::int64_t>(target[0])) + std::abs(target[1]);
    const int frames = then > now ? rampUpFrames_ : rampDownFrames_;
    voice.rampLeft = frames;
    for (int side = 0; side < 2; ++side) {
        voice.increment[side] = (target[side] - voice.gain[side]) / frames;
    }
}

int Mixer::following(const Voice& voice, std::uint32_t index) const
{
    const Sample& sample = samples_[static_cast<std::size_t>(voice.block.sample)];
    if (index + 1 < voice.block.end) {
        return sample.data[index + 1];
    }
    if (voice.loop.plays() && voice.loop.mode == LoopMode::Forward) {
        return samples_[static_cast<std::size_t>(voice.loop.sample)].data[voice.loop.start];
    }
    // Nothing follows, or the voice turns back: hold the last point.
    return sample.data[index];
}

// Past the block's edge in the direction the voice moves: turns a ping-pong block
// round, or goes on into the loop. False when nothing follows.
bool Mixer::turnAtEnd(Voice& voice) const
{
    const std::int64_t start = static_cast<std::int64_t>(voice.block.start) << 32;
    const std::int64_t end = static_cast<std::int64_t>(voice.block.end) << 32;
    if (voice.backwards) {
        // On its way back: bounce off the start, as often as the step asks.
        const std::int64_t length = end - start;
        const std::int64_t under = (start - voice.position) % (2 * length);
        if (under < length) {
            voice.backwards = false;
            voice.position = start + under;
        } else {
            voice.position = end - 1 - (under - length);
        }
        return true;
    }
    if (!voice.loop.plays()) {
        return false;
    }
    // The block is over: the loop says what comes next.
    const std::int64_t overshoot = voice.position - end;
    startBlock(voice, voice.loop);
    const std::int64_t loopStart = static_cast<std::int64_t>(voice.block.start) << 32;
    const std::int64_t loopEnd = static_cast<std::int64_t>(voice.block.end) << 32;
    const std::int64_t length = loopEnd - loopStart;
    if (voice.block.mode == LoopMode::PingPong) {
        const std::int64_t over = overshoot % (2 * length);
        if (over < length) {
            voice.backwards = true;
            voice.position = loopEnd - 1 - over;
        } else {
            voice.position = loopStart + (over - length);
        }
    } else {
        voice.position += overshoot % length;
    }
    return true;
}

// The general path's frames for a voice of `stereo` channels, through its filter when
// `filtered`.
template <bool stereo, bool filtered>
void Mixer::mixGeneralRun(Voice& voice, std::int32_t* out, std::size_t count) const
{
    const Sample& sample = samples_[static_cast<std::size_t>(voice.block.sample)];
    const std::int16_t* data = sample.data.data();
    constexpr std::size_t channels = stereo ? 2 : 1;
    const bool fine = sample.sixteenBit || fineSteps_;
    const std::int64_t step = voice.backwards ? -static_cast<std::int64_t>(voice.step)
                                              : static_cast<std::int64_t>(voice.step);
    const bool ramping = voice.rampLeft > 0;
    // The voice's moving parts, kept here while the run writes the output: its samples
    // could be any of them as far as the compiler can tell.
    std::int64_t position = voice.position;
    std::int32_t gain[2] = {voice.gain[0], voice.gain[1]};
    const std::int32_t increment[2] = {voice.increment[0], voice.increment[1]};
    const std::int64_t a = voice.filter.a;
    const std::int64_t b = voice.filter.b;
    const std::int64_t c = voice.filter.c;
    std::int32_t history[2][2] = {{voice.filter.history[0][0], voice.filter.history[0][1]},
                                  {voice.filter.history[1][0], voice.filter.history[1][1]}};
    const std::uint32_t end = voice.block.end;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t index = static_cast<std::uint32_t>(position >> 32);
        const bool inside = index + 1 < end;
        int values[2];
        for (std::size_t side = 0; side < channels; ++side) {
            int value = data[index * channels + side];
            if (interpolate_) {
                int next = value;
                if (inside) {
                    next = data[(index + 1) * channels + side];
                } else if (!stereo) {
                    next = following(voice, index);
                }
                value = interpolated(value, next, position, fine);
            }
            if (filtered) {
                const std::int64_t y = (a * value + b * history[side][0] + c * history[side][1]) >> 24;
                history[side][1] = history[side][0];
                history[side][0] = static_cast<std::int32_t>(std::clamp<std::int64_t>(y, -131072, 131071));
                value = history[side][0];
            }
            values[side] = value;
        }
        if (!stereo) {
            values[1] = values[0];
        }
        for (std::size_t side = 0; side < 2; ++side) {
            if (ramping) {
                gain[side] += increment[side];
            }
            out[2 * i + side] += (values[side] * (gain[side] >> 16)) >> 6;
        }
        position += step;
    }
    voice.position = position;
    voice.gain[0] = gain[0];
    voice.gain[1] = gain[1];
    if (filtered) {
        // A mono voice keeps one history; the right side's follows it.
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t from = stereo ? side : 0;
            voice.filter.history[side][0] = history[from][0];
            voice.filter.history[side][1] = history[from][1];
        }
    }
}

// Filtered voices, and stereo ones where the vector path does not take them (on their
// block's last point, without interpolation or without AVX2), one frame at a time up to
// the edge of the block in the direction they move.
void Mixer::mixGeneral(Voice& voice, std::int32_t* out, std::size_t count) const
{
    const bool stereo = samples_[static_cast<std::size_t>(voice.block.sample)].channels == 2;
    if (stereo && voice.filter.on) {
        mixGeneralRun<true, true>(voice, out, count);
    } else if (stereo) {
        mixGeneralRun<true, false>(voice, out, count);
    } else if (voice.filter.on) {
        mixGeneralRun<false, true>(voice, out, count);
    } else {
        mixGeneralRun<false, false>(voice, out, count);
    }
}

void Mixer::mixVoice(Voice& voice, std::int32_t* out, std::size_t frames) const
{
    while (frames > 0 && voice.sounding) {
        const Block& block = voice.block;
        const std::int64_t start = static_cast<std::int64_t>(block.start) << 32;
        const std::int64_t end = static_cast<std::int64_t>(block.end) << 32;
        if (voice.backwards ? voice.position < start : voice.position >= end) {
            if (!turnAtEnd(voice)) {
                endVoice(voice);
                break;
            }
            continue;
        }
        if (voice.rampLeft <= 0 && voice.gain[0] == 0 && voice.gain[1] == 0 && !voice.filter.on) {
            // Silent, but still moving through the sample: the whole way at once, folded
            // back into the block (or the loop) as often as it crossed the edge.
            const std::int64_t moved = static_cast<std::int64_t>(voice.step) * static_cast<std::int64_t>(frames);
            voice.position += voice.backwards ? -moved : moved;
            frames = 0;
            if ((voice.backwards ? voice.position < start : voice.position >= end) && !turnAtEnd(voice)) {
                endVoice(voice);
            }
            break;
        }

        const Sample& sample = samples_[static_cast<std::size_t>(block.sample)];
        const bool stereo = sample.channels == 2;
        const bool general = voice.filter.on;
        // The fast paths run over the block's points but its last without looking across
        // its end; on the last point, a mono voice interpolates toward whatever follows the
        // block, and a stereo one holds it on the general path. The general path looks at
        // each point, so it runs up to the edge.
        const std::int64_t lastPoint = end - one;
        const bool atEnd = !general && voice.position >= lastPoint;
        std::size_t count = frames;
        if (voice.step > 0) {
            const std::int64_t step = static_cast<std::int64_t>(voice.step);
            std::int64_t room = 0;
            if (voice.backwards) {
                // Down to the block's start; or, on the last point, down to its beginning.
                room = (voice.position - (atEnd ? lastPoint : start)) / step + 1;
            } else {
                const std::int64_t limit = general || atEnd ? end : lastPoint;
                room = (limit - voice.position + step - 1) / step;
            }
            count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), room));
        }
        const bool ramping = voice.rampLeft > 0;
        if (ramping) {
            count = std::min<std::size_t>(count, static_cast<std::size_t>(voice.rampLeft));
        }
        const std::int64_t signedStep =
            voice.backwards ? -static_cast<std::int64_t>(voice.step) : static_cast<std::int64_t>(voice.step);
        if (general || (stereo && (atEnd || !interpolate_ || !vectorStereo))) {
            mixGeneral(voice, out, count);
        } else if (stereo) {
#ifdef THOUSAND_MIX_AVX2
            stereoRuns[(ramping ? 2 : 0) + (sample.sixteenBit || fineSteps_ ? 1 : 0)](
                sample.data.data(), voice.position, signedStep, voice.gain, voice.increment, out, count);
#endif
        } else {
            using Run = void (*)(const std::int16_t*, std::int64_t&, std::int64_t, std::int32_t*,
                                 const std::int32_t*, std::int32_t*, std::size_t, int);
            static constexpr Run runs[16] = {
                mixRun<false, false, false, false>, mixRun<false, false, true, false>,
                mixRun<false, true, false, false>,  mixRun<false, true, true, false>,
                mixRun<true, false, false, false>,  mixRun<true, false, true, false>,
                mixRun<true, true, false, false>,   mixRun<true, true, true, false>,
                mixRun<false, false, false, true>,  mixRun<false, false, true, true>,
                mixRun<false, true, false, true>,   mixRun<false, true, true, true>,
                mixRun<true, false, false, true>,   mixRun<true, false, true, true>,
                mixRun<true, true, false, true>,    mixRun<true, true, true, true>,
            };
            const int last = atEnd ? following(voice, block.end - 1) : 0;
            const bool fine = sample.sixteenBit || fineSteps_;
            runs[(fine ? 8 : 0) + (interpolate_ ? 4 : 0) + (ramping ? 2 : 0) + (atEnd ? 1 : 0)](
                sample.data.data(), voice.position, signedStep, voice.gain, voice.increment, out, count, last);
        }
        if (ramping) {
            voice.rampLeft -= static_cast<int>(count);
            if (voice.rampLeft == 0) {
                voice.gain[0] = voice.target[0];
                voice.gain[1] = voice.target[1];
                if (voice.cutting) {
                    voice.cutting = false;
                    voice.sounding = false;
                    return;
                }
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

int Mixer::lastValue(const Voice& voice) const
{
    const Sample& sample = samples_[static_cast<std::size_t>(voice.block.sample)];
    const std::size_t last = static_cast<std::size_t>(voice.backwards ? voice.block.start : voice.block.end - 1);
    return sample.data[last * static_cast<std::size_t>(sample.channels)];
}

// A sample seldom ends on 0: rather than drop to silence at once, which clicks, the
// voice's last output dies away over a few milliseconds.
void Mixer::endVoice(Voice& voice) const
{
    voice.sounding = false;
    if (!ramp_) {
        return;
    }
    const int last = lastValue(voice);
    for (int side = 0; side < 2; ++side) {
        voice.tail[side] = (last * (voice.gain[side] >> 16)) >> 6;
    }
}

void Mixer::mixTail(Voice& voice, std::int32_t* out, std::size_t frames)
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

void Mixer::mix(std::int16_t* out, std::size_t frames)
{
    constexpr std::size_t chunk = 1024;
    accumulator_.resize(2 * chunk);
    while (frames > 0) {
        const std::size_t count = std::min(frames, chunk);
        std::fill(accumulator_.begin(), accumulator_.begin() + static_cast<std::ptrdiff_t>(2 * count), 0);
        for (std::size_t i = 0; i < voices_.size(); ++i) {
            Voice& voice = voices_[i];
            if (voice.sounding || voice.tail[0] != 0 || voice.tail[1] != 0) {
                mixVoice(voice, accumulator_.data(), count);
            } else {
                // Quiet: all that mixing would do is settle its gains.
                voice.gain[0] = voice.target[0];
                voice.gain[1] = voice.target[1];
                voice.rampLeft = 0;
            }
            Voice& fading = fading_[i];
            if (fading.sounding || fading.tail[0] != 0 || fading.tail[1] != 0) {
                mixVoice(fading, accumulator_.data(), count);
                if (fading.rampLeft == 0) {
                    fading.sounding = false;
                }
            }
        }
        narrow(accumulator_.data(), out, 2 * count);
        out += 2 * count;
        frames -= count;
    }
}

std::uint32_t Mixer::position(int index) const
{
    return static_cast<std::uint32_t>(voices_[static_cast<std::size_t>(index)].position >> 32);
}

bool Mixer::active(int index) const
{
    return voices_[static_cast<std::size_t>(index)].sounding;
}

bool Mixer::audible(int index) const
{
    const Voice& voice = voices_[static_cast<std::size_t>(index)];
    const Voice& fading = fading_[static_cast<std::size_t>(index)];
    return voice.sounding || voice.tail[0] != 0 || voice.tail[1] != 0 || fading.sounding || fading.tail[0] != 0 ||
           fading.tail[1] != 0;
}
