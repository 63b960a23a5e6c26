// libFuzzer target: any bytes go through the loader and, when they load, through the
// song scan and a few seconds of playback. Besides the sanitizers' findings it traps on
// a channel state out of its documented range, on a player that writes more than it was
// asked for, and on two players of the same module that disagree.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sound/mod_module.h"
#include "sound/mod_player.h"

namespace {

// Keeps one input from taking long: a short scan, and at most this much sound.
constexpr double scanLimitSeconds = 60.0;
constexpr double renderSeconds = 3.0;
constexpr std::size_t blockFrames = 1000;
constexpr std::size_t comparedFrames = 4000;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The options come from the input's size, so that each input always plays the same way
// and the corpus covers every combination.
ModPlayerOptions optionsFor(std::size_t size)
{
    static constexpr int rates[4] = {44100, 22050, 11025, 8000};
    ModPlayerOptions options;
    options.rate = rates[size % 4];
    options.loop = (size >> 2 & 1) == 0;
    options.ramp = (size >> 3 & 1) == 0;
    options.interpolate = (size >> 4 & 1) == 0;
    return options;
}

void checkChannels(const ModPlayer& player, const ModModule& module)
{
    for (int c = 0; c < module.channels; ++c) {
        const ModChannelTrace trace = player.channel(c);
        check(trace.sample >= 0 && trace.sample <= static_cast<int>(module.samples.size()));
        check(trace.volume >= 0 && trace.volume <= 64);
        check(trace.panning >= 0 && trace.panning <= 255);
    }
    check(player.order() >= 0 && player.order() < ModModule::maxOrders);
    check(player.row() >= 0 && player.row() < ModModule::rowsPerPattern);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ModModule module;
    if (loadMod(data, size, module) != ModLoadResult::Loaded) {
        return 0;
    }
    const double seconds = modSongSeconds(module, scanLimitSeconds);
    check(std::isfinite(seconds) && seconds >= 0.0);

    const ModPlayerOptions options = optionsFor(size);
    ModPlayer player(module, options);
    ModPlayer twin(module, options);
    const std::size_t total = static_cast<std::size_t>(renderSeconds * options.rate);
    // One spare frame past the block shows a player that writes more than it returns.
    std::vector<std::int16_t> block((blockFrames + 1) * 2);
    std::vector<std::int16_t> twinBlock(blockFrames * 2);
    constexpr std::int16_t guard = 0x5A5A;
    for (std::size_t done = 0; done < total;) {
        block[blockFrames * 2] = guard;
        block[blockFrames * 2 + 1] = guard;
        const std::size_t got = player.render(block.data(), blockFrames);
        check(got <= blockFrames);
        check(block[blockFrames * 2] == guard && block[blockFrames * 2 + 1] == guard);
        check(got == blockFrames || !options.loop || player.ended());
        checkChannels(player, module);
        if (done < comparedFrames) {
            check(twin.render(twinBlock.data(), blockFrames) == got);
            for (std::size_t i = 0; i < got * 2; ++i) {
                check(block[i] == twinBlock[i]);
            }
        }
        if (got < blockFrames) {
            check(player.ended());
            break;
        }
        done += got;
    }
    return 0;
}
