#pragma once

#include <cstdint>

// The credits: a column of text lines that rises through the panel at 15 pixels per
// second and starts again from the bottom once its last line has left the top.
struct CreditLine {
    float baseOffset;  // y in overlay pixels while the scroll is 0; always whole
    const char* text;  // at most 31 characters, laid out by its own spaces
};

constexpr int creditLineCount = 69;
// The last line's offset plus one line step: the scroll at which the column restarts.
constexpr float creditsCycle = 2200.0f;
// Every line starts here; 31 characters reach x = 636, inside the panel.
constexpr int creditsLeft = 295;

extern const CreditLine creditLines[creditLineCount];

// Pixels scrolled: 15 per second of main-phase time plus the wrap offset. The panel's
// layers turn with it.
extern float creditsScroll;
// Drops by the scroll at each wrap, so that the scroll counts from 0 again.
extern float scrollWrapOffset;

// Sets the scroll from the clock; once per main-phase frame, before anything reads it.
void updateCreditsScroll();
// Prints every line at its scrolled position, then restarts the column once the scroll
// has passed the cycle. The colour and blending are the caller's.
void drawCredits();
