#pragma once

#include <cstdint>
#include <vector>

#include "sound/module.h"

// Writes a module as a FastTracker 2 file (version 0x0104), for the tests, the
// comparison with the peer player and the fuzzing corpus.
//
// What XM stores comes back unchanged from loadXm. Each instrument writes the samples
// its keys for XM's notes (our 13 to 108) use, at most 16, in the order of their
// numbers; the instrument's vibrato is that of the first of them, and a key's own note
// is not stored (XM plays the note itself). A module laid out as loadXm lays one out
// (each instrument's samples in a run of their own, every sample used by a key)
// therefore loads back as it was. A module without instruments gets one for each
// sample, playing it on every note. An 8-bit sample keeps the high byte of each value.
//
// What XM cannot hold is left out: notes it has no name for, S3M and IT commands,
// "+++" orders (the list ends at a "---"), the IT fields of instruments and samples.
// Throws std::invalid_argument for a module that no XM file can describe: no channel
// or more than 32, more than 256 orders, patterns or rows, more than 128 instruments,
// an order above 255, or an instrument whose keys use more than 16 samples.
std::vector<std::uint8_t> writeXm(const Module& module);
