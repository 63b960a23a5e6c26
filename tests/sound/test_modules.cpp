#include "tests/sound/test_modules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "tests/sound/it_writer.h"
#include "tests/sound/module_parts.h"
#include "tests/sound/s3m_writer.h"
#include "tests/sound/xm_writer.h"
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
    Noise noise(12345);
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

namespace {

// The modules of the PC trackers' formats play the ProTracker modules' band: the same
// samples, notes and groove, with each format's own effects laid over it.

// Our note for a semitone of the ProTracker modules (0 = C-1): their C-2 plays a sample
// at about its base rate, as our C-5 does.
int pcNote(int semitone)
{
    return 49 + semitone;
}

// A ProTracker sample as 8-bit data of another format, played at 8,363 Hz at C-5.
Sample pcSample(const ModSample& source)
{
    Sample sample;
    sample.name = source.name;
    sample.volume = source.volume;
    for (std::int8_t value : source.data) {
        sample.data.push_back(static_cast<std::int16_t>(value * 256));
    }
    if (source.looped()) {
        sample.loop = LoopMode::Forward;
        sample.loopStart = source.loopStart;
        sample.loopEnd = source.loopStart + source.loopLength;
    }
    return sample;
}

// A looped sample of `frames` frames from a wave of -1 to 1 for each of its `channels`
// (left, then right), kept to 8 bits unless `sixteenBit`.
Sample wideSample(const char* name, int frames, int volume, bool sixteenBit, int channels,
                  const std::function<double(int frame, int channel)>& wave)
{
    Sample sample;
    sample.name = name;
    sample.volume = volume;
    sample.sixteenBit = sixteenBit;
    sample.channels = channels;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double value = std::fmax(-1.0, std::fmin(1.0, wave(i, c)));
            const long scaled = std::lround(value * 32000.0);
            sample.data.push_back(static_cast<std::int16_t>(sixteenBit ? scaled : scaled / 256 * 256));
        }
    }
    sample.loop = LoopMode::Forward;
    sample.loopEnd = static_cast<std::uint32_t>(frames);
    return sample;
}

// The ProTracker band of `patterns` patterns (bandModule) in another format: lead, bass,
// pad and drums on the first four of `channels` channels, the cells naming the samples
// by their ProTracker numbers, no effects yet.
Module pcBand(ModuleFormat format, int channels, int patterns)
{
    const ModSong band = bandModule(patterns);
    Module module;
    module.format = format;
    module.channels = channels;
    module.initialSpeed = 5;
    module.initialTempo = 150;
    for (int p = 0; p < patterns; ++p) {
        module.orders.push_back(static_cast<std::uint16_t>(p));
        Pattern pattern;
        pattern.rows = ModSong::rowsPerPattern;
        pattern.cells.resize(static_cast<std::size_t>(pattern.rows * channels));
        for (int r = 0; r < pattern.rows; ++r) {
            for (int c = 0; c < band.channels; ++c) {
                const ModCell& source = band.cell(p, r, c);
                if (source.period == 0) {
                    continue;
                }
                const int semitone =
                    static_cast<int>(std::find(periodTable, periodTable + 36, source.period) - periodTable);
                Cell& cell = pattern.cell(r, c, channels);
                cell.note = static_cast<std::uint8_t>(pcNote(semitone));
                cell.instrument = source.sample;
            }
        }
        module.patterns.push_back(pattern);
    }
    for (int i = 0; i < organ; ++i) {
        module.samples.push_back(pcSample(band.samples[static_cast<std::size_t>(i)]));
    }
    // Lead and pad a little to the left, bass and drums to the right, and so on.
    for (int c = 0; c < channels; ++c) {
        ChannelSettings settings;
        settings.panning = c % 2 == 0 ? 80 : 176;
        module.channelSettings.push_back(settings);
    }
    return module;
}

// A counter-melody of the chords' tones, one note every `everyRows` rows, `octaves`
// above the pad.
void addCounterMelody(Module& module, int channel, int instrument, int everyRows, int octaves)
{
    for (int p = 0; p < static_cast<int>(module.patterns.size()); ++p) {
        for (int r = 0; r < module.patterns[static_cast<std::size_t>(p)].rows; r += everyRows) {
            const int tone = (r / everyRows + p) % 3;
            put(module, p, r, channel, pcNote(12 + 12 * octaves + chordTone(chordAt(p, r), tone)), instrument);
        }
    }
}

// The band as a Scream Tracker 3.20 module: the version that the writer names, by whose
// rules the peer plays the file.
Module s3mModule(int channels)
{
    Module module = pcBand(ModuleFormat::S3m, channels, 2);
    module.createdWith = 0x1320;
    return module;
}

// Calls `each` for every row of the module's patterns in order, with where the row stands
// (its bar, of the 64-row patterns' four 16-row bars counted on through the song, and its
// phase in the bar) and whether a note strikes on the lead there.
void forEachRow(const Module& module, const std::function<void(int p, int r, int bar, int phase, bool struck)>& each)
{
    for (int p = 0; p < static_cast<int>(module.patterns.size()); ++p) {
        for (int r = 0; r < ModSong::rowsPerPattern; ++r) {
            each(p, r, p * 4 + r / 16, r % 16, module.cell(p, r, 0).note != noteNone);
        }
    }
}

// A change to the song's pace or volume: an effect in the bass's channel.
struct SongChange {
    int pattern, row;
    Effect command;
    int parameter;
};

void changeSong(Module& module, std::initializer_list<SongChange> changes)
{
    for (const SongChange& change : changes) {
        effect(module, change.pattern, change.row, 1, change.command, change.parameter);
    }
}

// The lead glides to each of a bar's notes but the first by tone portamento (`command`
// at `speed`), and goes on gliding between them.
void glideToNotes(Module& module, int p, int r, int phase, bool struck, Effect command, int speed)
{
    if (struck && phase != 0) {
        module.cell(p, r, 0).instrument = 0;
        effect(module, p, r, 0, command, speed);
    } else if (!struck) {
        effect(module, p, r, 0, command, 0x00);
    }
}

// The lead's vibrato (H) with K between its notes in the bar's first half, then tone
// portamento (G) to its notes with L between them: K and L go on with H's and G's last
// parameters.
void volumeSlidesAfterVibratoAndGlide(Module& module, int p, int r, int phase, bool struck)
{
    if (phase < 8) {
        effect(module, p, r, 0, struck ? Effect::VibratoS3m : Effect::VibratoVolumeS3m, struck ? 0x56 : 0x02);
    } else if (struck && phase != 8) {
        module.cell(p, r, 0).instrument = 0;
        effect(module, p, r, 0, Effect::TonePortamentoS3m, 0x20);
    } else if (!struck) {
        effect(module, p, r, 0, Effect::TonePortamentoVolumeS3m, 0x01);
    }
}

// The bass glides by tone portamento (`command`) into its octave and back.
void glideBass(Module& module, int p, int r, int phase, Effect command)
{
    if (phase == 8 || phase == 14) {
        module.cell(p, r, 1).instrument = 0;
        effect(module, p, r, 1, command, phase == 8 ? 0x40 : 0x18);
    }
}

// Pitch: portamento (plain, fine and extra fine, E00 taking F's parameter), tone
// portamento, vibrato and fine vibrato with their waveforms, K and L after H and G,
// arpeggio and sample offset on the lead; slides on the bass; a 16-bit and a stereo
// sample on the fifth channel.
Module s3mPitchModule()
{
    Module module = s3mModule(5);
    module.title = "s3m pitch";
    const int wideOrgan = static_cast<int>(module.samples.size()) + 1;
    const int stereoPad = wideOrgan + 1;
    module.samples.push_back(wideSample("organ 16-bit", 64, 40, true, 1, [](int i, int) {
        const double phase = 2.0 * pi * i / 64.0;
        return 0.5 * std::sin(phase) + 0.3 * std::sin(3.0 * phase) + 0.1 * std::sin(5.0 * phase);
    }));
    module.samples.push_back(wideSample("stereo pad", 64, 36, false, 2, [](int i, int c) {
        return c == 0 ? (i % 64) / 40.0 - 0.8 : 0.7 * std::sin(2.0 * pi * i / 32.0);
    }));
    addCounterMelody(module, 4, wideOrgan, 4, 0);
    for (int r = 0; r < 64; ++r) {
        if (module.cell(1, r, 4).instrument != 0) {
            module.cell(1, r, 4).instrument = static_cast<std::uint8_t>(stereoPad);
        }
    }
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0:   // up and down between the notes, E00 with F's parameter
            if (phase % 4 == 1) {
                effect(module, p, r, 0, Effect::PortamentoUpS3m, 0x05);
            } else if (phase % 4 == 3) {
                effect(module, p, r, 0, Effect::PortamentoDownS3m, 0x00);
            }
            break;
        case 1:   // fine and extra fine, on notes and between them
            if (phase % 2 == 1) {
                effect(module, p, r, 0, phase % 4 == 1 ? Effect::PortamentoUpS3m : Effect::PortamentoDownS3m,
                       phase < 8 ? 0xF3 : 0xE9);
            } else if (struck && phase % 8 == 4) {
                effect(module, p, r, 0, Effect::PortamentoDownS3m, 0xF2);
            }
            break;
        case 2:   // tone portamento to the notes, held between them
            glideToNotes(module, p, r, phase, struck, Effect::TonePortamentoS3m, phase < 8 ? 0x18 : 0x40);
            break;
        case 3:   // vibrato, sine then square
        case 4:   // fine vibrato, ramp down then sine
            if (phase == 0 || phase == 8) {
                const int waveform = bar == 3 ? (phase == 0 ? 0 : 2) : (phase == 0 ? 1 : 0);
                effect(module, p, r, 0, Effect::Special, 0x30 | waveform);
            } else {
                const int parameter = phase == 1 ? 0x46 : phase == 9 ? 0x8C : 0x00;
                effect(module, p, r, 0, bar == 3 ? Effect::VibratoS3m : Effect::FineVibrato, parameter);
            }
            break;
        case 5:   // K after H, then L after G
            volumeSlidesAfterVibratoAndGlide(module, p, r, phase, struck);
            break;
        case 6:   // arpeggio on every row, J00 going on with the last
            effect(module, p, r, 0, Effect::ArpeggioS3m, phase == 0 ? 0x37 : phase == 8 ? 0x47 : 0x00);
            break;
        default:  // the plucked sample from offsets, O00 taking the last
            if (struck) {
                module.cell(p, r, 0).instrument = pluck;
                static constexpr int offsets[3] = {0x02, 0x04, 0x00};
                effect(module, p, r, 0, Effect::SampleOffsetS3m, offsets[phase / 2 % 3]);
            }
            break;
        }
        // The bass slides down after each note and up again after its octave.
        const struct {
            int phase;
            Effect command;
            int parameter;
        } bassSlides[] = {
            {1, Effect::PortamentoDownS3m, 0x02}, {2, Effect::PortamentoDownS3m, 0x00},
            {9, Effect::PortamentoUpS3m, 0x03},   {10, Effect::PortamentoUpS3m, 0xF2},
            {11, Effect::PortamentoUpS3m, 0x00},  {12, Effect::PortamentoDownS3m, 0xE4},
        };
        for (const auto& slide : bassSlides) {
            if (slide.phase == phase) {
                effect(module, p, r, 1, slide.command, slide.parameter);
            }
        }
    });
    return module;
}

// Volume and time: volume slides (plain, fine, D00) and the memory that D, E, F and K
// share, note delay and cut, retrigger and tremor on the lead; tremolo on the pad,
// tremor on the organ, retriggered and cut drums; tempo, speed, pattern loop and delay,
// global volume.
Module s3mVolumeModule()
{
    Module module = s3mModule(5);
    module.title = "s3m volume";
    addCounterMelody(module, 4, organ, 4, 1);
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0: {   // set volumes, slides, D00
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::Volume, phase % 8 == 0 ? 48 : 32);
            }
            static constexpr int slides[16] = {-1, 0x04, -1, 0x00, -1, 0x00, -1, -1,
                                               -1, 0x40, -1, 0x00, -1, 0x02, -1, -1};
            if (slides[phase] >= 0) {
                effect(module, p, r, 0, Effect::VolumeSlideS3m, slides[phase]);
            }
            break;
        }
        case 1:     // fine slides, D00 repeating the fine one
            if (struck) {
                effect(module, p, r, 0, Effect::VolumeSlideS3m, 0xF4);
            } else {
                effect(module, p, r, 0, Effect::VolumeSlideS3m, phase % 4 == 1 ? 0x3F : 0x00);
            }
            break;
        case 2: {   // E00 and F00 after D, D00 after F
            static constexpr struct {
                Effect command;
                int parameter;
            } shared[8] = {
                {Effect::VolumeSlideS3m, 0x02}, {Effect::PortamentoDownS3m, 0x00}, {Effect::PortamentoUpS3m, 0x00},
                {Effect::VolumeSlideS3m, 0x00}, {Effect::PortamentoUpS3m, 0x04}, {Effect::VolumeSlideS3m, 0x00},
                {Effect::PortamentoDownS3m, 0x00}, {Effect::VolumeSlideS3m, 0x20},
            };
            if (phase % 2 == 1) {
                effect(module, p, r, 0, shared[phase / 2].command, shared[phase / 2].parameter);
            }
            break;
        }
        case 3: {   // K00 after H and D
            static constexpr struct {
                Effect command;
                int parameter;
            } after[8] = {
                {Effect::VibratoS3m, 0x46}, {Effect::VolumeSlideS3m, 0x03}, {Effect::VibratoVolumeS3m, 0x00},
                {Effect::VibratoVolumeS3m, 0x00}, {Effect::VolumeSlideS3m, 0x30}, {Effect::VibratoVolumeS3m, 0x00},
                {Effect::VibratoS3m, 0x00}, {Effect::VibratoVolumeS3m, 0x00},
            };
            if (phase % 2 == 1) {
                effect(module, p, r, 0, after[phase / 2].command, after[phase / 2].parameter);
            }
            break;
        }
        case 4:     // note delay and note cut; Scream Tracker ignores SC0
            if (struck && phase % 4 == 2) {
                effect(module, p, r, 0, Effect::Special, phase % 8 == 2 ? 0xD2 : 0xD4);
            } else if (struck && phase % 8 == 4) {
                effect(module, p, r, 0, Effect::Special, phase == 4 ? 0xC3 : 0xC0);
            }
            break;
        case 5:     // retrigger, Q00 going on between the notes
            effect(module, p, r, 0, Effect::RetriggerS3m, phase == 0 ? 0x02 : phase == 8 ? 0xA3 : 0x00);
            if (struck && phase == 4) {
                effect(module, p, r, 0, Effect::RetriggerS3m, 0x63);
            }
            break;
        case 6:     // tremor, I00 going on
            effect(module, p, r, 0, Effect::TremorS3m, phase == 0 ? 0x21 : phase == 8 ? 0x13 : 0x00);
            break;
        default:    // a loud note faded by slides
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::Volume, 64);
            } else {
                effect(module, p, r, 0, Effect::VolumeSlideS3m, 0x08);
            }
            break;
        }
        // Tremolo on the pad, a new waveform each bar.
        if (phase == 0) {
            effect(module, p, r, 2, Effect::Special, 0x40 | bar % 3);
        } else if (r % 4 != 0) {
            effect(module, p, r, 2, Effect::TremoloS3m, r % 4 == 1 ? 0x48 + bar % 2 * 0x20 : 0x00);
        }
        // The organ's counter-melody under tremor in the first pattern.
        if (p == 0) {
            effect(module, p, r, 4, Effect::TremorS3m, r % 4 == 0 ? 0x31 : 0x00);
        }
        // Hats retriggered at the end of each bar, snares cut short.
        const int drum = module.cell(p, r, 3).instrument;
        if (drum == hat && phase == 15) {
            effect(module, p, r, 3, Effect::RetriggerS3m, 0x12);
        } else if (drum == snare && phase == 12) {
            effect(module, p, r, 3, Effect::Special, 0xC2);
        }
    });
    // The song's pace and volume.
    changeSong(module, {
        {0, 24, Effect::Special, 0xE2},       {0, 32, Effect::SetTempo, 0x78},  {0, 40, Effect::Special, 0xB0},
        {0, 47, Effect::Special, 0xB1},       {0, 48, Effect::SetSpeed, 0x06},  {1, 0, Effect::GlobalVolumeS3m, 0x20},
        {1, 8, Effect::GlobalVolumeS3m, 0x30}, {1, 16, Effect::SetTempo, 0xA0}, {1, 17, Effect::GlobalVolumeS3m, 0x40},
        {1, 40, Effect::Special, 0xE1},       {1, 56, Effect::SetSpeed, 0x04},
    });
    return module;
}

// A key-off (or IT's note fade or cut) in the cell, leaving its effect.
void release(Module& module, int pattern, int row, int channel, int note = noteOff)
{
    Cell& cell = module.cell(pattern, row, channel);
    cell.note = static_cast<std::uint8_t>(note);
    cell.instrument = 0;
}

// The band as a FastTracker 2 module with an instrument for each sample, which the
// modules shape. The pad's sample becomes a ping-pong loop over half of its wave; the
// organ's is stored at half its length, an octave up, and played back down by its
// relative note; the pad, pluck and organ are detuned by finetunes.
Module xmModule(int channels, bool linear)
{
    Module module = pcBand(ModuleFormat::Xm, channels, 2);
    module.linearSlides = linear;
    Sample& padSample = module.samples[static_cast<std::size_t>(pad - 1)];
    padSample.data.resize(17);
    padSample.loop = LoopMode::PingPong;
    padSample.loopStart = 0;
    padSample.loopEnd = 17;
    padSample.finetune = 40;
    Sample& organSample = module.samples[static_cast<std::size_t>(organ - 1)];
    std::vector<std::int16_t> half;
    for (std::size_t i = 0; i < organSample.data.size(); i += 2) {
        half.push_back(organSample.data[i]);
    }
    organSample.data = half;
    organSample.loopEnd = static_cast<std::uint32_t>(half.size());
    organSample.relativeNote = -12;
    organSample.finetune = -24;
    module.samples[static_cast<std::size_t>(pluck - 1)].finetune = -64;
    module.samples[static_cast<std::size_t>(pluck - 1)].relativeNote = 1;
    for (std::size_t i = 0; i < module.samples.size(); ++i) {
        module.instruments.push_back(instrumentOf(module.samples[i].name, static_cast<int>(i) + 1));
    }
    return module;
}

// A 16-bit bass in place of the band's 8-bit one: a saw of 64 frames a cycle.
void wideBass(Module& module)
{
    module.samples[static_cast<std::size_t>(bass - 1)] =
        wideSample("bass 16-bit", 256, 64, true, 1, [](int i, int) { return (i % 64) / 36.0 - 0.875; });
}

// Fine (E1x, E2x) and extra fine (X1x, X2x) portamento on the lead through a bar, on and
// between its notes, with their memories (E10, E20).
void finePortamentoXm(Module& module, int p, int r, int phase)
{
    static constexpr int fine[16] = {-1, 0x13, 0x1A, 0x25, -1, 0x10, 0x26, 0x20,
                                     -1, 0x14, 0x1F, 0x27, -1, 0x10, 0x2F, 0x20};
    if (fine[phase] >= 0) {
        effect(module, p, r, 0, phase % 2 == 1 ? Effect::Extended : Effect::ExtraFinePortamento, fine[phase]);
    }
}

// Instruments: volume envelopes with a sustain point (the lead's, released by key-offs
// in the pattern and by Kxx, then fading out), with a loop (the bass's, with a looped
// panning envelope), with both (the pluck's); Lxx; the pad's auto-vibrato with its
// sweep, on a ping-pong loop; key-offs that stop the organ, which has no envelope;
// every command of the volume column; a 16-bit sample, relative notes and finetunes.
Module xmInstrumentsModule()
{
    Module module = xmModule(5, true);
    module.title = "xm instruments";
    wideBass(module);
    auto instrument = [&module](int number) -> Instrument& {
        return module.instruments[static_cast<std::size_t>(number - 1)];
    };
    instrument(lead).volumeEnvelope = sustained(envelope({{0, 0}, {3, 64}, {10, 40}, {30, 24}, {50, 0}}), 2, 2);
    instrument(lead).fadeout = 4096;
    instrument(bass).volumeEnvelope = looped(envelope({{0, 64}, {8, 36}, {16, 64}}), 0, 2);
    instrument(bass).panningEnvelope = looped(envelope({{0, -24}, {12, 24}, {24, -24}}), 0, 2);
    instrument(pad).volumeEnvelope = sustained(envelope({{0, 32}, {6, 64}, {20, 48}, {60, 0}}), 2, 2);
    instrument(pad).fadeout = 1024;
    module.samples[static_cast<std::size_t>(pad - 1)].vibrato = AutoVibrato{0, 10, 8, 40};
    instrument(pluck).volumeEnvelope = sustained(looped(envelope({{0, 64}, {4, 40}, {8, 64}, {40, 16}}), 1, 2), 2, 2);
    instrument(pluck).fadeout = 2048;
    addCounterMelody(module, 4, organ, 4, 1);
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0:   // key-offs before the next note
            if (phase % 4 == 3) {
                release(module, p, r, 0);
            }
            break;
        case 1:   // key-offs on a later tick
            if (!struck) {
                effect(module, p, r, 0, Effect::KeyOff, phase % 4 == 1 ? 2 : 4);
            }
            break;
        case 2:   // into the envelope, before and past its sustain
            if (struck) {
                effect(module, p, r, 0, Effect::EnvelopePosition, phase % 8 == 0 ? 6 : 18);
            } else if (phase % 8 == 7) {
                release(module, p, r, 0);
            }
            break;
        case 3:   // the volume column's vibrato
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::VibratoSpeed, phase < 8 ? 6 : 12);
            } else {
                volume(module, p, r, 0, VolumeCommand::VibratoDepth, phase % 4 == 1 ? 8 : 0);
            }
            break;
        case 4: {  // its volumes and slides
            static constexpr VolumeCommand commands[4] = {
                VolumeCommand::VolumeSlideDown, VolumeCommand::FineVolumeUp,
                VolumeCommand::VolumeSlideUp, VolumeCommand::FineVolumeDown};
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::Volume, phase % 8 == 0 ? 56 : 36);
            } else {
                volume(module, p, r, 0, commands[phase / 2 % 4], phase < 8 ? 3 : 6);
            }
            break;
        }
        case 5:   // its panning and panning slides
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::Panning, phase % 8 == 0 ? 2 : 13);
            } else {
                volume(module, p, r, 0, phase % 4 == 1 ? VolumeCommand::PanningSlideRight
                                                       : VolumeCommand::PanningSlideLeft, 12);
            }
            break;
        case 6:   // its tone portamento
            if (struck && phase != 0) {
                module.cell(p, r, 0).instrument = 0;
                volume(module, p, r, 0, VolumeCommand::TonePortamento, phase < 8 ? 3 : 9);
            } else if (!struck) {
                volume(module, p, r, 0, VolumeCommand::TonePortamento, 0);
            }
            break;
        default:  // the pluck's looped envelope, released
            if (struck) {
                module.cell(p, r, 0).instrument = pluck;
            } else if (phase % 4 == 3) {
                release(module, p, r, 0);
            }
            break;
        }
        // The pad's notes released in the first pattern, the organ's stopped.
        if (p == 0 && r % 4 == 2) {
            release(module, p, r, 2);
        }
        if (r % 4 == 3) {
            release(module, p, r, 4);
        }
    });
    return module;
}

// Effects: fine and extra fine portamento, fine volume slides, retrigger and note cut,
// note delay and multi retrigger, arpeggio, vibrato and tremolo with their waveforms,
// tremor, tone portamento and vibrato with volume slides on the lead; panning slides on
// the pad; retriggered hats; global volume and its slides, speed, tempo, pattern loop
// and pattern delay.
Module xmEffectsModule()
{
    Module module = xmModule(5, true);
    module.title = "xm effects";
    addCounterMelody(module, 4, organ, 8, 1);
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        Effect command = Effect::None;
        int parameter = 0;
        switch (bar) {
        case 0:    // fine and extra fine portamento, and their memories
            finePortamentoXm(module, p, r, phase);
            break;
        case 1: {  // fine volume slides, retrigger, note cut
            static constexpr int extended[16] = {0x92, 0xB6, 0xC3, 0xA2, 0x93, 0xB4, 0xC2, 0xA0,
                                                 0x91, 0xB0, 0xC4, 0xA6, 0x92, 0xB3, 0xC1, 0xA3};
            command = Effect::Extended;
            parameter = extended[phase];
            break;
        }
        case 2:    // note delay, multi retrigger
            if (struck) {
                command = Effect::Extended;
                parameter = phase % 8 == 2 ? 0xD2 : phase % 8 == 6 ? 0xD3 : 0x00;
                if (phase % 4 == 0) {
                    command = Effect::Retrigger;
                    parameter = phase < 8 ? 0x83 : 0x32;
                }
            } else {
                command = Effect::Retrigger;
                parameter = phase % 4 == 1 ? 0x00 : 0xA2;
            }
            break;
        case 3:    // arpeggio
            command = Effect::Arpeggio;
            parameter = phase < 8 ? 0x37 : 0x47;
            break;
        case 4:    // vibrato, sine then ramp down
        case 5:    // tremolo, square then sine
            if (phase == 0 || phase == 8) {
                command = Effect::Extended;
                const int waveform = bar == 4 ? phase / 8 : 2 - phase / 4;
                parameter = (bar == 4 ? 0x40 : 0x70) | waveform;
            } else {
                command = bar == 4 ? Effect::Vibrato : Effect::Tremolo;
                parameter = phase == 1 ? 0x46 : phase == 9 ? 0x8C : 0x00;
            }
            break;
        case 6:    // tremor, its parameter remembered
            command = Effect::Tremor;
            parameter = phase == 0 ? 0x21 : phase == 8 ? 0x12 : 0x00;
            break;
        default:   // tone portamento and vibrato, with volume slides
            if (phase == 1) {
                // A new note: the tremor has left the note before it silent.
                put(module, p, r, 0, pcNote(24 + chordRoots[chordAt(p, r)]), lead);
            } else if (phase < 8) {
                if (struck && phase != 0) {
                    module.cell(p, r, 0).instrument = 0;
                    command = Effect::TonePortamento;
                    parameter = 0x30;
                } else if (!struck) {
                    command = Effect::TonePortamentoVolume;
                    parameter = 0x02;
                }
            } else {
                command = struck ? Effect::Vibrato : Effect::VibratoVolume;
                parameter = struck ? 0x58 : 0x20;
            }
            break;
        }
        if (command != Effect::None) {
            effect(module, p, r, 0, command, parameter);
        }
        // The pad's panning: set at each bar, slid right and left.
        if (phase == 0) {
            effect(module, p, r, 2, Effect::Panning, bar % 2 == 0 ? 0x30 : 0xD0);
        } else if (r % 4 != 0) {
            effect(module, p, r, 2, Effect::PanningSlide, bar % 2 == 0 ? 0x60 : 0x06);
        }
        // Hats retriggered at the end of each bar, quieter each time.
        if (module.cell(p, r, 3).instrument == hat && phase == 15) {
            effect(module, p, r, 3, Effect::Retrigger, 0x22);
        }
    });
    // The song's pace and volume.
    changeSong(module, {
        {0, 16, Effect::GlobalVolume, 0x20},      {0, 18, Effect::GlobalVolumeSlide, 0x20},
        {0, 24, Effect::Extended, 0xE2},          {0, 32, Effect::SpeedTempo, 0x78},
        {0, 40, Effect::Extended, 0x60},          {0, 47, Effect::Extended, 0x61},
        // After a pattern loop, FastTracker 2 starts the next pattern at the loop's first
        // row unless a break says otherwise.
        {0, 63, Effect::PatternBreak, 0x00},      {1, 0, Effect::SpeedTempo, 0x05},
        {1, 20, Effect::GlobalVolumeSlide, 0x03}, {1, 28, Effect::GlobalVolume, 0x40},
        {1, 40, Effect::SpeedTempo, 0xA0},        {1, 48, Effect::Extended, 0xE1},
        {1, 56, Effect::SpeedTempo, 0x04},
    });
    return module;
}

// Amiga frequencies: portamento (plain, fine, extra fine, with their memories), tone
// portamento, vibrato, arpeggio, the volume column's tone portamento and vibrato, and a
// finetune set by E5x on the lead; glides on the bass; the detuned pad, pluck and organ.
Module xmAmigaModule()
{
    Module module = xmModule(5, false);
    module.title = "xm amiga";
    wideBass(module);
    addCounterMelody(module, 4, organ, 4, 1);
    for (int r = 0; r < 64; ++r) {
        if (module.cell(1, r, 4).instrument != 0) {
            module.cell(1, r, 4).instrument = pluck;
        }
    }
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0:   // up and down, 100 and 200 going on with the last
            if (!struck) {
                effect(module, p, r, 0, phase % 4 == 1 ? Effect::PortamentoUp : Effect::PortamentoDown,
                       phase % 8 < 4 ? 0x06 : 0x00);
            }
            break;
        case 1:   // fine and extra fine
            finePortamentoXm(module, p, r, phase);
            break;
        case 2:   // tone portamento, 300 going on
            glideToNotes(module, p, r, phase, struck, Effect::TonePortamento, phase < 8 ? 0x10 : 0x28);
            break;
        case 3:   // vibrato, 400 going on
            effect(module, p, r, 0, Effect::Vibrato, phase == 1 ? 0x48 : phase == 9 ? 0x6C : 0x00);
            break;
        case 4:   // arpeggio
            effect(module, p, r, 0, Effect::Arpeggio, phase < 8 ? 0x47 : 0x38);
            break;
        case 5:   // tone portamento and vibrato with volume slides
            if (phase < 8 && struck && phase != 0) {
                module.cell(p, r, 0).instrument = 0;
                effect(module, p, r, 0, Effect::TonePortamento, 0x20);
            } else if (phase < 8 && !struck) {
                effect(module, p, r, 0, Effect::TonePortamentoVolume, 0x01);
            } else if (phase >= 8) {
                effect(module, p, r, 0, struck ? Effect::Vibrato : Effect::VibratoVolume, struck ? 0x46 : 0x01);
            }
            break;
        case 6:   // the volume column's tone portamento and vibrato
            if (struck && phase != 0 && phase < 8) {
                module.cell(p, r, 0).instrument = 0;
                volume(module, p, r, 0, VolumeCommand::TonePortamento, 4);
            } else if (phase < 8 && !struck) {
                volume(module, p, r, 0, VolumeCommand::TonePortamento, 0);
            } else if (phase >= 8) {
                volume(module, p, r, 0, struck ? VolumeCommand::VibratoSpeed : VolumeCommand::VibratoDepth,
                       struck ? 10 : 6);
            }
            break;
        default:  // notes detuned by E5x
            if (struck) {
                effect(module, p, r, 0, Effect::Extended, 0x50 | (phase / 2 % 4 * 4 + 2));
            }
            break;
        }
        glideBass(module, p, r, phase, Effect::TonePortamento);
    });
    return module;
}

// The band as an Impulse Tracker module in instrument mode, an instrument for each
// sample.
Module itModule(int channels, bool linear)
{
    Module module = pcBand(ModuleFormat::It, channels, 2);
    module.linearSlides = linear;
    for (std::size_t i = 0; i < module.samples.size(); ++i) {
        module.instruments.push_back(instrumentOf(module.samples[i].name, static_cast<int>(i) + 1));
    }
    return module;
}

// Instruments: volume envelopes with a sustain loop (the lead's, released by note-offs,
// fades and the notes that follow under its new-note action "note off"), looped pitch
// and panning envelopes that carry on from note to note (the bass's), the pad's "continue"
// with its duplicates faded, choked hats, a snare that fades; past-note actions,
// new-note actions and envelope switches set by S7x; a sample whose sustain loop a
// note-off releases into its tail; the organ's sample vibrato and resonant filter;
// samples stored compressed.
Module itInstrumentsModule()
{
    Module module = itModule(5, true);
    module.title = "it instruments";
    auto instrument = [&module](int number) -> Instrument& {
        return module.instruments[static_cast<std::size_t>(number - 1)];
    };
    Instrument& leadInstrument = instrument(lead);
    leadInstrument.volumeEnvelope = sustained(envelope({{0, 0}, {2, 64}, {8, 36}, {14, 56}, {40, 0}}), 2, 3);
    leadInstrument.fadeout = 1024;
    leadInstrument.newNoteAction = NewNoteAction::NoteOff;
    Instrument& bassInstrument = instrument(bass);
    bassInstrument.pitchEnvelope = looped(envelope({{0, 0}, {6, 2}, {12, 0}, {18, -2}, {24, 0}}), 0, 4);
    bassInstrument.pitchEnvelope.carry = true;
    bassInstrument.panningEnvelope = looped(envelope({{0, -20}, {16, 20}, {32, -20}}), 0, 2);
    bassInstrument.panningEnvelope.carry = true;
    Instrument& padInstrument = instrument(pad);
    padInstrument.volumeEnvelope = envelope({{0, 48}, {4, 64}, {30, 32}, {90, 0}});
    padInstrument.newNoteAction = NewNoteAction::Continue;
    padInstrument.duplicateCheck = DuplicateCheck::Note;
    padInstrument.duplicateAction = DuplicateAction::NoteFade;
    padInstrument.fadeout = 2048;
    instrument(kick).newNoteAction = NewNoteAction::Continue;
    instrument(hat).newNoteAction = NewNoteAction::Continue;
    instrument(hat).duplicateCheck = DuplicateCheck::Sample;
    instrument(hat).duplicateAction = DuplicateAction::Cut;
    instrument(snare).newNoteAction = NewNoteAction::NoteFade;
    instrument(snare).fadeout = 4096;
    instrument(snare).duplicateCheck = DuplicateCheck::Instrument;
    instrument(snare).duplicateAction = DuplicateAction::NoteOff;
    // The pluck holds its attack's last cycle in a sustain loop until released, then
    // plays its tail to the end.
    Sample& pluckSample = module.samples[static_cast<std::size_t>(pluck - 1)];
    pluckSample.sustainLoop = LoopMode::Forward;
    pluckSample.sustainStart = pluckSample.loopStart;
    pluckSample.sustainEnd = pluckSample.loopEnd;
    pluckSample.loop = LoopMode::None;
    for (int i = 0; i < 3000; ++i) {
        pluckSample.data.push_back(pluckSample.data[pluckSample.sustainStart + static_cast<std::size_t>(i % 64)] *
                                   (3000 - i) / 3000);
    }
    instrument(pluck).newNoteAction = NewNoteAction::NoteOff;
    Instrument& organInstrument = instrument(organ);
    module.samples[static_cast<std::size_t>(organ - 1)].vibrato = AutoVibrato{0, 12, 10, 6};
    organInstrument.filterCutoff = 70;
    organInstrument.filterResonance = 60;
    addCounterMelody(module, 4, organ, 4, 1);

    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 1:   // released by note-offs, fades and cuts between the notes
            if (phase % 4 == 3) {
                static constexpr int endings[4] = {noteOff, noteFade, noteOff, noteCut};
                release(module, p, r, 0, endings[phase / 4]);
            }
            break;
        case 2:   // past-note actions on the background notes, new-note actions
            if (!struck) {
                static constexpr int pastActions[4] = {0x71, 0x72, 0x71, 0x70};
                if (phase % 4 == 3) {
                    effect(module, p, r, 0, Effect::Special, pastActions[phase / 4]);
                }
            } else {
                static constexpr int newActions[4] = {0x73, 0x74, 0x75, 0x76};
                effect(module, p, r, 0, Effect::Special, newActions[phase / 4]);
            }
            break;
        case 3:   // the volume envelope switched off and on again
            if (struck) {
                effect(module, p, r, 0, Effect::Special, phase % 8 == 0 ? 0x77 : 0x78);
            }
            break;
        case 4:   // the pluck, released by note-offs into its tail
        case 5:
            if (struck) {
                module.cell(p, r, 0).instrument = pluck;
            } else if (phase % 4 == 1) {
                release(module, p, r, 0);
            }
            break;
        default:
            break;
        }
        // The bass's pitch and panning envelopes switched off and on.
        if (bar == 6 && module.cell(p, r, 1).note != noteNone) {
            effect(module, p, r, 1, Effect::Special, phase < 8 ? 0x7B : 0x7C);
        }
        // The pad plays each tone twice, the second one fading the first.
        if (r % 4 == 2) {
            const Cell& before = module.cell(p, r - 2, 2);
            put(module, p, r, 2, before.note, before.instrument);
        }
        // The organ's filter swept by Z, its resonance set by Z8x.
        if (r % 4 == 1) {
            effect(module, p, r, 4, Effect::MidiMacro, 0x18 + (r * 5 + p * 40) % 0x60);
        } else if (r % 16 == 2) {
            effect(module, p, r, 4, Effect::MidiMacro, 0x80 + r / 16 * 4 + p * 2);
        }
    });
    return module;
}

// A long sample for the sample offset's 64 kB steps: a tone of 100,000 frames whose
// timbre changes along it, from a square to a triangle and back.
Sample longSample()
{
    Sample sample = wideSample("long", 100000, 52, false, 1, [](int i, int) {
        const double shape = 0.5 + 0.5 * std::cos(2.0 * pi * i / 100000.0);
        const double phase = (i % 32) / 32.0;
        const double square = phase < 0.5 ? 0.6 : -0.6;
        const double triangle = phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
        return shape * square + (1.0 - shape) * 0.8 * triangle;
    });
    sample.loop = LoopMode::None;
    return sample;
}

// Effects: every command of the volume column, its portamentos and its tone
// portamento's table; channel volume and its slides; the sample offset past 64 kB with
// SAx; note delay and cut, retrigger, tremolo, tremor, panbrello, vibrato and fine
// vibrato with their waveforms, arpeggio on the lead; the organ's filter opened and
// closed by Z under the default macros; global volume and its slides, tempo slides,
// fine pattern delay, pattern loop and delay.
Module itEffectsModule()
{
    Module module = itModule(5, true);
    module.title = "it effects";
    module.samples.push_back(longSample());
    module.instruments.push_back(instrumentOf("long", static_cast<int>(module.samples.size())));
    const int longInstrument = static_cast<int>(module.instruments.size());
    addCounterMelody(module, 4, organ, 4, 1);
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0: {  // the volume column's volumes and slides
            static constexpr VolumeCommand slides[4] = {
                VolumeCommand::VolumeSlideDown, VolumeCommand::FineVolumeUp, VolumeCommand::VolumeSlideUp,
                VolumeCommand::FineVolumeDown};
            if (struck) {
                volume(module, p, r, 0, VolumeCommand::Volume, phase % 8 == 0 ? 60 : 40);
            } else {
                volume(module, p, r, 0, slides[phase / 2 % 4], phase < 8 ? 2 : 0);
            }
            break;
        }
        case 1:    // its portamentos, tone portamento and vibrato
            if (struck && phase != 0 && phase < 8) {
                module.cell(p, r, 0).instrument = 0;
                volume(module, p, r, 0, VolumeCommand::TonePortamento, phase / 2 + 2);
            } else if (!struck && phase < 8) {
                volume(module, p, r, 0, VolumeCommand::TonePortamento, 0);
            } else if (!struck) {
                volume(module, p, r, 0,
                       phase % 4 == 1 ? VolumeCommand::PortamentoUp : VolumeCommand::PortamentoDown,
                       phase < 12 ? 3 : 0);
            } else if (phase == 12) {
                volume(module, p, r, 0, VolumeCommand::VibratoDepth, 6);
            }
            break;
        case 2: {  // channel volume and its slides
            static constexpr struct {
                Effect command;
                int parameter;
            } channelVolume[8] = {
                {Effect::ChannelVolume, 0x30},      {Effect::ChannelVolumeSlide, 0x04},
                {Effect::ChannelVolumeSlide, 0x00}, {Effect::ChannelVolumeSlide, 0x30},
                {Effect::ChannelVolume, 0x20},      {Effect::ChannelVolumeSlide, 0x2F},
                {Effect::ChannelVolumeSlide, 0xF3}, {Effect::ChannelVolume, 0x40},
            };
            effect(module, p, r, 0, channelVolume[phase / 2].command, channelVolume[phase / 2].parameter);
            break;
        }
        case 3:    // the long sample from offsets past 64 kB, O00 and SA0
            if (struck) {
                module.cell(p, r, 0).instrument = static_cast<std::uint8_t>(longInstrument);
                static constexpr int offsets[4] = {0x80, 0x00, 0x40, 0x00};
                effect(module, p, r, 0, Effect::SampleOffsetS3m, offsets[phase / 2 % 4]);
            } else {
                effect(module, p, r, 0, Effect::Special, 0xA0 | (phase / 4 % 2));
            }
            break;
        case 4:    // note delay and cut, retrigger
            if (struck) {
                static constexpr int timing[4] = {0xD2, 0xC3, 0xD0, 0xC0};
                effect(module, p, r, 0, Effect::Special, timing[phase / 2 % 4]);
            } else {
                effect(module, p, r, 0, Effect::RetriggerS3m, phase < 8 ? 0x92 : 0x00);
            }
            break;
        case 5:    // tremolo, then tremor; panbrello throughout
            if (phase == 0 || phase == 8) {
                effect(module, p, r, 0, Effect::Special, phase == 0 ? 0x40 : 0x52);
            } else if (phase < 8) {
                effect(module, p, r, 0, Effect::TremoloS3m, phase == 1 ? 0x48 : 0x00);
            } else {
                effect(module, p, r, 0, Effect::TremorS3m, phase == 9 ? 0x21 : 0x00);
            }
            effect(module, p, r, 2, Effect::Panbrello, r % 8 == 1 ? 0x48 : 0x00);
            break;
        case 6:    // vibrato and fine vibrato, sine then square
            if (phase == 0 || phase == 8) {
                effect(module, p, r, 0, Effect::Special, phase == 0 ? 0x30 : 0x32);
            } else {
                effect(module, p, r, 0, phase < 8 ? Effect::VibratoS3m : Effect::FineVibrato,
                       phase == 1 ? 0x46 : phase == 9 ? 0x8C : 0x00);
            }
            break;
        default:   // arpeggio
            effect(module, p, r, 0, Effect::ArpeggioS3m, phase == 0 ? 0x37 : phase == 8 ? 0x47 : 0x00);
            break;
        }
        // The organ's filter, closed and opened by Z.
        if (r % 4 == 1) {
            effect(module, p, r, 4, Effect::MidiMacro, 0x20 + (r * 7 + p * 30) % 0x5F);
        } else if (r % 16 == 2) {
            effect(module, p, r, 4, Effect::MidiMacro, 0x80 + r / 16 * 3);
        }
    });
    // The song's pace and volume.
    changeSong(module, {
        {0, 8, Effect::GlobalVolumeS3m, 0x60},    {0, 12, Effect::GlobalVolumeSlideS3m, 0x04},
        {0, 16, Effect::GlobalVolumeSlideS3m, 0x30}, {0, 20, Effect::GlobalVolumeSlideS3m, 0xF8},
        {0, 24, Effect::Special, 0x62},           {0, 32, Effect::SetTempo, 0x12},
        {0, 33, Effect::SetTempo, 0x00},          {0, 36, Effect::SetTempo, 0x03},
        {0, 40, Effect::Special, 0xB0},           {0, 43, Effect::Special, 0xB1},
        {0, 48, Effect::SetTempo, 0x96},          {0, 56, Effect::Special, 0xE1},
        {1, 0, Effect::SetSpeed, 0x06},           {1, 16, Effect::Special, 0x64},
        {1, 24, Effect::GlobalVolumeS3m, 0x80},   {1, 40, Effect::SetSpeed, 0x05},
    });
    return module;
}

// Amiga slides: portamento (plain, fine, extra fine, with the memory that E and F
// share), tone portamento, vibrato and fine vibrato, K and L, arpeggio, and the volume
// column's portamentos, tone portamento and vibrato on the lead; glides on the bass.
Module itAmigaModule()
{
    Module module = itModule(5, false);
    module.title = "it amiga";
    addCounterMelody(module, 4, organ, 4, 1);
    forEachRow(module, [&](int p, int r, int bar, int phase, bool struck) {
        switch (bar) {
        case 0:   // up and down, E00 taking F's parameter
            if (!struck) {
                effect(module, p, r, 0, phase % 4 == 1 ? Effect::PortamentoUpS3m : Effect::PortamentoDownS3m,
                       phase % 4 == 1 ? 0x06 : 0x00);
            }
            break;
        case 1:   // fine and extra fine
            if (!struck) {
                effect(module, p, r, 0, phase % 4 == 1 ? Effect::PortamentoUpS3m : Effect::PortamentoDownS3m,
                       phase < 8 ? 0xF4 : 0xEA);
            }
            break;
        case 2:   // tone portamento, G00 going on
            glideToNotes(module, p, r, phase, struck, Effect::TonePortamentoS3m, phase < 8 ? 0x0C : 0x30);
            break;
        case 3:   // vibrato and fine vibrato
            effect(module, p, r, 0, phase < 8 ? Effect::VibratoS3m : Effect::FineVibrato,
                   phase == 0 ? 0x48 : phase == 8 ? 0x6C : 0x00);
            break;
        case 4:   // K after H, L after G
            volumeSlidesAfterVibratoAndGlide(module, p, r, phase, struck);
            break;
        case 5:   // arpeggio
            effect(module, p, r, 0, Effect::ArpeggioS3m, phase == 0 ? 0x47 : phase == 8 ? 0x38 : 0x00);
            break;
        case 6:   // the volume column's portamentos
            if (!struck) {
                volume(module, p, r, 0,
                       phase % 4 == 1 ? VolumeCommand::PortamentoUp : VolumeCommand::PortamentoDown,
                       phase < 8 ? 4 : 2);
            }
            break;
        default:  // its vibrato (its tone portamento under Amiga slides starts two rows
                  // later in the peer than in Impulse Tracker's description, and is left out)
            if (phase >= 8) {
                volume(module, p, r, 0, VolumeCommand::VibratoDepth, struck ? 5 : 0);
            }
            break;
        }
        glideBass(module, p, r, phase, Effect::TonePortamentoS3m);
    });
    return module;
}

} // namespace

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

std::vector<PcTestModule> pcComparisonModules()
{
    // tests/sound/CMakeLists.txt reads the names from this table as from comparisonModules()'s.
    return {
        {"s3m_pitch", s3mPitchModule()},
        {"s3m_volume", s3mVolumeModule()},
        {"xm_instruments", xmInstrumentsModule()},
        {"xm_effects", xmEffectsModule()},
        {"xm_amiga", xmAmigaModule()},
        {"it_instruments", itInstrumentsModule(), ItSampleCoding::Compressed215},
        {"it_effects", itEffectsModule()},
        {"it_amiga", itAmigaModule(), ItSampleCoding::Compressed214},
    };
}

std::vector<TestModuleFile> comparisonFiles()
{
    std::vector<TestModuleFile> files;
    for (const TestModule& test : comparisonModules()) {
        files.push_back({test.name + ".mod", writeMod(test.module)});
    }
    for (const PcTestModule& test : pcComparisonModules()) {
        switch (test.module.format) {
        case ModuleFormat::S3m:
            files.push_back({test.name + ".s3m", writeS3m(test.module)});
            break;
        case ModuleFormat::Xm:
            files.push_back({test.name + ".xm", writeXm(test.module)});
            break;
        default:
            files.push_back({test.name + ".it", writeIt(test.module, test.itCoding)});
            break;
        }
    }
    return files;
}
