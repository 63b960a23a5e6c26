#pragma once

#include <cstdint>
#include <vector>

#include "sound/mod_module.h"

// Writes a module as a ProTracker file: 31 samples, with the signature M.K. for four
// channels, xCHN or xxCH for others, or as a 15-sample Soundtracker file when the
// module has 15 samples. Patterns are written up to the highest one the order list
// names (at least patternCount). Used by the soundtrack generator, tests and benchmarks.
std::vector<std::uint8_t> writeMod(const ModModule& module);

// A convenient empty module to fill in: `channels` channels, `patterns` empty patterns
// played in order, 31 empty samples.
ModModule makeEmptyModule(int channels, int patterns);
