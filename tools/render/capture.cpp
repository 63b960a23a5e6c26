// Captures the show as a video, frame by frame off-screen, with its soundtrack:
//
//     capture [--fps N] [--seconds S] [--scale K] [--from T] OUTPUT.mp4|OUTPUT.webp
//
// Frame n is drawn at exactly n / N seconds of the show (60 frames a second unless
// told), through the program's own code, and the sound of each frame is what the
// show's player plays over it. The video lasts S seconds, rounded up to whole frames:
// by default the title and one whole cycle of the credits. K (1 to 4) draws K times as
// many pixels in each direction, the overlay in the same layout. With --from, the video
// begins T seconds into the show: the frames before are drawn (the water moves one step
// per frame) but not kept.
//
// An .mp4 is H.264 in yuv420p with AAC sound at a constant frame rate; a .webp is an
// animated preview, the pictures alone. ffmpeg encodes both from pipes. The file is
// written under a temporary name beside OUTPUT and renamed only once it is whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/window_size.h"
#include "tools/output/output_file.h"
#include "tools/render/command_line.h"
#include "tools/render/encoder.h"
#include "tools/render/show_frames.h"

namespace {

const char* const usageText =
    "usage: capture [--fps N] [--seconds S] [--scale K] [--from T] OUTPUT.mp4|OUTPUT.webp\n"
    "Captures the show off-screen as a video with its soundtrack, encoded by ffmpeg.\n"
    "\n"
    "  --fps N      frames a second, 1 to 240 (default 60)\n"
    "  --seconds S  length of the video in seconds (default 151.1: the title and one\n"
    "               whole cycle of the credits), rounded up to whole frames\n"
    "  --scale K    K times the window's 640 x 480 pixels in each direction, 1 to 4\n"
    "               (default 1)\n"
    "  --from T     begin the video T seconds into the show (default 0)\n"
    "  --help       show this text\n"
    "\n"
    "OUTPUT.mp4 is H.264 with AAC sound; OUTPUT.webp is an animated preview, the\n"
    "pictures alone at up to 20 frames a second.\n";

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// The title's 4.4 s and one cycle of the credits, 146.7 s.
constexpr double showCycleSeconds = 4.4 + 146.7;

struct Arguments {
    int fps = 60;
    double seconds = showCycleSeconds;
    int scale = 1;
    double from = 0.0;
    std::string output;
    bool preview = false;
};

int usage(const std::string& reason)
{
    if (!reason.empty()) {
        std::fprintf(stderr, "capture: %s\n", reason.c_str());
    }
    std::fputs(usageText, stderr);
    return exitUsage;
}

bool endsWith(const std::string& text, const char* ending)
{
    const std::size_t length = std::strlen(ending);
    if (text.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[text.size() - length + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ending[i]) {
            return false;
        }
    }
    return true;
}

// Fills `arguments`; otherwise says what is wrong and gives false.
bool parseArguments(int argc, char** argv, Arguments& arguments, std::string& reason, bool& help)
{
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        } else if (option == "--fps") {
            if (!hasValue || !parseInt(argv[++i], 1, 240, arguments.fps)) {
                reason = "--fps needs a whole number of frames a second from 1 to 240";
                return false;
            }
        } else if (option == "--seconds") {
            if (!hasValue || !parseSeconds(argv[++i], arguments.seconds) || arguments.seconds > 86400.0) {
                reason = "--seconds needs a number of seconds above 0, at most a day";
                return false;
            }
        } else if (option == "--scale") {
            if (!hasValue || !parseInt(argv[++i], 1, 4, arguments.scale)) {
                reason = "--scale needs a whole number from 1 to 4";
                return false;
            }
        } else if (option == "--from") {
            if (!hasValue || !parseSeconds(argv[++i], arguments.from, true) || arguments.from > 86400.0) {
                reason = "--from needs a number of seconds from 0, at most a day";
                return false;
            }
        } else if (option == "--") {
            positional.insert(positional.end(), argv + i + 1, argv + argc);
            break;
        } else if (option.size() > 1 && option[0] == '-') {
            reason = "unknown option " + option;
            return false;
        } else {
            positional.push_back(option);
        }
    }
    if (positional.size() != 1) {
        reason = positional.empty() ? "no output file given" : "only one output file, please";
        return false;
    }
    arguments.output = positional[0];
    arguments.preview = endsWith(arguments.output, ".webp");
    if (!arguments.preview && !endsWith(arguments.output, ".mp4")) {
        reason = "the output's name must end in .mp4 or .webp";
        return false;
    }
    return true;
}

// Whole frames to cover `seconds`, rounded up; a product that is whole but for the
// rounding of its factors (151.1 x 60) is not rounded up past itself.
long framesFor(double seconds, int fps)
{
    return static_cast<long>(std::ceil(seconds * fps - 1e-6));
}

// A preview keeps at most 20 frames a second.
int previewFramesPerSecond(int fps)
{
    return std::min(fps, 20);
}

std::vector<std::string> ffmpegArguments(const Arguments& arguments, int rate, const std::string& file)
{
    const std::string size = std::to_string(windowWidth * arguments.scale) + "x" +
                             std::to_string(windowHeight * arguments.scale);
    const std::string fps = std::to_string(arguments.fps);
    // The inputs' formats are given, so ffmpeg need not read ahead to learn them: left
    // to itself it reads seconds of one input before the other.
    std::vector<std::string> a = {"-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                  "-probesize", "32", "-analyzeduration", "0",
                                  "-f", "rawvideo", "-pixel_format", "rgba", "-video_size", size,
                                  "-framerate", fps, "-i", "pipe:3"};
    if (arguments.preview) {
        // A third of the frames at 60 a second: a preview stays small.
        a.insert(a.end(), {"-vf", "fps=" + std::to_string(previewFramesPerSecond(arguments.fps)),
                           "-c:v", "libwebp_anim", "-quality", "70", "-loop", "0", "-f", "webp", file});
        return a;
    }
    a.insert(a.end(), {"-probesize", "32", "-analyzeduration", "0",
                       "-f", "s16le", "-sample_rate", std::to_string(rate), "-ch_layout", "stereo",
                       "-i", "pipe:4", "-map", "0:v:0", "-map", "1:a:0",
                       // BT.709 colours, tagged as such, in the limited range that players expect.
                       "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                       "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
                       "-color_range", "tv",
                       "-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-fps_mode", "cfr",
                       "-c:a", "aac", "-b:a", "192k",
                       "-movflags", "+faststart", "-f", "mp4", file});
    return a;
}

volatile sig_atomic_t interruption = 0;

void interrupted(int number)
{
    interruption = number;
}

// Reports progress on standard error: one line rewritten in place on a terminal,
// otherwise a line at every tenth of the work.
class Progress {
public:
    explicit Progress(long total) : total_(total), terminal_(isatty(2) != 0), started_(Clock::now()) {}

    void frameDone(long done)
    {
        const double elapsed = secondsSince(started_);
        const int tenth = static_cast<int>(done * 10 / total_);
        if (terminal_) {
            if (done < total_ && secondsSince(shown_) < 0.25) {
                return;
            }
            shown_ = Clock::now();
        } else if (tenth == tenthShown_ && done < total_) {
            return;
        }
        tenthShown_ = tenth;
        const double rate = elapsed > 0.0 ? done / elapsed : 0.0;
        const long left = rate > 0.0 ? std::lround((total_ - done) / rate) : 0;
        std::fprintf(stderr, "%scapture: %ld of %ld frames, %3.0f %%, %.1f frames a second, %ld:%02ld left%s",
                     terminal_ ? "\r" : "", done, total_, 100.0 * done / total_, rate, left / 60, left % 60,
                     terminal_ ? "   " : "\n");
        if (terminal_ && done == total_) {
            std::fputc('\n', stderr);
        }
    }

    double seconds() const { return secondsSince(started_); }

private:
    using Clock = std::chrono::steady_clock;
    static double secondsSince(Clock::time_point then)
    {
        return std::chrono::duration<double>(Clock::now() - then).count();
    }

    long total_;
    bool terminal_;
    Clock::time_point started_;
    Clock::time_point shown_{};
    int tenthShown_ = -1;
};

int capture(const Arguments& arguments)
{
    const long skipped = framesFor(arguments.from, arguments.fps);
    const long kept = framesFor(arguments.seconds, arguments.fps);

    OutputFile partial(arguments.output);
    if (!partial.made()) {
        std::fprintf(stderr, "capture: cannot write %s: %s\n", arguments.output.c_str(), partial.error().c_str());
        return exitFailure;
    }

    ShowFrames frames(std::string(THOUSAND_SOURCE_DIR) + "/resources", arguments.fps, arguments.scale,
                      !arguments.preview);
    Encoder encoder;
    std::string error;
    if (!encoder.start("ffmpeg", ffmpegArguments(arguments, frames.soundRate(), partial.path()), error)) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return exitFailure;
    }

    for (long n = 0; n < skipped && !interruption; ++n) {
        frames.drawNext();
    }
    frames.soundUntil(skipped);

    // The sound is handed over a second ahead of the pictures: ffmpeg may read some of
    // it first.
    const long soundLead = arguments.fps;
    const long end = skipped + kept;
    encoder.addSound(frames.soundUntil(std::min(end, skipped + soundLead)));
    Progress progress(kept);
    const std::size_t pictureBytes = static_cast<std::size_t>(frames.picture().width()) *
                                     static_cast<std::size_t>(frames.picture().height()) * 4;
    bool written = true;
    for (long n = 0; n < kept && written && !interruption; ++n) {
        frames.drawNext();
        encoder.addSound(frames.soundUntil(std::min(end, frames.framesDrawn() + soundLead)));
        written = encoder.writePicture(frames.picture().rgba(), pictureBytes, interruption);
        if (written) {
            progress.frameDone(n + 1);
        }
    }
    // ffmpeg's own account of a failure comes with its end.
    const bool finished = written && !interruption && encoder.finish(interruption, error);
    if (interruption) {
        encoder.stop();
        // A progress line on a terminal is ended first.
        std::fprintf(stderr, "%scapture: interrupted; %s not written\n", isatty(2) ? "\n" : "",
                     arguments.output.c_str());
        return 128 + interruption;
    }
    if (!finished) {
        if (!written) {
            encoder.finish(interruption, error);
        }
        std::fprintf(stderr, "capture: ffmpeg failed: %s\n", error.c_str());
        return exitFailure;
    }
    if (!partial.keep()) {
        std::fprintf(stderr, "capture: cannot write %s: %s\n", arguments.output.c_str(), partial.error().c_str());
        return exitFailure;
    }
    std::printf("%s: %ld frames at %d a second (%.3f s), %d x %d, in %.1f s\n", arguments.output.c_str(), kept,
                arguments.fps, static_cast<double>(kept) / arguments.fps, windowWidth * arguments.scale,
                windowHeight * arguments.scale, progress.seconds());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    std::string reason;
    bool help = false;
    if (!parseArguments(argc, argv, arguments, reason, help)) {
        return usage(reason);
    }
    if (help) {
        std::fputs(usageText, stdout);
        return 0;
    }

    struct sigaction action = {};
    action.sa_handler = interrupted;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
    // A closed pipe is seen as a failed write, with ffmpeg's reason.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);

    try {
        return capture(arguments);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "capture: %s\n", failure.what());
        return exitFailure;
    }
}
