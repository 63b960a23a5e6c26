// The sound library on the page's audio thread: built on its own into a small
// WebAssembly module that web/sound_worklet.js runs inside an AudioWorkletProcessor. It
// plays the module as the program's music player does (looping, ramped) at the audio
// context's rate, one render quantum at a time, so that its samples are modrender's.
//
// Threading: all of it runs on the audio thread, which is the only one that calls it.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/sound_library.h"

namespace {

// An output that the worklet pulls from: silence while paused, as a paused device
// plays nothing.
class PulledOutput : public SoundOutput {
public:
    bool open(int, SoundSource& source) override
    {
        source_ = &source;
        return true;
    }
    void start() override { playing_ = true; }
    void pause() override { playing_ = false; }
    void close() override
    {
        playing_ = false;
        source_ = nullptr;
    }

    const std::int16_t* pull(std::size_t frames)
    {
        samples_.assign(frames * 2, 0);
        if (playing_ && source_ != nullptr) {
            source_->fill(samples_.data(), frames);
        }
        return samples_.data();
    }

private:
    SoundSource* source_ = nullptr;
    bool playing_ = false;
    std::vector<std::int16_t> samples_;
};

PulledOutput* output = nullptr;
std::unique_ptr<SoundLibrary> library;
MusicHandle music = 0;
std::vector<std::uint8_t> moduleBytes;

} // namespace

extern "C" {

// Room for a module of `length` bytes, which the worklet copies in before loading it.
EMSCRIPTEN_KEEPALIVE std::uint8_t* thousandSoundModule(std::size_t length)
{
    moduleBytes.assign(length, 0);
    return moduleBytes.data();
}

// Opens the library at `rate` and loads the module copied in; false when it cannot.
EMSCRIPTEN_KEEPALIVE int thousandSoundLoad(int rate)
{
    auto pulled = std::make_unique<PulledOutput>();
    output = pulled.get();
    library = std::make_unique<SoundLibrary>(std::move(pulled));
    if (!library->init(-1, rate, 0, nullptr)) {
        return 0;
    }
    music = library->loadMusic(moduleBytes.data(), moduleBytes.size(), musicLoop | musicRamp);
    return music != 0 ? 1 : 0;
}

// As the music player's play and stop.
EMSCRIPTEN_KEEPALIVE void thousandSoundStart()
{
    if (music != 0) {
        library->start();
        library->playMusic(music);
    }
}

EMSCRIPTEN_KEEPALIVE void thousandSoundPause()
{
    if (music != 0) {
        library->stop();
    }
}

// The next `frames` stereo frames, interleaved 16-bit: silence until a module is loaded.
EMSCRIPTEN_KEEPALIVE const std::int16_t* thousandSoundRender(std::size_t frames)
{
    static PulledOutput silent;
    return music != 0 ? output->pull(frames) : silent.pull(frames);
}

} // extern "C"
