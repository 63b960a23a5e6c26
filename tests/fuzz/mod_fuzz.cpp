// libFuzzer target: any bytes go through the loaders and, when they load, through the
// song scan and a few seconds of playback. Besides the sanitizers' findings it traps on
// a channel state out of its documented range, on a player that writes more than it was
// asked for, and on two players of the same module that disagree.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sound/module.h"
#include "sound/player.h"

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
PlayerOptions optionsFor(std::size_t size)
{
    static constexpr int rates[4] = {44100, 22050, 11025, 8000};
    PlayerOptions options;
    options.rate = rates[size % 4];
    options.loop = (size >> 2 & 1) == 0;
    options.ramp = (size >> 3 & 1) == 0;
    options.interpolate = (size >> 4 & 1) == 0;
    return options;
}

void checkChannels(const Player& player, const Module& module)
{
    for (int c = 0; c < module.channels; ++c) {
        const ChannelTrace trace = player.channel(c);
        check(trace.sample >= 0 && trace.sample <= static_cast<int>(module.samples.size()));
        check(trace.volume >= 0 && trace.volume <= 64);
        check(trace.panning >= 0 && trace.panning <= 255);
    }
    check(player.order() >= 0 && player.order() < static_cast<int>(module.orders.size()));
    // A song none of whose orders names a stored pattern ends before it plays a row.
    if (player.ended() && player.passes() == 0 && player.tick() == 0) {
        return;
    }
    const int pattern = module.orders[static_cast<std::size_t>(player.order())];
    check(pattern < static_cast<int>(module.patterns.size()));
    check(player.row() >= 0 && player.row() < module.patterns[static_cast<std::size_t>(pattern)].rows);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Module module;
    if (loadModule(data, size, module) != LoadResult::Loaded) {
        return 0;
    }
    const double seconds = songSeconds(module, scanLimitSeconds);
    check(std::isfinite(seconds) && seconds >= 0.0);

    const PlayerOptions options = optionsFor(size);
    Player player(module, options);
    Player twin(module, options);
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
