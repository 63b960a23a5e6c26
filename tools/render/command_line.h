#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>

// Numbers on the tools' command lines, taken only when the whole argument is one.

// A whole number from low to high.
inline bool parseInt(const char* text, long low, long high, int& value)
{
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// A finite number of seconds, above 0 or, with `zeroAllowed`, 0 or more.
inline bool parseSeconds(const char* text, double& value, bool zeroAllowed = false)
{
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed) || parsed < 0.0 ||
        (parsed == 0.0 && !zeroAllowed)) {
        return false;
    }
    value = parsed;
    return true;
}
