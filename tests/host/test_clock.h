#pragma once

#include <cstdint>

// The clock of the host's frame timer: a counter at one million counts per second
// that only the tests move.
namespace testClock {
constexpr std::int64_t frequency = 1000000;
extern std::int64_t now;
std::int64_t read();

inline void setSeconds(double seconds)
{
    now = static_cast<std::int64_t>(seconds * static_cast<double>(frequency));
}
} // namespace testClock
