#pragma once

#include <array>

// The tables the replayer reads: ProTracker's periods for every finetune, the wave of
// vibrato and tremolo, and the steps of the invert-loop effect.

constexpr int modNotesPerFinetune = 36;      // C-1 to B-3
constexpr int modFinetunes = 16;
constexpr int modShortestPeriod = 113;       // B-3 at finetune 0: slides up stop here
constexpr int modLongestPeriod = 856;        // C-1 at finetune 0: slides down stop here

// The period of a note, 0 (C-1) to 36, at a finetune as the nibble stores it; note 36 is
// the 0 that closes each finetune's row.
int modTablePeriod(int finetune, int note);

// The first note of a finetune's row whose period is not above `period`; B-3 when
// every one is.
int modNoteAtOrBelow(int finetune, int period);

// The table read as one run of rows, as ProTracker's arpeggio reads it: notes past the
// end of a row run on into the next finetune's row. 0 past the whole table.
int modPeriodInRun(int finetune, int note);

// The size of a vibrato or tremolo wave, 0 to 255, at a position 0 to 255; the caller
// gives it its sign, from the position's upper half. ProTracker's ramp takes its
// direction from the vibrato position even for tremolo, so that is passed in.
int modWaveValue(int waveform, int position, int rampPosition);

// How much the invert-loop effect adds to its counter per tick, per EFx speed: one byte
// of the loop is flipped each time the counter reaches 128.
constexpr std::array<int, 16> modInvertSpeeds = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};
