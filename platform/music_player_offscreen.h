#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sound/sound_output.h"

// The host's stand-ins for the program's "MUSIC" resources and its sound device, which
// tests fill in and look at.
struct OffscreenMusic {
    // What findMusicResource finds, by resource number.
    std::map<int, std::vector<std::uint8_t>> resources;
    // Whether the output of the next player constructed has a device.
    bool deviceAvailable = true;
    // The null output of the player constructed last, for as long as it lives; pumping
    // it plays the music into memory.
    NullSoundOutput* output = nullptr;
};

OffscreenMusic& offscreenMusic();
