#pragma once

#include <cmath>
#include <cstdint>

// The clock of the host's frame timer: a counter at one million counts per second
// that only the tests move.
namespace testClock {
constexpr std::int64_t frequency = 1000000;
extern std::int64_t now;
// Counts added after every reading, so that each reading of one frame sees a later time.
extern std::int64_t advancePerRead;
std::int64_t read();

inline void setSeconds(double seconds)
{
    now = std::llround(seconds * static_cast<double>(frequency));
}
} // namespace testClock
