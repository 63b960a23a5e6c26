// The single instances for the host tests, in the program's order (app/instances.inc),
// with a frame timer on the test clock. The music player plays on a null output that
// tests pump, with the resources they put in offscreenMusic().
#include <cstdint>

#include "tests/host/test_clock.h"

namespace testClock {
std::int64_t now = 0;
std::int64_t advancePerRead = 0;
std::int64_t read()
{
    const std::int64_t reading = now;
    now += advancePerRead;
    return reading;
}
} // namespace testClock

#define THOUSAND_FRAME_TIMER_TICKS (TickSource{testClock::frequency, testClock::read})
#include "app/instances.inc"
