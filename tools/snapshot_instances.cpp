// The single instances for the snapshot tool, in the program's order
// (app/instances.inc), with a frame timer on the tool's own clock. The music player is
// silent: nothing pumps its output.
#include <cstdint>

#include "tools/snapshot_clock.h"

namespace snapshotClock {
std::int64_t now = 0;
} // namespace snapshotClock

namespace {
std::int64_t readSnapshotClock()
{
    return snapshotClock::now;
}
} // namespace

#define THOUSAND_FRAME_TIMER_TICKS (TickSource{snapshotClock::frequency, readSnapshotClock})
#include "app/instances.inc"
