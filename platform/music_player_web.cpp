// The music player's platform hooks in a browser. The samples are made on the page's
// audio thread, in an AudioWorklet that runs a second copy of the sound library
// (platform/sound_worklet_web.cpp, web/sound_worklet.js) on the same module: the show's
// main thread never waits on it, nor it on the show. This output only starts and pauses
// that copy; the page made it, with the module, when the start-up question was answered.
#include <emscripten/emscripten.h>

#include <vector>

#include "platform/music_player.h"
#include "platform/page_web.h"

namespace {

EM_JS(int, pageHasSound, (), { return Module.thousand.sound ? 1 : 0; });
EM_JS(void, pageSoundStart, (), { Module.thousand.sound.start(); });
EM_JS(void, pageSoundPause, (), { Module.thousand.sound.pause(); });

class WorkletOutput : public SoundOutput {
public:
    // No device where the page could not make its audio: the show goes on silently.
    bool open(int, SoundSource&) override { return pageHasSound() != 0; }
    void start() override { pageSoundStart(); }
    void pause() override { pageSoundPause(); }
    void close() override { pageSoundPause(); }
};

} // namespace

std::unique_ptr<SoundOutput> makeMusicOutput()
{
    return std::make_unique<WorkletOutput>();
}

const void* foregroundWindow()
{
    return nullptr;
}

MusicResource findMusicResource(int number)
{
    // Kept for the program's lifetime, as a resource is.
    static std::vector<unsigned char> module;
    module = pageResource(number);
    return {module.empty() ? nullptr : module.data(), module.size()};
}
