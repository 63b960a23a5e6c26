#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound/module.h"
#include "tests/sound/it_writer.h"
#include "tools/assets/mod_writer.h"

// Modules built in code for the comparison with the peer player, the benchmarks and the
// fuzzing corpus. Each one is deterministic and exercises groups of effects over a
// steady beat, so that a timing or pitch fault in a group shows in its render.

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

// A module of Scream Tracker 3 (S3M), FastTracker 2 (XM) or Impulse Tracker (IT), built
// like the ProTracker ones over the same band and compared with the peer the same way.
struct PcTestModule {
    std::string name;
    Module module;
    ItSampleCoding itCoding = ItSampleCoding::Raw;   // how an IT file stores its samples
};

// The comparison's modules of those formats, a few of each: their effects, instruments,
// envelopes and kinds of sample, in groups laid over the band.
std::vector<PcTestModule> pcComparisonModules();

struct TestModuleFile {
    std::string name;                 // the module's name with its format's extension
    std::vector<std::uint8_t> bytes;
};

// Every comparison module, ProTracker's and the others, as the files that their writers
// make.
std::vector<TestModuleFile> comparisonFiles();
