#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A ProTracker-style module as the replayer reads it: samples, order list and pattern
// cells, checked and copied out of the file so that nothing refers back to it.

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

struct ModModule {
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

enum class ModLoadResult {
    Loaded,
    HeaderCutShort,      // the file ends inside its header or order list
    UnknownFormat,       // neither a known signature nor a plausible Soundtracker file
    BadSongLength,       // a song length of 0 or above 128
    PatternsCutShort,    // the file ends inside its pattern data
};

const char* describe(ModLoadResult result);

// Reads a module from size bytes at data, never past them. On success `module` holds
// the whole song; otherwise it is left empty.
ModLoadResult loadMod(const std::uint8_t* data, std::size_t size, ModModule& module);
