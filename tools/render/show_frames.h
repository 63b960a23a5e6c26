#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/offscreen_context.h"

// The show drawn off-screen frame by frame through the program's own code, on a clock
// that only the tool moves: frame n at exactly n / fps seconds of the show, however
// long it takes to draw. The once-per-frame parts (the water's step, the sphere's
// spring, the title's fade) therefore advance once per frame drawn, as they do in a
// window that shows `fps` frames a second.
//
// The pictures are the program's, read from `resources` (the folder the resource script
// compiles in). With music, its soundtrack is loaded from there too and played as the
// program plays it, from the end of the scene set-up, into memory rather than a device.
class ShowFrames {
public:
    // Throws std::runtime_error saying what could not be read or made.
    ShowFrames(const std::string& resources, int fps, int scale, bool withMusic);
    ~ShowFrames();
    ShowFrames(const ShowFrames&) = delete;
    ShowFrames& operator=(const ShowFrames&) = delete;

    // The show's time of the frame that drawNext draws next.
    double nextSeconds() const;
    // Draws that frame.
    void drawNext();
    long framesDrawn() const { return drawn_; }

    // The frame drawn last.
    const OffscreenContext& picture() const { return *context_; }

    // With music: what plays after the sound taken before, up to the start of `frame`
    // (interleaved 16-bit stereo at soundRate). The player runs on its own, so its sound
    // may be taken ahead of the frames drawn; without music, nothing.
    std::vector<std::int16_t> soundUntil(long frame);
    int soundRate() const;

private:
    int fps_;
    bool withMusic_;
    long drawn_ = 0;
    std::size_t soundTaken_ = 0;   // stereo frames
    std::unique_ptr<OffscreenContext> context_;
};
