#pragma once

#include <cstddef>
#include <memory>

#include "sound/sound_library.h"
#include "sound/sound_output.h"

// Plays the show's soundtrack: one module stored in the program as a resource of type
// "MUSIC", looping from the start of the main loop until shutdown. It owns the sound
// library: initialised when the player is constructed (before the entry function
// runs), released when it is destroyed (after the entry function has returned). When
// there is no sound device the show runs silently: every other call does nothing, and
// no sound failure stops the show or shows a message.
class MusicPlayer {
public:
    MusicPlayer();
    virtual ~MusicPlayer();

    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Loads the "MUSIC" resource `number` to loop with ramped volumes; keeps and returns
    // its handle, 0 when it cannot be found or loaded, or when not ready.
    MusicHandle loadFromResource(int number);
    // Starts the output, then plays the loaded module (the output plays silence when
    // nothing was loaded).
    void play();
    // Pauses the output.
    void stop();

    MusicHandle music = 0;   // 0 until a module is loaded
    bool ready = false;      // the sound library found a device

private:
    SoundLibrary library;
};

// The platform hooks behind the player, one set per platform: music_player_win32.cpp
// for the program, music_player_offscreen.cpp for the host's tests and tools.

// The output the show's music plays on.
std::unique_ptr<SoundOutput> makeMusicOutput();
// The window in the foreground at this moment, handed to the library's initialisation.
const void* foregroundWindow();

// The bytes of one "MUSIC" resource of the program; data is null when there is none.
struct MusicResource {
    const void* data = nullptr;
    std::size_t size = 0;
};
MusicResource findMusicResource(int number);

extern MusicPlayer musicPlayer;
