#pragma once

#include <cstdint>
#include <vector>

#include "sound/module.h"

// Writes a module as a Scream Tracker 3 file, for tests, the comparison with the peer
// player and fuzzing seeds. Everything an S3M file can hold is written as the module
// holds it, so that loading the file gives the module back: the first 32 channels with
// their panning (a table entry for each) and mute switches, the orders, 64-row
// patterns with volumes and A to Z commands, and the samples, 8- or 16-bit as
// `Sample::sixteenBit` says, mono or stereo, with unsigned data as Scream Tracker saves
// it. What the format cannot hold is left out or brought into its range: panning on
// its 16 steps, an odd global volume rounded down, a ping-pong loop written as a
// forward one, names cut to 27 characters, the master volume kept within 16 to 127.
std::vector<std::uint8_t> writeS3m(const Module& module);
