// Writes the FastTracker 2 module that the end-to-end tests' second build of the
// program carries in place of the soundtrack (tests/e2e/show.xm): a short piece in A
// minor whose instruments go through what only the XM player does. Volume envelopes
// with a sustain point, released by key-offs in the pattern and by the Kxx command,
// and one with a loop; fade-outs; a panning envelope; a ping-pong loop; the
// instrument's vibrato; one instrument that plays three samples by key; 16-bit
// samples and one 8-bit; 32-row patterns, linear slides and the volume column.
// Deterministic: the same bytes on every run.
//
//     make_e2e_xm OUTPUT.xm
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sound/module.h"
#include "tests/sound/module_parts.h"
#include "tests/sound/xm_writer.h"
#include "tools/output/output_file.h"

namespace {

constexpr double pi = 3.14159265358979323846;

constexpr int channelCount = 5;
constexpr int rowsPerPattern = 32;
constexpr int rowsPerChord = 16;
constexpr int patternCount = 4;

enum Channel : int { leadChannel, bassChannel, padLowChannel, padHighChannel, drumChannel };
enum InstrumentNumber : std::uint8_t { lead = 1, bass, pad, kit };
enum SampleNumber : std::uint16_t { leadWave = 1, bassWave, padWave, kickSample, snareSample, hatSample };

// The pitched waveforms repeat every 64 frames; 24 semitones up, C-5 plays one at
// 8,363 x 4 / 64 = 523 Hz. The drums are made at twice 8,363 Hz and sound right an
// octave up, at C-5.
constexpr int cycleFrames = 64;
constexpr int waveRelativeNote = 24;
constexpr int drumRelativeNote = 12;
constexpr double drumRate = 2 * 8363.0;

// The drums' keys on the kit: C-5 the kick, D#-5 the snare, G-5 the hat.
constexpr int kickNote = noteMiddleC;
constexpr int snareNote = noteMiddleC + 3;
constexpr int hatNote = noteMiddleC + 7;

// Two chords a pattern, by their root in semitones above C and their third.
struct Chord {
    int root;
    int third;
};
constexpr Chord chords[patternCount][2] = {
    {{9, 3}, {9, 3}},   // A minor, twice: the intro
    {{5, 4}, {4, 4}},   // F, E: the turnaround, where the song comes back after its end
    {{9, 3}, {5, 4}},   // A minor, F
    {{0, 4}, {7, 4}},   // C, G
};
// The lead's held notes sway in the turnaround and fade in the last pattern.
constexpr int turnaround = 1;
constexpr int lastPattern = 3;

// The lead by chords, one character a row: 0 to 4 the chord's root, third, fifth,
// octave and octave third; '-' holds the note, '^' releases it, '.' leaves the row.
constexpr const char* melody[patternCount][2] = {
    {"................", "3-2-1-0-^.2-3-^."},
    {"3-2-1-2-3-^.0-^.", "1---2---3---^..."},
    {"0-1-2-3-2-1-0-^.", "2-1-0-^.3-2-1-^."},
    {"0-2-3-^.2-1-0-^.", "1-2-3-4-3-2-^..."},
};

// The drums by chords: k kick, s snare, h hat, '.' nothing.
constexpr const char* drums[patternCount][2] = {
    {"h.h.h.h.h.h.h.hh", "k.h.s.h.k.h.s.ss"},
    {"k.h.s.h.k.khs.hh", "k.h.s.h.kk.s.sss"},
    {"k.h.s.h.k.khs.hh", "k.h.s.h.k.khs.hh"},
    {"k.h.s.h.k.khs.hh", "k.h.s.h.k.khs.hh"},
};

// Every line of the lead and the drums spans one chord.
constexpr bool spansChords(const char* const (&lines)[patternCount][2])
{
    for (const auto& pattern : lines) {
        for (const char* line : pattern) {
            int length = 0;
            while (line[length] != '\0') {
                ++length;
            }
            if (length != rowsPerChord) {
                return false;
            }
        }
    }
    return true;
}
static_assert(spansChords(melody) && spansChords(drums), "a line of the score is not one chord long");

// The bass's notes within a chord: the root, an octave up on row 8.
constexpr int bassRows[] = {0, 3, 6, 8, 11, 14};

std::int16_t clip16(double value)
{
    return static_cast<std::int16_t>(std::lround(std::fmax(-32767.0, std::fmin(32767.0, value))));
}

Sample makeSample(const char* name, int frames, int volume, const std::function<double(int)>& wave)
{
    Sample sample;
    sample.name = name;
    sample.sixteenBit = true;
    sample.volume = volume;
    sample.data.resize(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        sample.data[static_cast<std::size_t>(i)] = clip16(wave(i));
    }
    return sample;
}

Sample loopedWave(Sample sample, LoopMode loop)
{
    sample.loop = loop;
    sample.loopStart = 0;
    sample.loopEnd = sample.frames();
    sample.relativeNote = waveRelativeNote;
    return sample;
}

std::vector<Sample> makeSamples()
{
    std::vector<Sample> samples;
    // A saw of eight harmonics.
    samples.push_back(loopedWave(makeSample("lead", 4 * cycleFrames, 40, [](int i) {
        double value = 0.0;
        for (int k = 1; k <= 8; ++k) {
            value += std::sin(2.0 * pi * k * i / cycleFrames) / k;
        }
        return 9000.0 * value;
    }), LoopMode::Forward));
    // The instrument's vibrato comes in over a quarter of a second.
    samples.back().vibrato = AutoVibrato{0, 10, 4, 12};
    samples.push_back(loopedWave(makeSample("bass", 4 * cycleFrames, 56, [](int i) {
        const double phase = 2.0 * pi * i / cycleFrames;
        return 15000.0 * std::sin(phase) + 6000.0 * std::sin(2.0 * phase) + 3000.0 * std::sin(3.0 * phase);
    }), LoopMode::Forward));
    // Two triangles 27 cents apart (64 and 65 cycles), played back and forth.
    samples.push_back(loopedWave(makeSample("pad", 64 * cycleFrames, 30, [](int i) {
        auto triangle = [](double turns) { return 4.0 * std::fabs(turns - std::floor(turns + 0.5)) - 1.0; };
        const double position = static_cast<double>(i) / (64 * cycleFrames);
        return 8000.0 * (triangle(64.0 * position) + triangle(65.0 * position));
    }), LoopMode::PingPong));

    samples.push_back(makeSample("kick", 5000, 64, [](int i) {
        const double t = i / drumRate;
        return 26000.0 * std::exp(-t * 14.0) * std::sin(2.0 * pi * (50.0 * t + 4.0 * (1.0 - std::exp(-t * 30.0))));
    }));
    Noise noise(2024);
    samples.push_back(makeSample("snare", 3400, 50, [&](int i) {
        const double t = i / drumRate;
        return std::exp(-t * 22.0) * (16000.0 * noise.next() + 9000.0 * std::sin(2.0 * pi * 185.0 * t));
    }));
    // The hat is stored in 8 bits: its values are whole multiples of 256.
    double previous = 0.0;
    Sample hat = makeSample("hat", 1300, 40, [&](int i) {
        const double value = noise.next();
        const double high = value - previous;
        previous = value;
        return 256.0 * std::round(60.0 * std::exp(-i / 260.0) * high);
    });
    hat.sixteenBit = false;
    samples.push_back(hat);
    for (std::size_t i = kickSample - 1u; i < samples.size(); ++i) {
        samples[i].relativeNote = drumRelativeNote;
    }
    return samples;
}

std::vector<Instrument> makeInstruments()
{
    std::vector<Instrument> instruments;
    // A quick attack, a decay to the sustain, and a release of twelve ticks after the key-off.
    instruments.push_back(instrumentOf("lead", leadWave));
    instruments.back().volumeEnvelope = sustained(envelope({{0, 0}, {2, 64}, {10, 40}, {22, 0}}), 2, 2);
    instruments.back().fadeout = 1024;
    instruments.push_back(instrumentOf("bass", bassWave));
    instruments.back().volumeEnvelope = sustained(envelope({{0, 64}, {8, 48}, {48, 32}, {60, 0}}), 2, 2);
    instruments.back().fadeout = 2048;
    // The pad swells and sinks for as long as it sounds, the key-off only starting its
    // fade, and wanders from one side to the other.
    instruments.push_back(instrumentOf("pad", padWave));
    instruments.back().volumeEnvelope = looped(envelope({{0, 0}, {24, 44}, {40, 28}, {56, 44}}), 1, 3);
    instruments.back().panningEnvelope = looped(envelope({{0, -16}, {48, 16}, {96, -16}}), 0, 2);
    instruments.back().fadeout = 2048;
    // The drums without an envelope, each key range its own sample.
    instruments.push_back(instrumentOf("kit", kickSample));
    for (Instrument::Key& key : instruments.back().keys) {
        key.sample = key.note < snareNote ? kickSample : key.note < hatNote ? snareSample : hatSample;
    }
    return instruments;
}

int chordTone(const Chord& chord, int tone)
{
    static constexpr int fixed[5] = {0, 0, 7, 12, 12};
    return chord.root + fixed[tone] + (tone == 1 || tone == 4 ? chord.third : 0);
}

void writeLead(Module& module, int pattern, int half)
{
    const Chord& chord = chords[pattern][half];
    const std::string line = melody[pattern][half];
    for (int i = 0; i < rowsPerChord; ++i) {
        const int row = half * rowsPerChord + i;
        const char c = line[static_cast<std::size_t>(i)];
        if (c >= '0' && c <= '4') {
            put(module, pattern, row, leadChannel, noteMiddleC - 12 + chordTone(chord, c - '0'), lead);
        } else if (c == '^') {
            put(module, pattern, row, leadChannel, noteOff, 0);
        } else if (c == '-' && pattern == turnaround) {
            // Vibrato, its depth from the volume column.
            effect(module, pattern, row, leadChannel, Effect::Vibrato, 0x50);
            volume(module, pattern, row, leadChannel, VolumeCommand::VibratoDepth, 3);
        } else if (c == '-' && pattern == lastPattern) {
            volume(module, pattern, row, leadChannel, VolumeCommand::VolumeSlideDown, 2);
        }
    }
}

void writeBass(Module& module, int pattern, int half)
{
    const Chord& chord = chords[pattern][half];
    for (int i : bassRows) {
        const int row = half * rowsPerChord + i;
        const int note = noteMiddleC - 36 + chord.root + (i == 8 ? 12 : 0);
        if (i == 8 && pattern == turnaround) {
            // The turnaround slides up to the octave instead of striking it.
            put(module, pattern, row, bassChannel, note, 0);
            effect(module, pattern, row, bassChannel, Effect::TonePortamento, 0x30);
        } else {
            put(module, pattern, row, bassChannel, note, bass);
        }
    }
    // The chord's last note is let go on its third tick.
    effect(module, pattern, half * rowsPerChord + 14, bassChannel, Effect::KeyOff, 3);
}

// The pad holds the chord's third and fifth for twelve rows, then lets them fade.
void writePad(Module& module, int pattern, int half)
{
    const Chord& chord = chords[pattern][half];
    const int row = half * rowsPerChord;
    put(module, pattern, row, padLowChannel, noteMiddleC - 24 + chordTone(chord, 1), pad);
    put(module, pattern, row, padHighChannel, noteMiddleC - 24 + chordTone(chord, 2), pad);
    put(module, pattern, row + 12, padLowChannel, noteOff, 0);
    put(module, pattern, row + 12, padHighChannel, noteOff, 0);
}

void writeDrums(Module& module, int pattern, int half)
{
    const std::string line = drums[pattern][half];
    for (int i = 0; i < rowsPerChord; ++i) {
        const int row = half * rowsPerChord + i;
        switch (line[static_cast<std::size_t>(i)]) {
        case 'k':
            put(module, pattern, row, drumChannel, kickNote, kit);
            break;
        case 's':
            put(module, pattern, row, drumChannel, snareNote, kit);
            break;
        case 'h':
            // Off-beat hats louder than those on the beat.
            put(module, pattern, row, drumChannel, hatNote, kit);
            volume(module, pattern, row, drumChannel, VolumeCommand::Volume, i % 4 == 2 ? 36 : 22);
            break;
        default:
            break;
        }
    }
}

Module compose()
{
    Module module;
    module.format = ModuleFormat::Xm;
    module.title = "thousand e2e xm";
    module.channels = channelCount;
    module.linearSlides = true;
    module.initialSpeed = 6;
    module.initialTempo = 150;
    // The intro once, then the rest again and again.
    module.orders = {0, 1, 2, 3};
    module.restartPosition = 1;
    module.channelSettings.resize(channelCount);
    module.samples = makeSamples();
    module.instruments = makeInstruments();
    for (int p = 0; p < patternCount; ++p) {
        Pattern pattern;
        pattern.rows = rowsPerPattern;
        pattern.cells.resize(static_cast<std::size_t>(rowsPerPattern * channelCount));
        module.patterns.push_back(pattern);
        for (int half = 0; half < 2; ++half) {
            writeLead(module, p, half);
            writeBass(module, p, half);
            writePad(module, p, half);
            writeDrums(module, p, half);
        }
    }
    return module;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: make_e2e_xm OUTPUT.xm\n");
        return 2;
    }
    try {
        std::string problem;
        if (!writeOutputFile(argv[1], writeXm(compose()), problem)) {
            std::fprintf(stderr, "make_e2e_xm: %s: %s\n", argv[1], problem.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_e2e_xm: %s\n", e.what());
        return 1;
    }
    return 0;
}
