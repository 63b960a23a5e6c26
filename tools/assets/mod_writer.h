#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/module.h"

// A ProTracker song as its file holds it, for the programs that compose one: samples,
// order list and pattern cells, in the file's own units.

struct ModSample {
    std::string name;
    std::vector<std::int8_t> data;   // 8-bit signed PCM, as far as the file holds it
    int finetune = 0;                // -8 to 7, in eighths of a semitone
    int volume = 0;                  // 0 to 64
    std::uint32_t loopStart = 0;     // in bytes, within data
    std::uint32_t loopLength = 0;    // in bytes; 0 when the sample does not loop

    bool looped() const { return loopLength > 0; }
};

// One cell of a pattern: a note, the sample to play it with and an effect.
struct ModCell {
    std::uint16_t period = 0;        // Amiga period, 0 for no note
    std::uint8_t sample = 0;         // 1 to 31, 0 for none
    std::uint8_t effect = 0;         // 0x0 to 0xF
    std::uint8_t parameter = 0;
};

struct ModSong {
    static constexpr int rowsPerPattern = 64;
    static constexpr int maxOrders = 128;

    std::string title;
    int channels = 0;
    int songLength = 0;                              // orders played, 1 to 128
    int restartPosition = 0;
    std::array<std::uint8_t, maxOrders> orders = {};
    int patternCount = 0;
    std::vector<ModSample> samples;                  // 31, or 15 for Soundtracker files
    std::vector<ModCell> cells;                      // pattern, row, channel

    std::size_t cellIndex(int pattern, int row, int channel) const
    {
        return (static_cast<std::size_t>(pattern) * rowsPerPattern + static_cast<std::size_t>(row)) *
                   static_cast<std::size_t>(channels) +
               static_cast<std::size_t>(channel);
    }
    const ModCell& cell(int pattern, int row, int channel) const { return cells[cellIndex(pattern, row, channel)]; }
    ModCell& cell(int pattern, int row, int channel) { return cells[cellIndex(pattern, row, channel)]; }
};


// Writes a module as a ProTracker file: 31 samples, with the signature M.K. for four
// channels, xCHN or xxCH for others, or as a 15-sample Soundtracker file when the
// module has 15 samples. Patterns are written up to the highest one the order list
// names (at least patternCount). Used by the soundtrack generator, tests and benchmarks.
std::vector<std::uint8_t> writeMod(const ModSong& module);

// A convenient empty module to fill in: `channels` channels, `patterns` empty patterns
// played in order, 31 empty samples.
ModSong makeEmptySong(int channels, int patterns);

// The song as the replayer sees it: written as a file and loaded again. For the tests
// and benchmarks, which link the sound library.
inline Module loadSong(const ModSong& song)
{
    const std::vector<std::uint8_t> bytes = writeMod(song);
    Module module;
    loadModule(bytes.data(), bytes.size(), module);
    return module;
}
