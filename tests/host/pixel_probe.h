#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

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

// Every other pixel of a frame in each direction, top row first: a change of the frame
// shows in them.
inline std::vector<OffscreenContext::Rgba> sampledPixels(const OffscreenContext& context)
{
    std::vector<OffscreenContext::Rgba> pixels;
    for (int y = 0; y < context.height(); y += 2) {
        for (int x = 0; x < context.width(); x += 2) {
            pixels.push_back(context.pixel(x, y));
        }
    }
    return pixels;
}

// How many of two frames' sampled pixels differ in any colour channel at all.
inline int differingPixels(const std::vector<OffscreenContext::Rgba>& a, const std::vector<OffscreenContext::Rgba>& b)
{
    int differing = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        differing += a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b ? 1 : 0;
    }
    return differing;
}
