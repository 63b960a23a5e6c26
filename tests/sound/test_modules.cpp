#include "tests/sound/test_modules.h"

#include <cmath>
#include <cstdint>
#include <functional>

#include "tools/assets/mod_writer.h"

namespace {

// ProTracker's periods for finetune 0, C-1 to B-3: what a tracker writes into a cell.
constexpr int periodTable[36] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
};

constexpr double pi = 3.14159265358979323846;

// Sample numbers, as the cells name them.
enum : int { lead = 1, bass, pad, kick, snare, hat, pluck, organ };

// The song's chords, each held for 16 rows: C, A minor, F, G.
constexpr int chordRoots[4] = {0, 9, 5, 7};
constexpr int chordThirds[4] = {4, 3, 4, 4};

// A chord's tones from its root: 0 root, 1 third, 2 fifth, 3 octave.
int chordTone(int chord, int tone)
{
    static constexpr int fixed[4] = {0, 0, 7, 12};
    return chordRoots[chord] + (tone == 1 ? chordThirds[chord] : fixed[tone]);
}

int chordAt(int pattern, int row)
{
    return (pattern * ModSong::rowsPerPattern + row) / 16 % 4;
}

std::int8_t clip8(double value)
{
    return static_cast<std::int8_t>(std::lround(std::fmax(-127.0, std::fmin(127.0, value))));
}

ModSample makeSample(const char* name, int length, int volume, const std::function<double(int)>& wave)
{
    ModSample sample;
    sample.name = name;
    sample.volume = volume;
    sample.data.resize(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        sample.data[static_cast<std::size_t>(i)] = clip8(wave(i));
    }
    return sample;
}

ModSample looped(ModSample sample, std::uint32_t loopStart)
{
    sample.loopStart = loopStart;
    sample.loopLength = static_cast<std::uint32_t>(sample.data.size()) - loopStart;
    return sample;
}

// A small deterministic noise source, so that the drums are the same on every run.
class Noise {
public:
    double next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<std::int32_t>(state_)) / 2147483648.0;
    }

private:
    std::uint32_t state_ = 12345;
};

// The instruments: looped waveforms with a clear pitch (one cycle of 32 or 64 bytes is
// about 260 or 130 Hz at C-2), unlooped drums, and a plucked sample that loops its tail.
void addInstruments(ModSong& module)
{
    auto& s = module.samples;
    s[lead - 1] = looped(makeSample("lead", 256, 48, [](int i) { return i % 32 < 8 ? 90.0 : -30.0; }), 0);
    s[bass - 1] = looped(makeSample("bass", 256, 64, [](int i) { return (i % 64) * 3.5 - 110.0; }), 0);
    s[pad - 1] = looped(makeSample("pad", 256, 40, [](int i) {
        const int phase = i % 32;
        return (phase < 16 ? phase * 12.0 : (32 - phase) * 12.0) - 96.0;
    }), 0);
    // The pad is tuned up by three eighths of a semitone, so that finetune shows in the pitch.
    s[pad - 1].finetune = 3;
    s[kick - 1] = makeSample("kick", 3000, 64, [](int i) {
        const double t = i / 8287.0;
        return 120.0 * std::exp(-t * 9.0) * std::sin(2.0 * pi * (45.0 * t + 12.0 * (1.0 - std::exp(-t * 20.0))));
    });
    Noise noise;
    s[snare - 1] = makeSample("snare", 2000, 50, [&](int i) {
        return 110.0 * std::exp(-i / 500.0) * (0.7 * noise.next() + 0.3 * std::sin(i * 0.35));
    });
    double previous = 0.0;
    s[hat - 1] = makeSample("hat", 600, 34, [&](int i) {
        const double value = noise.next();
        const double high = value - previous;
        previous = value;
        return 70.0 * std::exp(-i / 120.0) * high;
    });
    s[pluck - 1] = looped(makeSample("pluck", 1088, 56, [](int i) {
        const double decay = i < 1024 ? std::exp(-i / 400.0) : std::exp(-1024 / 400.0);
        return (20.0 + 90.0 * decay) * ((i % 64) < 32 ? 1.0 : -1.0) * ((i % 32) / 32.0 + 0.2);
    }), 1024);
    s[organ - 1] = looped(makeSample("organ", 128, 44, [](int i) {
        const double phase = 2.0 * pi * i / 32.0;
        return 60.0 * std::sin(phase) + 30.0 * std::sin(2.0 * phase) + 15.0 * std::sin(3.0 * phase);
    }), 0);
}

// Puts a note (semitone 0 = C-1) with its sample; the effect stays as it was unless given.
void note(ModSong& module, int pattern, int row, int channel, int semitone, int sample)
{
    ModCell& cell = module.cell(pattern, row, channel);
    cell.period = static_cast<std::uint16_t>(periodTable[semitone]);
    cell.sample = static_cast<std::uint8_t>(sample);
}

void effect(ModSong& module, int pattern, int row, int channel, int command, int parameter)
{
    ModCell& cell = module.cell(pattern, row, channel);
    cell.effect = static_cast<std::uint8_t>(command);
    cell.parameter = static_cast<std::uint8_t>(parameter);
}

// A melody over the chords: two rows a note, from the chord's tones, -1 holding the last.
int melodyTone(int pattern, int step)
{
    static constexpr int motif[16] = {0, 1, 2, 1, 0, 2, 1, 3, 2, 1, 0, -1, 3, 2, 1, -1};
    return motif[(step + pattern * 3) % 16];
}

void addMelody(ModSong& module, int channel, int sample, int base, int everyRows = 2)
{
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; r += everyRows) {
            const int tone = melodyTone(p, r / everyRows);
            if (tone >= 0) {
                note(module, p, r, channel, base + chordTone(chordAt(p, r), tone), sample);
            }
        }
    }
}

void addBass(ModSong& module, int channel, int sample, int base)
{
    static constexpr int rows[4] = {0, 6, 8, 14};
    for (int p = 0; p < module.patternCount; ++p) {
        for (int bar = 0; bar < 4; ++bar) {
            for (int i = 0; i < 4; ++i) {
                const int r = bar * 16 + rows[i];
                note(module, p, r, channel, base + chordRoots[chordAt(p, r)] + (i == 2 ? 12 : 0), sample);
            }
        }
    }
}

// The pad plays each chord's tones in turn, one every four rows.
void addPad(ModSong& module, int channel, int sample, int base, int firstTone = 0)
{
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; r += 4) {
            note(module, p, r, channel, base + chordTone(chordAt(p, r), (r / 4 + firstTone) % 3), sample);
        }
    }
}

// Kick, hat and snare on one channel, in a sixteen-row groove.
void addDrums(ModSong& module, int channel)
{
    static constexpr int groove[16] = {kick, 0, hat, 0, snare, 0, hat, 0, kick, 0, kick, hat, snare, 0, hat, hat};
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            const int drum = groove[r % 16];
            if (drum != 0) {
                note(module, p, r, channel, drum == hat ? 24 : 12, drum);
            }
        }
    }
}

// Lead, bass, pad and drums over three patterns.
ModSong bandModule(int patterns = 3)
{
    ModSong module = makeEmptySong(4, patterns);
    addInstruments(module);
    addMelody(module, 0, lead, 12);
    addBass(module, 1, bass, 0);
    addPad(module, 2, pad, 12);
    addDrums(module, 3);
    return module;
}

ModSong melodyModule()
{
    ModSong module = bandModule();
    module.title = "melody";
    // The second pattern's lead is the plucked sample, whose loop starts past its attack.
    for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
        if (module.cell(1, r, 0).sample == lead) {
            module.cell(1, r, 0).sample = pluck;
        }
    }
    addPad(module, 2, organ, 12);
    for (int r = 0; r < ModSong::rowsPerPattern; r += 4) {
        module.cell(0, r, 2).sample = pad;
    }
    return module;
}

ModSong arpeggioModule()
{
    ModSong module = bandModule();
    module.title = "arpeggio";
    // Chords on the pad as arpeggios, held on every row; the lead jumps octaves.
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            const int chord = chordAt(p, r);
            if (r % 16 == 0) {
                note(module, p, r, 2, 12 + chordRoots[chord], pad);
            } else {
                module.cell(p, r, 2) = ModCell{};
            }
            effect(module, p, r, 2, 0x0, chordThirds[chord] << 4 | 7);
            if (r % 8 == 2) {
                effect(module, p, r, 0, 0x0, p == 2 ? 0x7C : 0x0C);
            }
        }
    }
    return module;
}

ModSong portamentoModule()
{
    ModSong module = bandModule();
    module.title = "portamento";
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            const int phase = r % 16;
            // The lead glides to its notes with tone portamento instead of striking them.
            ModCell& cell = module.cell(p, r, 0);
            if (cell.period != 0 && phase != 0) {
                cell.sample = 0;
                effect(module, p, r, 0, 0x3, p == 1 ? 0x08 : 0x20);
            } else if (cell.period == 0) {
                effect(module, p, r, 0, 0x3, 0x00);
            }
            // The bass slides down after each note, and up again on the octave.
            if (phase == 1 || phase == 2) {
                effect(module, p, r, 1, 0x2, 0x03);
            } else if (phase == 9) {
                effect(module, p, r, 1, 0x1, 0x04);
            } else if (phase == 10 || phase == 11) {
                effect(module, p, r, 1, 0xE, 0x24);
            } else if (phase == 12) {
                effect(module, p, r, 1, 0xE, 0x18);
            }
        }
        // Tone portamento with a volume slide.
        for (int r = 40; r < 48; ++r) {
            effect(module, p, r, 0, 0x5, 0x02);
        }
    }
    return module;
}

ModSong vibratoModule()
{
    ModSong module = bandModule();
    module.title = "vibrato";
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            const int phase = r % 16;
            // Vibrato on the lead, with a different waveform in each pattern.
            if (r == 0) {
                effect(module, p, r, 0, 0xE, 0x40 | p);
            } else if (phase >= 2 && phase < 8) {
                effect(module, p, r, 0, 0x4, phase == 2 ? 0x46 : 0x00);
            } else if (phase >= 8 && phase < 12) {
                effect(module, p, r, 0, 0x6, 0x01);
            } else if (phase >= 12) {
                effect(module, p, r, 0, 0x4, 0x83);
            }
            // Tremolo on the pad.
            if (r == 0) {
                effect(module, p, r, 2, 0xE, 0x70 | (2 - p));
            } else if (r % 4 != 0) {
                effect(module, p, r, 2, 0x7, r % 4 == 1 ? 0x48 : 0x00);
            }
        }
    }
    return module;
}

ModSong volumeModule()
{
    ModSong module = bandModule();
    module.title = "volume";
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            const int phase = r % 16;
            // Set volumes, slides and fine slides on the lead.
            if (phase == 0) {
                effect(module, p, r, 0, 0xC, 0x30 + p * 8);
            } else if (phase == 1 || phase == 3) {
                effect(module, p, r, 0, 0xA, 0x04);
            } else if (phase == 6 || phase == 7) {
                effect(module, p, r, 0, 0xE, 0xA6);
            } else if (phase == 9) {
                effect(module, p, r, 0, 0xA, 0x30);
            } else if (phase == 11) {
                effect(module, p, r, 0, 0xE, 0xB8);
            } else if (phase == 14) {
                effect(module, p, r, 0, 0xE, 0xC3);
            }
            // Note cut and delay on the pad.
            if (phase == 4) {
                effect(module, p, r, 2, 0xE, 0xC2);
            } else if (phase == 8) {
                effect(module, p, r, 2, 0xE, 0xD3);
            }
            // Sample offset on the snare and kick, retrigger on the hats.
            const int drum = module.cell(p, r, 3).sample;
            if (drum == snare && phase == 12) {
                effect(module, p, r, 3, 0x9, 0x03);
            } else if (drum == kick && phase == 10) {
                effect(module, p, r, 3, 0x9, 0x04);
            } else if (drum == hat && phase == 15) {
                effect(module, p, r, 3, 0xE, 0x92);
            }
        }
    }
    return module;
}

ModSong tempoModule()
{
    ModSong module = bandModule();
    module.title = "tempo";
    // Speeds and tempos that change inside patterns, and pattern delays.
    const struct {
        int pattern, row, parameter;
    } changes[] = {
        {0, 0, 0x06}, {0, 0, 0x7D}, {0, 32, 0x04}, {0, 48, 0x96}, {1, 0, 0x05}, {1, 16, 0xB4},
        {1, 32, 0x08}, {1, 33, 0x64}, {2, 0, 0x03}, {2, 0, 0x50}, {2, 32, 0x06}, {2, 48, 0xC8},
    };
    for (const auto& change : changes) {
        // Two changes on one row go to two channels.
        const int channel = module.cell(change.pattern, change.row, 1).effect == 0xF ? 2 : 1;
        effect(module, change.pattern, change.row, channel, 0xF, change.parameter);
    }
    effect(module, 0, 20, 0, 0xE, 0xE2);
    effect(module, 1, 44, 0, 0xE, 0xE1);
    effect(module, 2, 8, 0, 0xE, 0xE3);
    return module;
}

ModSong flowModule()
{
    ModSong module = bandModule(5);
    module.title = "flow";
    module.songLength = 5;
    // Pattern 0 repeats rows 16 to 31 twice more.
    effect(module, 0, 16, 0, 0xE, 0x60);
    effect(module, 0, 31, 0, 0xE, 0x62);
    // Pattern 1 breaks at row 40 to row 10 of the next pattern.
    effect(module, 1, 40, 1, 0xD, 0x10);
    // Pattern 2 jumps from row 24 past order 3 to order 4 and its row 8, on one row.
    effect(module, 2, 24, 1, 0xB, 0x04);
    effect(module, 2, 24, 2, 0xD, 0x08);
    // Pattern 4 loops rows 16 to 23 once, then ends the song with a break at row 48.
    effect(module, 4, 16, 0, 0xE, 0x60);
    effect(module, 4, 23, 0, 0xE, 0x61);
    effect(module, 4, 48, 1, 0xD, 0x00);
    return module;
}

ModSong eightModule()
{
    ModSong module = makeEmptySong(8, 3);
    module.title = "eight";
    addInstruments(module);
    addMelody(module, 0, lead, 12);
    addMelody(module, 1, organ, 12, 4);
    addBass(module, 2, bass, 0);
    addPad(module, 3, pad, 12, 0);
    addPad(module, 4, pad, 12, 1);
    addPad(module, 5, organ, 12, 2);
    addDrums(module, 6);
    addMelody(module, 7, pluck, 0, 8);
    // Panning settings on a few channels.
    effect(module, 0, 0, 3, 0x8, 0x40);
    effect(module, 0, 0, 4, 0x8, 0xC0);
    effect(module, 1, 0, 5, 0x8, 0x80);
    return module;
}

// Every channel's volume is lowered so that a sum of many channels stays clear of clipping.
void quieten(ModSong& module, int volume)
{
    for (int p = 0; p < module.patternCount; ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            for (int c = 0; c < module.channels; ++c) {
                ModCell& cell = module.cell(p, r, c);
                if (cell.sample != 0 && cell.effect == 0 && cell.parameter == 0) {
                    effect(module, p, r, c, 0xC, volume);
                }
            }
        }
    }
}

} // namespace

ModSong busyModule(int channels, int patterns)
{
    ModSong module = makeEmptySong(channels, patterns);
    addInstruments(module);
    for (int c = 0; c < channels; ++c) {
        const int group = c / 4;
        switch (c % 4) {
        case 0: addMelody(module, c, group % 2 == 0 ? lead : pluck, 12 - (group % 2) * 12, 2 + group % 3); break;
        case 1: addBass(module, c, group % 2 == 0 ? bass : organ, group % 2 == 0 ? 0 : 12); break;
        case 2: addPad(module, c, group % 2 == 0 ? pad : organ, 12, group); break;
        default: addDrums(module, c); break;
        }
    }
    if (channels > 8) {
        quieten(module, 64 * 6 / channels);
    }
    return module;
}

std::vector<TestModule> comparisonModules()
{
    ModSong many = busyModule(32, 3);
    many.title = "thirty-two";
    // tests/sound/CMakeLists.txt reads the names from this table, one comparison test
    // each: each entry begins with its name in quotes, and nothing else in the function
    // may look so.
    return {
        {"melody", melodyModule()},
        {"arpeggio", arpeggioModule()},
        {"portamento", portamentoModule()},
        {"vibrato", vibratoModule()},
        {"volume", volumeModule()},
        {"tempo", tempoModule()},
        {"flow", flowModule()},
        {"eight", eightModule()},
        {"thirty_two", many},
    };
}
