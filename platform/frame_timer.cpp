#include "platform/frame_timer.h"

FrameTimer::FrameTimer(TickSource source)
    : running(false),
      startCount(0),
      stopCount(0),
      frequency(source.frequency),
      lastFrameTime(0.0f),
      frameTime(0.0f),
      framesCounted(0),
      lastRateTime(0.0f),
      framesPerSecond(0.0f),
      readCounter(source.read)
{
}

FrameTimer::~FrameTimer() = default;

void FrameTimer::start()
{
    startCount = readCounter();
    running = true;
    lastRateTime = 0.0f;
    framesCounted = 0;
    lastFrameTime = 0.0f;
    frameTime = 0.0f;
}

void FrameTimer::stop()
{
    if (!running) {
        return;
    }
    stopCount = readCounter();
    running = false;
}

long double FrameTimer::elapsed() const
{
    const std::int64_t now = running ? readCounter() : stopCount;
    return static_cast<long double>(now - startCount) / static_cast<long double>(frequency);
}

void FrameTimer::tick()
{
    const long double now = elapsed();
    frameTime = static_cast<float>(now - lastFrameTime);
    framesCounted += 1;
    // Accumulated in single precision, as the frame time was stored.
    lastFrameTime = lastFrameTime + frameTime;

    const float sinceRefresh = lastFrameTime - lastRateTime;
    if (sinceRefresh > 0.5f) {
        framesPerSecond = static_cast<float>(framesCounted) / sinceRefresh;
        framesCounted = 0;
        lastRateTime = lastFrameTime;
    }
}
