#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/assets/mod_writer.h"

// The notation of the soundtrack's score: pitches, chords and melody lines as text, and
// a writer of pattern cells. Errors in the score (a note out of an instrument's range,
// a line of the wrong length) throw std::runtime_error.

namespace soundtrack {

constexpr int rowsPerBar = 16;

// The period at which `instrument` sounds the MIDI note `pitch` (C4 is 60), from the
// finetune-0 table of the octave below period 428 to two above it.
int periodOf(int instrument, int pitch);

// "C5", "F#4", "Bb3": the MIDI note as written.
int parsePitch(const std::string& name);

// A chord of the score, as heard.
struct Chord {
    int root;   // pitch class as heard, 0 to 11
    bool minor;
};

// Chords such as "C G Am F", one a bar, written in C and heard `keyShift` semitones away.
std::vector<Chord> parseChords(const std::string& text, int keyShift);

// One note of a melody line, in rows.
struct MelodyNote {
    enum Kind { note, rest, hold };
    Kind kind;
    int row;
    int length;
    int pitch;      // written MIDI note, for `note`
    bool glide;     // slide to the note from the one before instead of striking it
};

// A line such as "E5/3 D5/3 C5/2 ~G5/4 r/2 -/6": a pitch (with ~ to glide to it), a
// rest (r) or a held note (-), each with its length in rows; `rows` in all.
std::vector<MelodyNote> parseMelody(const std::string& text, int rows);

// The harmony under a heard pitch: the highest tone of the chord at least a minor
// third below it, so that the second voice never rubs against the pad.
int harmonyBelow(int pitch, const Chord& chord);

// Writes the cells of one pattern.
class PatternWriter {
public:
    PatternWriter(ModSong& module, int pattern) : module_(module), pattern_(pattern) {}

    ModCell& at(int row, int channel)
    {
        return module_.cell(pattern_, row, channel);
    }

    void note(int row, int channel, int instrument, int period, int effect = 0, int parameter = 0)
    {
        ModCell& cell = at(row, channel);
        cell.period = static_cast<std::uint16_t>(period);
        cell.sample = static_cast<std::uint8_t>(instrument);
        cell.effect = static_cast<std::uint8_t>(effect);
        cell.parameter = static_cast<std::uint8_t>(parameter);
    }

    void effect(int row, int channel, int effect, int parameter)
    {
        ModCell& cell = at(row, channel);
        cell.effect = static_cast<std::uint8_t>(effect);
        cell.parameter = static_cast<std::uint8_t>(parameter);
    }

    // Song-wide effects (speed, jumps) go into any channel whose effect column is free.
    void global(int row, int effect, int parameter)
    {
        for (int channel = 0; channel < module_.channels; ++channel) {
            ModCell& cell = at(row, channel);
            if (cell.effect == 0 && cell.parameter == 0) {
                this->effect(row, channel, effect, parameter);
                return;
            }
        }
        throw std::runtime_error("no free effect column in row " + std::to_string(row));
    }

private:
    ModSong& module_;
    int pattern_;
};

} // namespace soundtrack
