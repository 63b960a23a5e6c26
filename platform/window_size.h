#pragma once

// The window the show is made for: a client area of 640 x 480 pixels, and 32 bits per
// pixel when it is fullscreen. The program opens its window at this size, the off-screen
// builds draw into a context of it, and the show's overlay is laid out in its pixels
// (the separator, the panel, the captions).
constexpr int windowWidth = 640;
constexpr int windowHeight = 480;
constexpr int windowBits = 32;
