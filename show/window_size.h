#pragma once

// The window the show is made for: a client area of 640 x 480 pixels, and 32 bits per
// pixel when it is fullscreen. The overlay's layout (the separator, the panel, the
// captions) is in these pixels.
constexpr int windowWidth = 640;
constexpr int windowHeight = 480;
constexpr int windowBits = 32;
