#pragma once

// Starts the show in the current off-screen context as the program starts it in the
// window that open has just made: the viewport and projection fitted to the show's
// window size, the base GL state, then the scene set-up. For the host's tests,
// benchmarks and tools; the program's open does the first two itself.
//
// With a `scale` above 1 the context is that many times the window's size in each
// direction: the scene fills it at that resolution, and the overlay keeps its layout.
void startOffscreenShow(int scale = 1);
