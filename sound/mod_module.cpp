#include "sound/mod_module.h"

#include <algorithm>
#include <cstring>

namespace {

// The layout of the file's header.
constexpr std::size_t titleLength = 20;
constexpr std::size_t sampleHeaderLength = 30;
constexpr std::size_t sampleNameLength = 22;
constexpr std::size_t cellLength = 4;

// A bounds-checked view of the file.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool has(std::size_t offset, std::size_t length) const
    {
        return offset <= size_ && length <= size_ - offset;
    }
    std::uint8_t byte(std::size_t offset) const { return data_[offset]; }
    // Big-endian 16-bit word, as the Amiga stores it.
    std::uint32_t word(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(data_[offset] << 8 | data_[offset + 1]);
    }
    std::string text(std::size_t offset, std::size_t length) const
    {
        const char* start = reinterpret_cast<const char*>(data_ + offset);
        return std::string(start, strnlen(start, length));
    }
    const std::uint8_t* at(std::size_t offset) const { return data_ + offset; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// The channel count that a 31-sample file's signature announces, or 0 when the four
// bytes are no known signature.
int channelsOfSignature(const char s[4])
{
    const std::string signature(s, 4);
    if (signature == "M.K." || signature == "M!K!" || signature == "FLT4" || signature == "4CHN") {
        return 4;
    }
    if (signature == "FLT8" || signature == "OCTA" || signature == "CD81") {
        return 8;
    }
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    // "5CHN" to "9CHN"
    if (digit(s[0]) && signature.compare(1, 3, "CHN") == 0 && s[0] >= '5') {
        return s[0] - '0';
    }
    // "10CH" to "32CH"
    if (digit(s[0]) && digit(s[1]) && s[2] == 'C' && s[3] == 'H') {
        const int channels = (s[0] - '0') * 10 + (s[1] - '0');
        if (channels >= 10 && channels <= 32) {
            return channels;
        }
    }
    return 0;
}

ModSample readSampleHeader(const Reader& file, std::size_t offset)
{
    ModSample sample;
    sample.name = file.text(offset, sampleNameLength);
    // The finetune is a signed nibble: 8 to 15 stand for -8 to -1.
    const int finetune = file.byte(offset + 24) & 0x0F;
    sample.finetune = finetune >= 8 ? finetune - 16 : finetune;
    sample.volume = std::min<int>(file.byte(offset + 25), 64);
    // Lengths and loop points are counted in 16-bit words.
    sample.data.resize(file.word(offset + 22) * 2);
    sample.loopStart = file.word(offset + 26) * 2;
    sample.loopLength = file.word(offset + 28) * 2;
    return sample;
}

// A Soundtracker file has no signature; accept it only where its header makes sense,
// so that any other data is not taken for music: volumes of at most 64, no finetunes
// (Soundtracker had none) and pattern numbers below 64.
bool plausibleSoundtracker(const Reader& file, std::size_t orderOffset)
{
    for (std::size_t i = 0; i < 15; ++i) {
        const std::size_t header = titleLength + i * sampleHeaderLength;
        if (file.byte(header + 25) > 64 || file.byte(header + 24) != 0) {
            return false;
        }
    }
    for (std::size_t i = 0; i < ModModule::maxOrders; ++i) {
        if (file.byte(orderOffset + i) >= 64) {
            return false;
        }
    }
    return true;
}

// Keeps the loop inside the sample; a loop of two bytes or less is no loop.
void fitLoop(ModSample& sample)
{
    const std::uint32_t length = static_cast<std::uint32_t>(sample.data.size());
    if (sample.loopStart >= length) {
        sample.loopStart = 0;
        sample.loopLength = 0;
        return;
    }
    sample.loopLength = std::min(sample.loopLength, length - sample.loopStart);
    if (sample.loopLength <= 2) {
        sample.loopStart = 0;
        sample.loopLength = 0;
    }
}

} // namespace

const char* describe(ModLoadResult result)
{
    switch (result) {
    case ModLoadResult::Loaded:
        return "loaded";
    case ModLoadResult::HeaderCutShort:
        return "the file ends inside its header";
    case ModLoadResult::UnknownFormat:
        return "not a module in a known format";
    case ModLoadResult::BadSongLength:
        return "the song length is not between 1 and 128";
    case ModLoadResult::PatternsCutShort:
        return "the file ends inside its patterns";
    }
    return "unknown result";
}

ModLoadResult loadMod(const std::uint8_t* data, std::size_t size, ModModule& module)
{
    module = ModModule{};
    if (!data) {
        size = 0;
    }
    const Reader file(data, size);

    // A 31-sample file announces itself with a signature after its order list; a
    // file without one is read as a 15-sample Soundtracker module.
    int sampleCount = 31;
    const std::size_t signatureOffset = titleLength + 31 * sampleHeaderLength + 2 + ModModule::maxOrders;
    int channels = 0;
    if (file.has(signatureOffset, 4)) {
        channels = channelsOfSignature(reinterpret_cast<const char*>(file.at(signatureOffset)));
    }
    if (channels == 0) {
        sampleCount = 15;
        channels = 4;
    }

    const std::size_t songLengthOffset = titleLength + static_cast<std::size_t>(sampleCount) * sampleHeaderLength;
    const std::size_t orderOffset = songLengthOffset + 2;
    const std::size_t patternOffset = orderOffset + ModModule::maxOrders + (sampleCount == 31 ? 4 : 0);
    if (!file.has(0, patternOffset)) {
        return ModLoadResult::HeaderCutShort;
    }

    ModModule loaded;
    loaded.title = file.text(0, titleLength);
    loaded.channels = channels;
    for (int i = 0; i < sampleCount; ++i) {
        loaded.samples.push_back(
            readSampleHeader(file, titleLength + static_cast<std::size_t>(i) * sampleHeaderLength));
    }
    if (sampleCount == 15 && !plausibleSoundtracker(file, orderOffset)) {
        return ModLoadResult::UnknownFormat;
    }

    loaded.songLength = file.byte(songLengthOffset);
    if (loaded.songLength < 1 || loaded.songLength > ModModule::maxOrders) {
        return ModLoadResult::BadSongLength;
    }
    loaded.restartPosition = file.byte(songLengthOffset + 1);
    if (loaded.restartPosition >= loaded.songLength) {
        loaded.restartPosition = 0;
    }

    // Every stored pattern counts, played or not: the sample data follows the highest.
    // Entries with the high bit set are no pattern numbers and are left to the replayer.
    int highest = 0;
    for (std::size_t i = 0; i < ModModule::maxOrders; ++i) {
        loaded.orders[i] = file.byte(orderOffset + i);
        if (loaded.orders[i] < 0x80) {
            highest = std::max<int>(highest, loaded.orders[i]);
        }
    }
    loaded.patternCount = highest + 1;

    const std::size_t patternBytes = static_cast<std::size_t>(ModModule::rowsPerPattern) *
                                     static_cast<std::size_t>(channels) * cellLength;
    const std::size_t allPatternBytes = patternBytes * static_cast<std::size_t>(loaded.patternCount);
    if (!file.has(patternOffset, allPatternBytes)) {
        return ModLoadResult::PatternsCutShort;
    }
    loaded.cells.resize(allPatternBytes / cellLength);
    for (std::size_t i = 0; i < loaded.cells.size(); ++i) {
        const std::uint8_t* c = file.at(patternOffset + i * cellLength);
        ModCell& cell = loaded.cells[i];
        cell.sample = static_cast<std::uint8_t>((c[0] & 0xF0) | (c[2] >> 4));
        cell.period = static_cast<std::uint16_t>((c[0] & 0x0F) << 8 | c[1]);
        cell.effect = c[2] & 0x0F;
        cell.parameter = c[3];
        if (cell.sample > sampleCount) {
            cell.sample = 0;
        }
    }

    // Sample data, one after the other; a sample that the file cuts short keeps what
    // there is of it.
    std::size_t offset = patternOffset + allPatternBytes;
    for (ModSample& sample : loaded.samples) {
        const std::size_t available = offset < size ? size - offset : 0;
        const std::size_t length = std::min(sample.data.size(), available);
        sample.data.resize(length);
        if (length > 0) {
            std::memcpy(sample.data.data(), file.at(offset), length);
        }
        offset += length;
        fitLoop(sample);
    }

    module = std::move(loaded);
    return ModLoadResult::Loaded;
}
