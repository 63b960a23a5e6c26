#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/module.h"

// Writes modules as Impulse Tracker files, for tests that load them back and for
// rendering with another player: instrument or sample mode, raw or compressed samples.

enum class ItSampleCoding {
    Raw,
    Compressed214,  // IT 2.14 compression: deltas integrated once on loading
    Compressed215,  // IT 2.15: integrated twice
};

// How often an encoder changed its bit width by each of the three ways the stream
// allows: from widths 1 to 6, from the middle widths, and from the widest width.
struct ItWidthChanges {
    int fromNarrow = 0;
    int fromMiddle = 0;
    int fromWidest = 0;
};

// The module as an IT file (format version 2.14). Its notes, volume commands and
// effects must be ones the format has; values kept in our units (panning 0 to 256,
// the fadeout) are written rounded down to the file's steps.
std::vector<std::uint8_t> writeIt(const Module& module, ItSampleCoding coding);

// One channel of `frames` frames from data[0], data[stride], ... (8-bit samples at 256
// times their value) in compressed blocks, each with its length word.
std::vector<std::uint8_t> compressItChannel(const std::int16_t* data, std::uint32_t frames, int stride,
                                            bool sixteenBit, bool it215, ItWidthChanges* changes = nullptr);

// Where an IT file's tables put its parts: the three pointer tables, then the first
// instrument, sample header and pattern and the first sample's data (0 for a part the
// file has none of), read as the format lays them out and not as writeIt wrote them.
struct ItLayout {
    explicit ItLayout(const std::vector<std::uint8_t>& file);
    std::size_t instrumentPointers, samplePointers, patternPointers;
    std::size_t instrument, sample, pattern, sampleData;
};
