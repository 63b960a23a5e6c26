// The single instances for the benchmarks, in the program's order (app/instances.inc),
// with a frame timer on the steady clock.
#include <chrono>
#include <cstdint>

namespace {
std::int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

#define THOUSAND_FRAME_TIMER_TICKS (TickSource{1000000000, steadyNanoseconds})
#include "app/instances.inc"
