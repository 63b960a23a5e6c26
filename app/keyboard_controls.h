#pragma once

#include "platform/render_window.h"

// The keys that the show answers besides Escape, polled once per pass of the main loop:
// Page Up and Page Down move the eye along z, the arrows walk it with a small head bob,
// B switches blending and depth testing, F1 switches between fullscreen and windowed.

// Win32's virtual-key codes of the keys handled here.
namespace virtualKey {
constexpr int pageUp = 0x21;
constexpr int pageDown = 0x22;
constexpr int left = 0x25;
constexpr int up = 0x26;
constexpr int right = 0x27;
constexpr int down = 0x28;
constexpr int b = 0x42;
constexpr int f1 = 0x70;
} // namespace virtualKey

// The walk's direction in degrees; 0, so the walk runs along the world's axes.
extern float walkHeading;
// The head bob's phase in degrees, stepped by every arrow key that is down.
extern float bobAngle;
// True while B has blending on and the depth test off.
extern bool blendToggle;
// Set by the pass that handled a press of B, until a pass finds B up.
extern bool blendKeyLatch;

// Applies every key that is down in `keys` (one entry per virtual-key code, 1 while
// down), in a fixed order: Page Up, Page Down, Up, Down, Right, Left, B, F1. F1 is
// consumed: its entry is cleared, the window is closed and opened again in the other
// mode with `windowProc`, and what the scene set-up made in the old rendering context
// is made again in the new one. Returns false only when that reopening failed, which
// ends the program.
bool handleKeys(unsigned char (&keys)[256], WindowProcedure windowProc);
