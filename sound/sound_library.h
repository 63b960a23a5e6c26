#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sound/module.h"
#include "sound/sound_output.h"

class Player;

// The program's sound system: one output device and one module played on it.
//
// Threading: every public call may come from any thread while the output's thread is
// asking for samples. Public calls are serialised by one lock; the player's state is
// guarded by a second lock that fill shares, so the player is never changed while it
// is mixing. The output is opened, started, paused and closed without the mixing lock
// held: closing waits for the output's thread, which may be waiting for that lock.

using MusicHandle = std::uint32_t;

// Flags for loadMusic.
enum MusicFlag : unsigned {
    musicRamp = 1,   // ramp volumes so that nothing clicks
    musicLoop = 4,   // play the song again from its loop point when it ends
};

class SoundLibrary final : private SoundSource {
public:
    explicit SoundLibrary(std::unique_ptr<SoundOutput> output);
    ~SoundLibrary();

    SoundLibrary(const SoundLibrary&) = delete;
    SoundLibrary& operator=(const SoundLibrary&) = delete;

    // Opens the output: `device` -1 for the default one (the only one there is), `rate`
    // in frames per second, 8,000 to 192,000. `flags` and `window` are kept for the
    // interface's sake; waveOut needs neither. False when there is no device, for any
    // other device number or rate, and when already initialised.
    bool init(int device, int rate, unsigned flags, const void* window);

    // Loads a module from `length` bytes at data, never reading past them; what it
    // needs is copied, so the bytes may go once it returns. Replaces the module loaded
    // before, which stops playing; a failed load leaves that one as it was. A handle,
    // or 0 on failure or before init.
    MusicHandle loadMusic(const void* data, std::size_t length, unsigned flags);
    // Why the last loadMusic failed, or Loaded.
    LoadResult lastLoadResult() const;

    bool start();                       // starts or resumes the output
    bool playMusic(MusicHandle music);  // plays the module from where it stands, or
                                        // from the start once a song without loop has ended
    bool stop();                        // pauses the output
    void release();                     // closes the device and frees the module

private:
    void fill(std::int16_t* out, std::size_t frames) override;

    mutable std::mutex callLock_;   // serialises the public calls
    mutable std::mutex mixLock_;    // guards what fill reads: player_, playing_
    std::unique_ptr<SoundOutput> output_;
    bool initialised_ = false;
    int rate_ = 0;
    unsigned musicFlags_ = 0;
    std::unique_ptr<Module> module_;
    std::unique_ptr<Player> player_;
    MusicHandle handle_ = 0;
    MusicHandle nextHandle_ = 1;
    bool playing_ = false;
    LoadResult lastLoadResult_ = LoadResult::Loaded;
};
