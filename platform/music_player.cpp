#include "platform/music_player.h"

MusicPlayer::MusicPlayer() : library(makeMusicOutput())
{
    ready = library.init(-1, 44100, 0, foregroundWindow());
}

// Unconditional: releasing a library that never found a device does nothing.
MusicPlayer::~MusicPlayer()
{
    library.release();
}

// Loads with the resource's real size: handed a length of 0, a loader working from
// memory could not tell where the resource ends and would read past it.
MusicHandle MusicPlayer::loadFromResource(int number)
{
    if (!ready) {
        return 0;
    }
    const MusicResource resource = findMusicResource(number);
    music = library.loadMusic(resource.data, resource.size, musicLoop | musicRamp);
    return music;
}

void MusicPlayer::play()
{
    if (!ready) {
        return;
    }
    library.start();
    library.playMusic(music);
}

void MusicPlayer::stop()
{
    if (!ready) {
        return;
    }
    library.stop();
}
