// Renders the show off-screen with the program's own pictures and saves chosen
// moments as PNG files:
//
//     snapshot [--fps N] SECONDS FILE [SECONDS FILE ...]
//
// SECONDS counts from the scene set-up, as the show's clock does: the title runs to
// 4.4 s and the main phase follows. Frames are drawn at N per second (1 to 1000, 60
// unless told) from the start, because the water moves one step per frame; each FILE
// receives the first frame drawn at or after its time. Times must not decrease.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/offscreen_context.h"
#include "tools/command_line.h"
#include "tools/show_frames.h"

namespace {

struct Shot {
    double seconds;
    std::string file;
};

bool writePng(const std::string& path, const OffscreenContext& context)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    // Made before the jump point: libpng reports errors by jumping back to it.
    std::vector<png_byte> row(static_cast<std::size_t>(context.width()) * 3);
    volatile bool written = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, out);
        png_set_IHDR(png, info, static_cast<png_uint_32>(context.width()),
                     static_cast<png_uint_32>(context.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < context.height(); ++y) {
            for (int x = 0; x < context.width(); ++x) {
                const OffscreenContext::Rgba p = context.pixel(x, y);
                png_byte* rgb = &row[static_cast<std::size_t>(x) * 3];
                rgb[0] = static_cast<png_byte>(p.r);
                rgb[1] = static_cast<png_byte>(p.g);
                rgb[2] = static_cast<png_byte>(p.b);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0 && written;
}

int usage()
{
    std::fprintf(stderr, "usage: snapshot [--fps N] SECONDS FILE [SECONDS FILE ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int rate = 60;
    std::vector<Shot> shots;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fps") == 0 && i + 1 < argc) {
            if (!parseInt(argv[++i], 1, 1000, rate)) {
                return usage();
            }
        } else if (i + 1 < argc) {
            double seconds = 0.0;
            if (!parseSeconds(argv[i], seconds, true) || (!shots.empty() && seconds < shots.back().seconds)) {
                return usage();
            }
            shots.push_back(Shot{seconds, argv[++i]});
        } else {
            return usage();
        }
    }
    if (shots.empty()) {
        return usage();
    }

    try {
        ShowFrames frames(std::string(THOUSAND_SOURCE_DIR) + "/resources", rate, 1, false);
        for (const Shot& shot : shots) {
            for (;;) {
                const double seconds = frames.nextSeconds();
                frames.drawNext();
                if (seconds >= shot.seconds) {
                    break;
                }
            }
            if (!writePng(shot.file, frames.picture())) {
                std::fprintf(stderr, "snapshot: cannot write %s\n", shot.file.c_str());
                return 1;
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "snapshot: %s\n", failure.what());
        return 1;
    }
    return 0;
}
