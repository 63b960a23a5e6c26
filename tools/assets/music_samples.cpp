#include "tools/assets/music_samples.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace soundtrack {
namespace {

constexpr double pi = 3.14159265358979323846;

// A small xorshift generator: the noise of the drums, the same on every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}

    // Uniform in [-1, 1).
    double next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_;
};

double absolute(double x)
{
    return x < 0.0 ? -x : x;
}

// sin(2 pi x) from a polynomial, so that no library's last bits enter the samples.
double sineCycles(double x)
{
    // Reduce to [-0.5, 0.5) cycles, then fold to [-0.25, 0.25].
    x -= static_cast<double>(static_cast<long long>(x));
    if (x >= 0.5) {
        x -= 1.0;
    } else if (x < -0.5) {
        x += 1.0;
    }
    if (x > 0.25) {
        x = 0.5 - x;
    } else if (x < -0.25) {
        x = -0.5 - x;
    }
    const double r = 2.0 * pi * x;
    const double r2 = r * r;
    // Taylor series to r^15: below 1e-11 on [-pi/2, pi/2].
    double term = r;
    double sum = r;
    for (int k = 1; k <= 7; ++k) {
        term *= -r2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

// e^x for x <= 0 (envelopes and glides), by scaling down, a short series and squaring.
double expNegative(double x)
{
    if (x < -60.0) {
        return 0.0;
    }
    const double y = x / 1024.0;
    double value = 1.0 + y * (1.0 + y / 2.0 * (1.0 + y / 3.0 * (1.0 + y / 4.0 * (1.0 + y / 5.0))));
    for (int i = 0; i < 10; ++i) {
        value *= value;
    }
    return value;
}

// A soft saturation that keeps small signals linear and rounds off peaks.
double saturate(double x)
{
    if (x > 3.0) {
        return 1.0;
    }
    if (x < -3.0) {
        return -1.0;
    }
    return x * (27.0 + x * x) / (27.0 + 9.0 * x * x);
}

// A two-pole state-variable filter in its trapezoidal form, which stays stable for any
// cutoff below the Nyquist frequency (the drums' noise is filtered close to it).
class Filter {
public:
    Filter(double cutoff, double rate, double damping) : k_(damping)
    {
        const double limited = cutoff < 0.45 * rate ? cutoff : 0.45 * rate;
        const double angle = limited / (2.0 * rate);   // in cycles: pi * cutoff / rate radians
        const double g = sineCycles(angle) / sineCycles(0.25 - angle);
        a1_ = 1.0 / (1.0 + g * (g + k_));
        a2_ = g * a1_;
        a3_ = g * a2_;
    }

    double lowpass() const { return low_; }
    double highpass() const { return high_; }
    double bandpass() const { return band_; }

    void run(double in)
    {
        const double v3 = in - s2_;
        band_ = a1_ * s1_ + a2_ * v3;
        low_ = s2_ + a2_ * s1_ + a3_ * v3;
        s1_ = 2.0 * band_ - s1_;
        s2_ = 2.0 * low_ - s2_;
        high_ = in - k_ * band_ - low_;
    }

private:
    double k_;
    double a1_ = 0.0;
    double a2_ = 0.0;
    double a3_ = 0.0;
    double s1_ = 0.0;
    double s2_ = 0.0;
    double low_ = 0.0;
    double high_ = 0.0;
    double band_ = 0.0;
};

// The magnitude of a gentle two-pole low-pass at `frequency`.
double lowpassGain(double frequency, double cutoff)
{
    const double ratio = frequency / cutoff;
    // The square root is correctly rounded on every IEEE machine.
    return 1.0 / std::sqrt(1.0 + ratio * ratio * ratio * ratio);
}

enum class Wave { sine, saw, square, pulse };

// The amplitude of harmonic n of a wave (a pulse of 25 % duty).
double harmonicAmplitude(Wave wave, int n)
{
    switch (wave) {
    case Wave::sine:
        return n == 1 ? 1.0 : 0.0;
    case Wave::saw:
        return 1.0 / n;
    case Wave::square:
        return n % 2 == 1 ? 1.0 / n : 0.0;
    case Wave::pulse:
        return absolute(sineCycles(n * 0.125)) / n;
    }
    return 0.0;
}

// One oscillator of a tonal sample. Its frequency is a whole number of cycles per loop,
// so that every harmonic meets itself at the loop's seam.
struct Oscillator {
    int cycles;
    Wave wave;
    double amplitude;
};

// A tone built from harmonics: an attack part whose brightness and level may move,
// then a loop of `loopLength` bytes in which both hold still. Without a loop the
// envelope runs on for `length` bytes and the frequency is `unloopedFrequency`.
struct HarmonicTone {
    double rate = rateOfPeriod(basePeriod);
    int loopStart = 0;
    int loopLength = 0;
    int length = 0;                                  // unlooped samples only
    double unloopedFrequency = 0.0;                  // unlooped samples only
    std::vector<Oscillator> oscillators;
    std::function<double(double)> cutoff;            // Hz at a time in seconds
    std::function<double(double)> level;             // 0 to 1 at a time in seconds
};

// (Appending one by one, rather than assigning a list, also keeps GCC 12's null-pointer
// warning about vector assignment quiet.)
void addOscillators(HarmonicTone& tone, std::initializer_list<Oscillator> oscillators)
{
    for (const Oscillator& osc : oscillators) {
        tone.oscillators.push_back(osc);
    }
}

std::vector<double> renderTone(const HarmonicTone& tone, std::uint32_t seed)
{
    const bool looped = tone.loopLength > 0;
    const int total = looped ? tone.loopStart + tone.loopLength : tone.length;
    std::vector<double> out(static_cast<std::size_t>(total), 0.0);
    const double holdTime = tone.loopStart / tone.rate;
    Noise phases(seed);

    for (const Oscillator& osc : tone.oscillators) {
        const double frequency =
            looped ? osc.cycles * tone.rate / tone.loopLength : tone.unloopedFrequency * osc.cycles;
        for (int n = 1; n * frequency < 0.45 * tone.rate; ++n) {
            const double amplitude = osc.amplitude * harmonicAmplitude(osc.wave, n);
            const double start = phases.next();
            if (amplitude == 0.0) {
                continue;
            }
            for (int i = 0; i < total; ++i) {
                const double t = i / tone.rate;
                const double held = looped && t > holdTime ? holdTime : t;
                // In the loop the phase is counted in whole steps of the loop, so that
                // the loop's last sample leads exactly into its first.
                const double phase =
                    looped ? static_cast<double>(static_cast<long long>(n) * osc.cycles * (i - tone.loopStart) %
                                                 tone.loopLength) /
                                 tone.loopLength
                           : n * frequency * t;
                out[static_cast<std::size_t>(i)] +=
                    amplitude * lowpassGain(n * frequency, tone.cutoff(held)) * sineCycles(start + phase);
            }
        }
    }
    for (int i = 0; i < total; ++i) {
        const double t = i / tone.rate;
        out[static_cast<std::size_t>(i)] *= tone.level(looped && t > holdTime ? holdTime : t);
    }
    return out;
}

// From 1 at time 0 to exactly 0 at time `end`, falling like an exponential of `tau`.
double fallTo(double t, double tau, double end)
{
    if (t >= end) {
        return 0.0;
    }
    const double floor = expNegative(-end / tau);
    return (expNegative(-t / tau) - floor) / (1.0 - floor);
}

// A linear rise over `seconds`.
double rise(double t, double seconds)
{
    return t >= seconds ? 1.0 : t / seconds;
}

// Scales a sound to the 8-bit range, peaking at `peak`, and rounds it.
ModSample quantise(const std::string& name, const std::vector<double>& sound, int volume, double peak = 126.0)
{
    double loudest = 0.0;
    for (double v : sound) {
        loudest = absolute(v) > loudest ? absolute(v) : loudest;
    }
    ModSample sample;
    sample.name = name;
    sample.volume = volume;
    sample.data.reserve(sound.size());
    const double scale = loudest > 0.0 ? peak / loudest : 0.0;
    for (double v : sound) {
        const double scaled = v * scale;
        const long long rounded = static_cast<long long>(scaled < 0.0 ? scaled - 0.5 : scaled + 0.5);
        sample.data.push_back(static_cast<std::int8_t>(rounded > 127 ? 127 : (rounded < -127 ? -127 : rounded)));
    }
    // The file counts lengths in words.
    if (sample.data.size() % 2 == 1) {
        sample.data.push_back(0);
    }
    return sample;
}

ModSample looped(ModSample sample, int loopStart, int loopLength)
{
    sample.loopStart = static_cast<std::uint32_t>(loopStart);
    sample.loopLength = static_cast<std::uint32_t>(loopLength);
    return sample;
}

// Fades the last `seconds` of a one-shot sound to silence, so that it never stops on a step.
void fadeTail(std::vector<double>& sound, double rate, double seconds)
{
    const std::size_t count = static_cast<std::size_t>(seconds * rate);
    for (std::size_t i = 0; i < count && i < sound.size(); ++i) {
        sound[sound.size() - 1 - i] *= static_cast<double>(i) / static_cast<double>(count);
    }
}

// A drum with a sine body whose pitch falls from `pitch + sweep` to `pitch`, and a
// burst of filtered noise on top of its attack.
struct PitchedDrum {
    double seconds;
    std::uint32_t seed;
    double noiseCutoff;
    double pitch;
    double sweep;
    double sweepTime;
    double bodyDecay;
    double attack;
    double noiseLevel;
    double noiseDecay;
    double drive;
    double tail;
};

std::vector<double> makePitchedDrum(const PitchedDrum& drum)
{
    const double rate = rateOfPeriod(428);
    const int length = static_cast<int>(drum.seconds * rate);
    std::vector<double> out;
    Noise noise(drum.seed);
    Filter filter(drum.noiseCutoff, rate, 1.0);
    double phase = 0.0;
    for (int i = 0; i < length; ++i) {
        const double t = i / rate;
        phase += (drum.pitch + drum.sweep * expNegative(-t / drum.sweepTime)) / rate;
        filter.run(noise.next());
        const double body = sineCycles(phase) * expNegative(-t / drum.bodyDecay) * rise(t, drum.attack);
        const double burst = drum.noiseLevel * filter.lowpass() * expNegative(-t / drum.noiseDecay);
        out.push_back(saturate(drum.drive * (body + burst)));
    }
    fadeTail(out, rate, drum.tail);
    return out;
}

// The pitch drops fast from a knock to a low boom.
std::vector<double> makeKick()
{
    return makePitchedDrum({0.42, 0x4B1C, 2500.0, 46.0, 130.0, 0.03, 0.26, 0.0015, 0.9, 0.004, 1.7, 0.03});
}

std::vector<double> makeSnare()
{
    const double rate = rateOfPeriod(214);
    const int length = static_cast<int>(0.3 * rate);
    std::vector<double> out;
    Noise noise(0x5A4E);
    Filter band(4200.0, rate, 1.1);
    Filter low(9000.0, rate, 1.2);
    double phaseLow = 0.0;
    double phaseHigh = 0.0;
    for (int i = 0; i < length; ++i) {
        const double t = i / rate;
        const double bend = 1.0 + 0.25 * expNegative(-t / 0.012);
        phaseLow += 185.0 * bend / rate;
        phaseHigh += 330.0 * bend / rate;
        const double tone = 0.75 * sineCycles(phaseLow) * expNegative(-t / 0.055) +
                            0.35 * sineCycles(phaseHigh) * expNegative(-t / 0.035);
        const double white = noise.next();
        band.run(white);
        low.run(white);
        const double rattle = (0.8 * band.bandpass() + 0.35 * low.lowpass()) * expNegative(-t / 0.1);
        out.push_back(saturate(1.3 * (tone * rise(t, 0.001) + rattle * rise(t, 0.002))));
    }
    fadeTail(out, rate, 0.03);
    return out;
}

// Metal: six square oscillators at clashing frequencies and some noise, high-passed.
std::vector<double> makeMetal(double rate, double seconds, double tau, double highpass, double spread,
                              std::uint32_t seed)
{
    static const double partials[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    const int length = static_cast<int>(seconds * rate);
    std::vector<double> out;
    Noise noise(seed);
    Filter first(highpass, rate, 0.9);
    Filter second(highpass, rate, 0.9);
    Filter sheen(11000.0 < 0.45 * rate ? 11000.0 : 0.4 * rate, rate, 1.0);
    double phases[6] = {0.1, 0.7, 0.3, 0.9, 0.5, 0.2};
    for (int i = 0; i < length; ++i) {
        const double t = i / rate;
        double metal = 0.0;
        for (int k = 0; k < 6; ++k) {
            phases[k] += partials[k] * spread / rate;
            phases[k] -= static_cast<double>(static_cast<long long>(phases[k]));
            metal += phases[k] < 0.5 ? 1.0 : -1.0;
        }
        const double source = 0.12 * metal + 0.8 * noise.next();
        first.run(source);
        second.run(first.highpass());
        sheen.run(second.highpass());
        const double shaped = 0.6 * second.highpass() + 0.5 * sheen.bandpass();
        out.push_back(shaped * expNegative(-t / tau) * rise(t, 0.0008));
    }
    fadeTail(out, rate, seconds * 0.15);
    return out;
}

std::vector<double> makeTom()
{
    return makePitchedDrum({0.45, 0x70E, 1800.0, 98.0, 55.0, 0.05, 0.18, 0.002, 0.3, 0.01, 1.4, 0.04});
}

// The bass: saws with a sub-octave sine, a filter that closes after the pluck, held in
// a loop of 40 cycles of C2.
ModSample makeBass()
{
    HarmonicTone tone;
    tone.loopStart = 2072;
    tone.loopLength = 5068;   // 40 cycles of C2 at 8,287 Hz: 65.41 Hz
    addOscillators(tone, {{40, Wave::saw, 1.0}, {41, Wave::saw, 0.35}, {20, Wave::sine, 0.9}});
    tone.cutoff = [](double t) { return 380.0 + 2200.0 * fallTo(t, 0.06, 0.25); };
    tone.level = [](double t) { return rise(t, 0.003) * (0.72 + 0.28 * fallTo(t, 0.08, 0.25)); };
    return looped(quantise("bass", renderTone(tone, 0xBA55), 56), tone.loopStart, tone.loopLength);
}

// A warm pad: each chord note from three slightly detuned saws, soft at the top, in a
// loop of 0.92 s through which the detuning beats once.
ModSample makePad(const std::string& name, const int (&semitones)[5], std::uint32_t seed)
{
    HarmonicTone tone;
    tone.loopStart = 2486;
    tone.loopLength = 7602;   // 120 cycles of C3 at 8,287 Hz: 130.81 Hz
    static const double ratio = 1.0594630943592953;   // a semitone
    for (int s : semitones) {
        double multiple = 1.0;
        for (int k = 0; k < s; ++k) {
            multiple *= ratio;
        }
        const int cycles = static_cast<int>(120.0 * multiple + 0.5);
        const double weight = s == 0 ? 1.0 : (s > 12 ? 0.55 : 0.8);
        tone.oscillators.push_back({cycles, Wave::saw, weight});
        tone.oscillators.push_back({cycles - 1, Wave::saw, 0.45 * weight});
        tone.oscillators.push_back({cycles + 1, Wave::saw, 0.45 * weight});
    }
    tone.cutoff = [](double t) { return 700.0 + 500.0 * rise(t, 0.3); };
    tone.level = [](double t) { return rise(t, 0.25); };
    return looped(quantise(name, renderTone(tone, seed), 34), tone.loopStart, tone.loopLength);
}

// The lead: two saws beating slowly against each other and a square for body, bright
// at the attack and mellower as it holds.
ModSample makeLead()
{
    HarmonicTone tone;
    tone.loopStart = 1244;
    tone.loopLength = 5068;   // 160 cycles of C4 at 8,287 Hz: 261.64 Hz
    addOscillators(tone, {{160, Wave::saw, 1.0}, {161, Wave::saw, 0.7}, {160, Wave::square, 0.45}});
    tone.cutoff = [](double t) { return 1500.0 + 2500.0 * fallTo(t, 0.05, 0.15); };
    tone.level = [](double t) { return rise(t, 0.004) * (0.82 + 0.18 * fallTo(t, 0.05, 0.15)); };
    return looped(quantise("lead", renderTone(tone, 0x1EAD), 46), tone.loopStart, tone.loopLength);
}

// A plucked string for the arpeggios: bright for a moment, then dark and dying away.
ModSample makePluck()
{
    HarmonicTone tone;
    tone.length = 3730;
    tone.unloopedFrequency = 261.6256;   // C4
    addOscillators(tone, {{1, Wave::pulse, 1.0}, {1, Wave::saw, 0.6}, {2, Wave::sine, 0.25}});
    tone.cutoff = [](double t) { return 500.0 + 3800.0 * expNegative(-t / 0.05); };
    tone.level = [](double t) { return rise(t, 0.002) * expNegative(-t / 0.14) * fallTo(t, 1.0, 0.45); };
    return quantise("pluck", renderTone(tone, 0x9100), 40);
}

// A plain pulse, the classic voice of arpeggio chords, looped over 80 cycles.
ModSample makeChip()
{
    HarmonicTone tone;
    tone.loopStart = 0;
    tone.loopLength = 2534;   // 80 cycles of C4
    addOscillators(tone, {{80, Wave::pulse, 1.0}});
    tone.cutoff = [](double) { return 3000.0; };
    tone.level = [](double) { return 1.0; };
    return looped(quantise("chip", renderTone(tone, 0xC419), 30), 0, tone.loopLength);
}

} // namespace

int contentPitch(int instrument)
{
    switch (instrument) {
    case bass:
        return 36;
    case padMajor:
    case padMinor:
        return 48;
    case lead:
    case pluck:
    case chip:
        return 60;
    default:
        return -1;
    }
}

std::vector<ModSample> makeSamples()
{
    std::vector<ModSample> samples(31);
    auto set = [&samples](int number, ModSample sample) { samples[static_cast<std::size_t>(number - 1)] = sample; };

    static const int major[5] = {0, 7, 12, 16, 19};
    static const int minor[5] = {0, 7, 12, 15, 19};
    set(kick, quantise("kick", makeKick(), 64));
    set(snare, quantise("snare", makeSnare(), 52));
    set(closedHat, quantise("closed hat", makeMetal(rateOfPeriod(143), 0.09, 0.02, 7000.0, 1.6, 0xC1A7), 50));
    set(openHat, quantise("open hat", makeMetal(rateOfPeriod(143), 0.45, 0.15, 6500.0, 1.6, 0x0BE7), 38));
    set(crash, quantise("crash", makeMetal(rateOfPeriod(214), 1.3, 0.45, 3000.0, 2.3, 0xC7A5), 36));
    set(tom, quantise("tom", makeTom(), 50));
    set(bass, makeBass());
    set(padMajor, makePad("pad major", major, 0x9AD1));
    set(padMinor, makePad("pad minor", minor, 0x9AD2));
    set(lead, makeLead());
    set(pluck, makePluck());
    set(chip, makeChip());

    // The empty slots carry the credits, as trackers have always done.
    samples[20].name = "Thousand";
    samples[21].name = "for Dolven Quarn's";
    samples[22].name = "first thousand visits";
    samples[23].name = "composed by make_music";
    return samples;
}

} // namespace soundtrack
