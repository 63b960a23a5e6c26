// Draws moments of the show off-screen at 60 frames a second, as the program shows them,
// and saves each as OUTDIR/NAME.ppm: the title's stages and fade, the main phase's first
// frame, its water, rings and panel, after B, Page Down and a walk with the arrows; or,
// with --scale 2, two moments at twice the window's size. Built twice, on desktop GL and
// on the GL layer, so that the two can be compared frame by frame.
//
//     show_moments [--scale 2] OUTDIR
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "app/keyboard_controls.h"
#include "platform/render_window.h"
#include "show/frame_script.h"
#include "tools/render/show_frames.h"

// The keys pressed here never include F1, which alone reopens the window.
bool RenderWindow::open(const char*, int, int, int, bool, WindowProcedure)
{
    std::abort();
}

void RenderWindow::close()
{
    std::abort();
}

namespace {

const std::string resources = THOUSAND_SOURCE_DIR "/resources";
constexpr int fps = 60;

// A moment: a time of the show's clock, counted from the set-up (the title ends at
// 4.4 s), with the keys held down for the frames before it.
struct Moment {
    const char* name;
    double seconds;
    int key;   // a virtual-key code held from the moment before, or 0
};

// The water's rings spread from the first splash at 3.08 s of the main phase; the
// credits have risen 45 pixels by its third second.
const Moment moments[] = {
    {"title-first-word", 0.5, 0},
    {"title-site-name", 1.8, 0},
    {"title-full-name", 3.0, 0},
    {"title-fade", 4.2, 0},
    {"main-first-frame", 4.42, 0},
    {"main-water-rising", 6.5, 0},
    {"main-rings", 8.0, 0},
    {"main-panel-credits", 10.0, 0},
    {"after-b", 10.5, virtualKey::b},
    {"after-page-down", 11.0, virtualKey::pageDown},
    {"after-walk-up", 11.5, virtualKey::up},
    {"after-walk-left", 12.0, virtualKey::left},
};

const Moment scaledMoments[] = {
    {"scale2-title", 3.0, 0},
    {"scale2-main-rings", 8.0, 0},
};

template <std::size_t count>
void draw(const Moment (&list)[count], int scale, const std::string& folder)
{
    // The water moves one step per frame: every moment is drawn on from the start.
    ShowFrames frames(resources, fps, scale, false);
    unsigned char keys[256] = {};
    for (const Moment& moment : list) {
        for (;;) {
            const double seconds = frames.nextSeconds();
            frames.drawNext();
            if (seconds >= moment.seconds) {
                break;
            }
            // Keys are read between frames, as the program's loop reads them.
            keys[moment.key] = moment.key != 0 ? 1 : 0;
            handleKeys(keys, nullptr);
        }
        keys[moment.key] = 0;
        frames.picture().save(folder + "/" + moment.name + ".ppm");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const bool scaled = argc == 4 && std::strcmp(argv[1], "--scale") == 0 && std::strcmp(argv[2], "2") == 0;
    if (argc != 2 && !scaled) {
        std::fprintf(stderr, "usage: show_moments [--scale 2] OUTDIR\n");
        return 2;
    }
    try {
        if (scaled) {
            draw(scaledMoments, 2, argv[3]);
        } else {
            draw(moments, 1, argv[1]);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "show_moments: %s\n", failure.what());
        return 1;
    }
    return 0;
}
