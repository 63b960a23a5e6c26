// The single instances for the off-screen tools, in the program's order
// (app/instances.inc), with a frame timer on the tools' own clock. The music player's
// output plays only when a tool pumps it.
#include <cstdint>

#include "tools/render/tool_clock.h"

namespace toolClock {
std::int64_t now = 0;
} // namespace toolClock

namespace {
std::int64_t readToolClock()
{
    return toolClock::now;
}
} // namespace

#define THOUSAND_FRAME_TIMER_TICKS (TickSource{toolClock::frequency, readToolClock})
#include "app/instances.inc"
