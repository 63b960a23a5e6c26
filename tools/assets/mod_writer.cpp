#include "tools/assets/mod_writer.h"

#include <algorithm>
#include <string>

namespace {

void putText(std::vector<std::uint8_t>& out, const std::string& text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

void putWord(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::string signature(int channels)
{
    if (channels == 4) {
        return "M.K.";
    }
    if (channels < 10) {
        return std::to_string(channels) + "CHN";
    }
    return std::to_string(channels) + "CH";
}

} // namespace

std::vector<std::uint8_t> writeMod(const ModSong& module)
{
    std::vector<std::uint8_t> out;
    putText(out, module.title, 20);
    const std::size_t sampleCount = module.samples.size() == 15 ? 15 : 31;
    for (std::size_t i = 0; i < sampleCount; ++i) {
        const ModSample sample = i < module.samples.size() ? module.samples[i] : ModSample{};
        putText(out, sample.name, 22);
        putWord(out, sample.data.size() / 2);
        out.push_back(static_cast<std::uint8_t>(sample.finetune & 0x0F));
        out.push_back(static_cast<std::uint8_t>(sample.volume));
        // A sample without a loop has a loop length of one word, as trackers write it.
        putWord(out, sample.loopStart / 2);
        putWord(out, sample.looped() ? sample.loopLength / 2 : 1);
    }
    out.push_back(static_cast<std::uint8_t>(module.songLength));
    out.push_back(static_cast<std::uint8_t>(sampleCount == 15 ? 0x78 : module.restartPosition));
    int highest = module.patternCount - 1;
    for (int i = 0; i < ModSong::maxOrders; ++i) {
        out.push_back(module.orders[static_cast<std::size_t>(i)]);
        if (module.orders[static_cast<std::size_t>(i)] < 0x80) {
            highest = std::max<int>(highest, module.orders[static_cast<std::size_t>(i)]);
        }
    }
    if (sampleCount == 31) {
        putText(out, signature(module.channels), 4);
    }

    const std::size_t cellsPerPattern = static_cast<std::size_t>(ModSong::rowsPerPattern * module.channels);
    for (std::size_t i = 0; i < static_cast<std::size_t>(highest + 1) * cellsPerPattern; ++i) {
        const ModCell cell = i < module.cells.size() ? module.cells[i] : ModCell{};
        out.push_back(static_cast<std::uint8_t>((cell.sample & 0xF0) | (cell.period >> 8 & 0x0F)));
        out.push_back(static_cast<std::uint8_t>(cell.period & 0xFF));
        out.push_back(static_cast<std::uint8_t>((cell.sample & 0x0F) << 4 | (cell.effect & 0x0F)));
        out.push_back(cell.parameter);
    }

    for (std::size_t i = 0; i < sampleCount; ++i) {
        if (i < module.samples.size()) {
            const std::vector<std::int8_t>& data = module.samples[i].data;
            out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() & ~std::size_t{1}));
        }
    }
    return out;
}

ModSong makeEmptySong(int channels, int patterns)
{
    ModSong module;
    module.channels = channels;
    module.songLength = patterns;
    module.patternCount = patterns;
    for (int i = 0; i < patterns; ++i) {
        module.orders[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    }
    module.samples.resize(31);
    module.cells.resize(static_cast<std::size_t>(patterns * ModSong::rowsPerPattern * channels));
    return module;
}
