#pragma once

#include <string>
#include <vector>

#include "tools/assets/mod_writer.h"

// Modules built in code for the comparison with the peer player, the benchmarks and the
// fuzzing corpus. Each one is deterministic and exercises one group of effects over a
// steady beat, so that a timing or pitch fault in that group shows in its render.

struct TestModule {
    std::string name;
    ModSong module;
};

// The modules that the comparison renders: melodic lines with several samples, one per
// group of effects, and modules with 8 and 32 channels.
std::vector<TestModule> comparisonModules();

// A song of `patterns` patterns on `channels` channels: lead, bass, chords and drums
// spread over the channels, every channel busy. For benchmarks.
ModSong busyModule(int channels, int patterns);
