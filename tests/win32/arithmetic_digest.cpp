#include "tests/win32/arithmetic_digest.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/ripple_surface.h"
#include "sound/player.h"

namespace {

constexpr int waterSize = 50;
constexpr float waterSplashHeight = 2.0f;
constexpr int waterSteps = 400;
constexpr int stepsBetweenSplashes = 80;

constexpr int soundRate = 44100;
constexpr std::size_t soundFrames = 90u * soundRate;

// 64-bit FNV-1a over bytes given least significant first, whatever the machine's order.
class Fnv1a {
public:
    void add(std::uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i) {
            hash_ = (hash_ ^ ((value >> (8 * i)) & 0xFFu)) * 0x100000001B3u;
        }
    }
    void add(float value)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        add(bits, 4);
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325u;
};

std::string hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// The steps that the water's draw takes after its strips: the normals of what was
// drawn, then one step of the heights.
std::string waterDigest()
{
    const auto surface = std::make_unique<RippleSurface>();
    surface->setup(waterSize, waterSplashHeight);
    Fnv1a heights;
    Fnv1a normals;
    for (int step = 0; step < waterSteps; ++step) {
        if (step % stepsBetweenSplashes == 0) {
            surface->splash();
        }
        surface->computeNormals();
        surface->step();
        for (int i = 0; i < waterSize; ++i) {
            for (int j = 0; j < waterSize; ++j) {
                heights.add(surface->positions[i][j].y);
                normals.add(surface->normals[i][j].x);
                normals.add(surface->normals[i][j].y);
                normals.add(surface->normals[i][j].z);
            }
        }
    }
    return "water heights " + hex(heights.value()) + " normals " + hex(normals.value());
}

std::string soundtrackDigest(const Module& module)
{
    PlayerOptions options;
    options.rate = soundRate;
    options.loop = true;
    options.ramp = true;
    options.interpolate = true;
    Player player(module, options);
    Fnv1a samples;
    std::vector<std::int16_t> block(2 * 4096);
    std::size_t rendered = 0;
    while (rendered < soundFrames) {
        const std::size_t wanted = std::min<std::size_t>(block.size() / 2, soundFrames - rendered);
        const std::size_t got = player.render(block.data(), wanted);
        for (std::size_t i = 0; i < 2 * got; ++i) {
            samples.add(static_cast<std::uint16_t>(block[i]), 2);
        }
        rendered += got;
        if (got < wanted) {
            break;
        }
    }
    return "soundtrack frames " + std::to_string(rendered) + " samples " + hex(samples.value());
}

} // namespace

std::string arithmeticDigest(const Module& module)
{
    return waterDigest() + "; " + soundtrackDigest(module);
}
