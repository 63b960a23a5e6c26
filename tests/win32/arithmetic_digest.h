#pragma once

#include <string>

#include "sound/module.h"

// The water and the soundtrack computed as the program computes them, reduced to
// digests of their results' bits: one line of text that a host build and a 32-bit
// Windows build of this same code compare, to show that they round alike.
//
// The water: a 50 x 50 surface with splash height 2, splashed every 80 steps from
// the first, run for 400 steps of normals and heights; every step's heights and
// normals go into the digests. The soundtrack: the module's first 90 seconds (its first
// pass and the jump back to the loop), mixed at 44,100 Hz with ramping and looping as
// the program plays it.
std::string arithmeticDigest(const Module& module);
