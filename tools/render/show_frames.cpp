#include "tools/render/show_frames.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/offscreen_show.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/music_player.h"
#include "platform/music_player_offscreen.h"
#include "platform/window_size.h"
#include "resources/resource_numbers.h"
#include "show/frame_script.h"
#include "tools/render/tool_clock.h"

namespace {

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.good() && !in.eof()) {
        bytes.clear();
    }
    return bytes;
}

// The sound that plays before frame n: whole stereo frames at `rate`, rounded to the
// nearest.
std::size_t soundFramesBefore(long frame, int rate, int fps)
{
    return static_cast<std::size_t>(std::llround(static_cast<double>(frame) * rate / fps));
}

} // namespace

ShowFrames::ShowFrames(const std::string& resources, int fps, int scale, bool withMusic)
    : fps_(fps), withMusic_(withMusic)
{
    if (!addProgramBitmaps(resources)) {
        throw std::runtime_error("cannot read the pictures in " + resources);
    }
    OffscreenMusic& music = offscreenMusic();
    music.resources.erase(soundtrackMusic);
    if (withMusic) {
        const std::string path = resources + "/thousand.mod";
        std::vector<std::uint8_t> module = readFile(path);
        if (module.empty()) {
            throw std::runtime_error("cannot read the soundtrack " + path);
        }
        music.resources[soundtrackMusic] = std::move(module);
    }
    context_ = std::make_unique<OffscreenContext>(windowWidth * scale, windowHeight * scale);
    toolClock::setSeconds(0.0);
    startOffscreenShow(scale);
    if (withMusic) {
        if (musicPlayer.music == 0 || music.output == nullptr) {
            throw std::runtime_error("the show's player did not load its soundtrack");
        }
        // As the program does once the scene is set up.
        musicPlayer.play();
    }
}

ShowFrames::~ShowFrames()
{
    if (withMusic_) {
        musicPlayer.stop();
    }
}

double ShowFrames::nextSeconds() const
{
    return static_cast<double>(drawn_) / fps_;
}

void ShowFrames::drawNext()
{
    toolClock::setSeconds(nextSeconds());
    DrawFrame();
    ++drawn_;
}

std::vector<std::int16_t> ShowFrames::soundUntil(long frame)
{
    NullSoundOutput* output = offscreenMusic().output;
    if (!withMusic_ || output == nullptr) {
        return {};
    }
    const std::size_t until = soundFramesBefore(frame, output->rate(), fps_);
    if (until > soundTaken_) {
        output->pump(until - soundTaken_);
        soundTaken_ = until;
    }
    return output->takeCaptured();
}

int ShowFrames::soundRate() const
{
    NullSoundOutput* output = offscreenMusic().output;
    return output != nullptr ? output->rate() : 0;
}
