#pragma once

#include <cstdint>

// A monotonic counter that the frame timer reads: its rate and a function that
// returns the current count.
struct TickSource {
    std::int64_t frequency;
    std::int64_t (*read)();
};

// The program's only clock: seconds since start, frozen while stopped, and a frame
// rate refreshed about twice a second from the ticks at the end of every frame.
class FrameTimer {
public:
    // Uses the system's clock (frame_timer_win32.cpp): the high-resolution
    // performance counter, or the millisecond clock where there is none.
    FrameTimer();
    // Uses the given counter, as the tests do.
    explicit FrameTimer(TickSource source);
    virtual ~FrameTimer();

    void start();
    // Freezes elapsed at the current time; does nothing unless running.
    void stop();
    // Seconds between start and now, or between start and stop once stopped.
    long double elapsed() const;
    // Called once at the end of every frame.
    void tick();

    bool running;
    std::int64_t startCount;
    std::int64_t stopCount;
    std::int64_t frequency;
    float lastFrameTime;
    float frameTime;
    std::int32_t framesCounted;
    float lastRateTime;
    float framesPerSecond;

private:
    std::int64_t (*readCounter)();
};

extern FrameTimer frameTimer;
