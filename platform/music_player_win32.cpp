// The music player's Win32 hooks: the show's music plays on waveOut, and its module is
// a "MUSIC" resource of the executable. A port provides an output and a way to find
// the module's bytes and their size.
#include <windows.h>

#include "platform/music_player.h"
#include "sound/wave_out.h"

std::unique_ptr<SoundOutput> makeMusicOutput()
{
    return makeWaveOutOutput();
}

const void* foregroundWindow()
{
    return GetForegroundWindow();
}

MusicResource findMusicResource(int number)
{
    HMODULE program = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(number), "MUSIC");
    if (!found) {
        return {};
    }
    HGLOBAL loaded = LoadResource(program, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return {};
    }
    return {data, SizeofResource(program, found)};
}
