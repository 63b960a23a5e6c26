#pragma once

#include <cstdint>

// The off-screen tools' clock (snapshot, capture): microseconds that only the tool
// moves, so that frames are drawn at exact moments of the show however long each one
// takes to render.
namespace toolClock {
constexpr std::int64_t frequency = 1000000;
extern std::int64_t now;

inline void setSeconds(double seconds)
{
    now = static_cast<std::int64_t>(seconds * static_cast<double>(frequency) + 0.5);
}
} // namespace toolClock
