#pragma once

// Starts the show in the current off-screen context as the program starts it in the
// window that open has just made: the viewport and projection fitted to the show's
// window size, the base GL state, then the scene set-up. For the host's tests,
// benchmarks and tools; the program's open does the first two itself.
void startOffscreenShow();
