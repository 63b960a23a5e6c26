#pragma once

#include <memory>

#include "sound/sound_output.h"

// An output on the Windows waveOut device chosen by the wave mapper, 16-bit stereo PCM,
// refilled by a thread of its own (wave_out_win32.cpp).
std::unique_ptr<SoundOutput> makeWaveOutOutput();
