// Renders the show off-screen with the program's own pictures and saves chosen
// moments as PNG files:
//
//     snapshot [--gles] [--fps N] SECONDS FILE [SECONDS FILE ...]
//
// SECONDS counts from the scene set-up, as the show's clock does: the title runs to
// 4.4 s and the main phase follows. Frames are drawn at N per second (1 to 1000, 60
// unless told) from the start, because the water moves one step per frame; each FILE
// receives the first frame drawn at or after its time. Times must not decrease.
//
// The frames are drawn through OSMesa's desktop GL, or with --gles through the project's
// GL layer on an OpenGL ES 3 context. The same source builds both programs: snapshot,
// and snapshot-gles, to which snapshot hands a command line with --gles.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/offscreen_context.h"
#include "tools/output/output_file.h"
#include "tools/render/command_line.h"
#include "tools/render/show_frames.h"

namespace {

struct Shot {
    double seconds;
    std::string file;
};

// Writes the picture as a PNG file, whole or not at all.
bool writePng(const std::string& path, const OffscreenContext& context)
{
    OutputFile file(path);
    std::FILE* out = file.made() ? std::fopen(file.path().c_str(), "wb") : nullptr;
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
        const std::uint8_t* rgba = context.rgba();
        for (int y = 0; y < context.height(); ++y) {
            for (int x = 0; x < context.width(); ++x, rgba += 4) {
                png_byte* rgb = &row[static_cast<std::size_t>(x) * 3];
                rgb[0] = rgba[0];
                rgb[1] = rgba[1];
                rgb[2] = rgba[2];
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0 && written && file.keep();
}

int usage()
{
    std::fprintf(stderr, "usage: snapshot [--gles] [--fps N] SECONDS FILE [SECONDS FILE ...]\n");
    return 2;
}

#ifndef THOUSAND_GL_LAYER
// Runs snapshot-gles from this program's folder with the same arguments; returns only
// when it could not be started.
int runThroughTheLayer(char** argv)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::fprintf(stderr, "snapshot: cannot find its own folder\n");
        return 1;
    }
    self[length] = '\0';
    std::string twin(self);
    twin = twin.substr(0, twin.rfind('/') + 1) + "snapshot-gles";
    execv(twin.c_str(), argv);
    std::fprintf(stderr, "snapshot: cannot run %s: %s\n", twin.c_str(), std::strerror(errno));
    return 1;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    int rate = 60;
    bool gles = false;
    std::vector<Shot> shots;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gles") == 0) {
            gles = true;
        } else if (std::strcmp(argv[i], "--fps") == 0 && i + 1 < argc) {
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
#ifdef THOUSAND_GL_LAYER
    if (!gles) {
        std::fprintf(stderr, "snapshot-gles: draws only through the GL layer; give it --gles\n");
        return 2;
    }
#else
    if (gles) {
        return runThroughTheLayer(argv);
    }
#endif

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
