#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// Where mixed sound goes. An output asks its source for interleaved 16-bit stereo
// frames, on a thread of its own or, for the null output, when told to.

class SoundSource {
public:
    // Fills `frames` stereo frames (2 * frames values). Called on the output's thread.
    virtual void fill(std::int16_t* out, std::size_t frames) = 0;

protected:
    ~SoundSource() = default;
};

class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Opens the device at `rate` frames per second, paused. False when there is no
    // device to open; the output then stays closed.
    virtual bool open(int rate, SoundSource& source) = 0;
    // Begins or resumes playing.
    virtual void start() = 0;
    // Pauses; what was queued plays on after the next start.
    virtual void pause() = 0;
    // Stops and closes the device; once it returns the source is never called again.
    virtual void close() = 0;
};

// An output without a device, for tests: it renders into memory when pumped, and can
// be told to have no device at all. Pumping stands in for an output's thread: it may
// run on another thread than the calls that open, start, pause and close.
class NullSoundOutput : public SoundOutput {
public:
    explicit NullSoundOutput(bool deviceAvailable = true) : deviceAvailable_(deviceAvailable) {}

    bool open(int rate, SoundSource& source) override;
    void start() override;
    void pause() override;
    void close() override;

    // Asks the source for `frames` frames if the output is open and playing, appends
    // them to `captured` and returns how many were taken.
    std::size_t pump(std::size_t frames);

    bool isOpen() const;
    bool isPlaying() const;
    int rate() const;
    // What pump has taken so far; read it while nothing pumps.
    const std::vector<std::int16_t>& captured() const { return captured_; }
    // Hands over what pump has taken so far and starts again from nothing, so that a
    // long recording need not be held whole; call it while nothing pumps.
    std::vector<std::int16_t> takeCaptured() { return std::exchange(captured_, {}); }

private:
    mutable std::mutex lock_;
    bool deviceAvailable_;
    SoundSource* source_ = nullptr;
    bool playing_ = false;
    int rate_ = 0;
    std::vector<std::int16_t> captured_;
};
