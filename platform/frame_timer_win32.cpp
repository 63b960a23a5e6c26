// The frame timer's clock on Win32: the performance counter where the system has one,
// else the multimedia millisecond clock. A port provides its own FrameTimer()
// constructor that hands a monotonic counter and its rate to FrameTimer(TickSource).
#include <windows.h>

#include "platform/frame_timer.h"

namespace {

// The last good performance-counter reading: a failing read repeats it rather than
// mixing in a millisecond count, which would make meaningless times.
std::int64_t lastPerformanceCount = 0;

std::int64_t readPerformanceCounter()
{
    LARGE_INTEGER count;
    if (QueryPerformanceCounter(&count)) {
        lastPerformanceCount = count.QuadPart;
    }
    return lastPerformanceCount;
}

std::int64_t readMillisecondClock()
{
    // Milliseconds in the low half, the high half zero.
    return static_cast<std::int64_t>(timeGetTime());
}

// The clock is chosen once, so that every reading of a run comes from the same one.
TickSource systemClock()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER count;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 &&
        QueryPerformanceCounter(&count)) {
        lastPerformanceCount = count.QuadPart;
        return TickSource{frequency.QuadPart, readPerformanceCounter};
    }
    return TickSource{1000, readMillisecondClock};
}

} // namespace

FrameTimer::FrameTimer() : FrameTimer(systemClock()) {}
