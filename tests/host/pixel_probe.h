#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/offscreen_context.h"

// The host tests' pixel probes. A pixel has the colour expected when each of its channels
// lies within about three 8-bit steps of it: rasterisers round differently.
constexpr int pixelTolerance = 3;

inline bool nearColour(const OffscreenContext::Rgba& pixel, const OffscreenContext::Rgba& expected)
{
    return std::abs(pixel.r - expected.r) <= pixelTolerance && std::abs(pixel.g - expected.g) <= pixelTolerance &&
           std::abs(pixel.b - expected.b) <= pixelTolerance;
}

// The probe as an assertion, which says what the pixel held.
inline testing::AssertionResult colourNear(const OffscreenContext& context, int x, int y,
                                           const OffscreenContext::Rgba& expected)
{
    const OffscreenContext::Rgba pixel = context.pixel(x, y);
    if (nearColour(pixel, expected)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << pixel.r << ", " << pixel.g
                                       << ", " << pixel.b << "), expected about (" << expected.r << ", "
                                       << expected.g << ", " << expected.b << ")";
}

// Once a test has failed, saves the context's picture for a person to look at, as the
// test's name in GoogleTest's temporary folder, and says where. A passing test writes
// nothing, even one whose probes were meant to fail.
inline void savePictureIfFailed(const OffscreenContext& context)
{
    if (!testing::Test::HasFailure()) {
        return;
    }
    const std::string path =
        testing::TempDir() + testing::UnitTest::GetInstance()->current_test_info()->name() + ".ppm";
    context.save(path);
    std::cerr << "The picture is saved as " << path << '\n';
}
