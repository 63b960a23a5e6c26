#pragma once

#include <vector>

#include "tools/assets/mod_writer.h"

// The instruments of the soundtrack, synthesised from nothing into 8-bit samples.
//
// Tonal samples sound a C when played at period 428 (8,287 Hz on a PAL Amiga): the
// bass a C2, the pads a chord on C3, the lead, pluck and chip a C4. Drums are made for
// the period they are played at, given below, so that their highs survive.

namespace soundtrack {

// Sample numbers as the patterns name them (1-based, as in a module).
enum Instrument : int {
    kick = 1,        // played at period 428
    snare = 2,       // played at period 214
    closedHat = 3,   // played at period 143
    openHat = 4,     // played at period 143
    crash = 5,       // played at period 214
    tom = 6,         // tuned by ear: a low tom at period 428, higher ones above
    bass = 7,        // C2
    padMajor = 8,    // C3 major triad in open voicing
    padMinor = 9,    // C3 minor triad in open voicing
    lead = 10,       // C4
    pluck = 11,      // C4
    chip = 12,       // C4, a pulse for arpeggio chords
    instrumentCount = 12,
};

// The PAL Amiga's clock and the playback rate of period 428, for which the tonal
// samples are composed.
constexpr double palClock = 7093789.2;
constexpr int basePeriod = 428;
constexpr double rateOfPeriod(int period)
{
    return palClock / (2.0 * period);
}

// The pitch each instrument sounds at period 428, as a MIDI note number (60 is C4).
// Drums have none and give -1.
int contentPitch(int instrument);

// All 31 samples of the module, the unused ones empty. Deterministic: the same bytes on
// every run and every machine (the synthesis uses only basic arithmetic, no library
// functions whose last bits could differ).
std::vector<ModSample> makeSamples();

} // namespace soundtrack
