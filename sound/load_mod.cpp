#include <algorithm>
#include <cstring>

#include "sound/byte_reader.h"
#include "sound/module.h"
#include "sound/mod_tables.h"

namespace {

// The layout of the file's header.
constexpr std::size_t titleLength = 20;
constexpr std::size_t sampleHeaderLength = 30;
constexpr std::size_t sampleNameLength = 22;
constexpr std::size_t cellLength = 4;
constexpr std::size_t maxOrders = 128;
constexpr int rowsPerPattern = 64;

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

// A sample's header; its data, counted here in bytes, is read once the patterns are.
Sample readSampleHeader(const ByteReader& file, std::size_t offset, std::uint32_t& loopLength)
{
    Sample sample;
    sample.name = file.text(offset, sampleNameLength);
    // The finetune is a signed nibble, 8 to 15 standing for -8 to -1, in eighths of a
    // semitone.
    const int finetune = file.byte(offset + 24) & 0x0F;
    sample.finetune = (finetune >= 8 ? finetune - 16 : finetune) * 16;
    sample.volume = std::min<int>(file.byte(offset + 25), 64);
    // Lengths and loop points are counted in 16-bit words.
    sample.data.resize(file.bigWord(offset + 22) * 2);
    sample.loopStart = file.bigWord(offset + 26) * 2;
    loopLength = file.bigWord(offset + 28) * 2;
    return sample;
}

// A Soundtracker file has no signature; accept it only where its header makes sense,
// so that any other data is not taken for music: volumes of at most 64, no finetunes
// (Soundtracker had none) and pattern numbers below 64.
bool plausibleSoundtracker(const ByteReader& file, std::size_t orderOffset)
{
    for (std::size_t i = 0; i < 15; ++i) {
        const std::size_t header = titleLength + i * sampleHeaderLength;
        if (file.byte(header + 25) > 64 || file.byte(header + 24) != 0) {
            return false;
        }
    }
    for (std::size_t i = 0; i < maxOrders; ++i) {
        if (file.byte(orderOffset + i) >= 64) {
            return false;
        }
    }
    return true;
}

// Keeps the loop inside the sample; a loop of two bytes or less is no loop.
void fitLoop(Sample& sample, std::uint32_t loopLength)
{
    const std::uint32_t length = sample.frames();
    if (sample.loopStart >= length) {
        sample.loopStart = 0;
        return;
    }
    loopLength = std::min(loopLength, length - sample.loopStart);
    if (loopLength <= 2) {
        sample.loopStart = 0;
        return;
    }
    sample.loop = LoopMode::Forward;
    sample.loopEnd = sample.loopStart + loopLength;
}

// The command of a cell's effect nibble; 000 is no effect at all.
Effect effectOf(int nibble, int parameter)
{
    static constexpr Effect effects[16] = {
        Effect::Arpeggio,      Effect::PortamentoUp,   Effect::PortamentoDown,       Effect::TonePortamento,
        Effect::Vibrato,       Effect::TonePortamentoVolume, Effect::VibratoVolume,  Effect::Tremolo,
        Effect::Panning,       Effect::SampleOffset,   Effect::VolumeSlide,          Effect::PositionJump,
        Effect::SetVolume,     Effect::PatternBreak,   Effect::Extended,             Effect::SpeedTempo,
    };
    return nibble == 0 && parameter == 0 ? Effect::None : effects[nibble];
}

} // namespace

LoadResult loadMod(const std::uint8_t* data, std::size_t size, Module& module)
{
    module = Module{};
    const ByteReader file(data, size);

    // A 31-sample file announces itself with a signature after its order list; a
    // file without one is read as a 15-sample Soundtracker module.
    int sampleCount = 31;
    const std::size_t signatureOffset = titleLength + 31 * sampleHeaderLength + 2 + maxOrders;
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
    const std::size_t patternOffset = orderOffset + maxOrders + (sampleCount == 31 ? 4 : 0);
    if (!file.has(0, patternOffset)) {
        return LoadResult::HeaderCutShort;
    }

    Module loaded;
    loaded.format = ModuleFormat::Mod;
    loaded.title = file.text(0, titleLength);
    loaded.channels = channels;
    std::vector<std::uint32_t> loopLengths(static_cast<std::size_t>(sampleCount));
    for (int i = 0; i < sampleCount; ++i) {
        loaded.samples.push_back(readSampleHeader(file, titleLength + static_cast<std::size_t>(i) * sampleHeaderLength,
                                                  loopLengths[static_cast<std::size_t>(i)]));
    }
    if (sampleCount == 15 && !plausibleSoundtracker(file, orderOffset)) {
        return LoadResult::UnknownFormat;
    }

    const int songLength = file.byte(songLengthOffset);
    if (songLength < 1 || songLength > static_cast<int>(maxOrders)) {
        return LoadResult::BadSongLength;
    }
    loaded.restartPosition = file.byte(songLengthOffset + 1);
    if (loaded.restartPosition >= songLength) {
        loaded.restartPosition = 0;
    }

    // Every stored pattern counts, played or not: the sample data follows the highest.
    // Entries with the high bit set are no pattern numbers and are left to the replayer.
    int highest = 0;
    for (std::size_t i = 0; i < maxOrders; ++i) {
        const int pattern = file.byte(orderOffset + i);
        if (i < static_cast<std::size_t>(songLength)) {
            loaded.orders.push_back(static_cast<std::uint16_t>(pattern));
        }
        if (pattern < 0x80) {
            highest = std::max(highest, pattern);
        }
    }
    const std::size_t patternCount = static_cast<std::size_t>(highest) + 1;

    const std::size_t cellsPerPattern = static_cast<std::size_t>(rowsPerPattern) * static_cast<std::size_t>(channels);
    if (!file.has(patternOffset, patternCount * cellsPerPattern * cellLength)) {
        return LoadResult::PatternsCutShort;
    }
    loaded.patterns.resize(patternCount);
    for (std::size_t p = 0; p < patternCount; ++p) {
        Pattern& pattern = loaded.patterns[p];
        pattern.rows = rowsPerPattern;
        pattern.cells.resize(cellsPerPattern);
        for (std::size_t i = 0; i < cellsPerPattern; ++i) {
            const std::uint8_t* c = file.at(patternOffset + (p * cellsPerPattern + i) * cellLength);
            Cell& cell = pattern.cells[i];
            const int sample = (c[0] & 0xF0) | (c[2] >> 4);
            cell.instrument = static_cast<std::uint8_t>(sample <= sampleCount ? sample : 0);
            cell.period = static_cast<std::uint16_t>((c[0] & 0x0F) << 8 | c[1]);
            if (cell.period != 0) {
                // For display: ProTracker's C-1 is our C-4.
                cell.note = static_cast<std::uint8_t>(noteMiddleC - 12 + modNoteAtOrBelow(0, cell.period));
            }
            cell.effect = effectOf(c[2] & 0x0F, c[3]);
            cell.parameter = c[3];
        }
    }

    // Sample data, one after the other, 8-bit signed; a sample that the file cuts short
    // keeps what there is of it.
    std::size_t offset = patternOffset + patternCount * cellsPerPattern * cellLength;
    for (std::size_t i = 0; i < loaded.samples.size(); ++i) {
        Sample& sample = loaded.samples[i];
        const std::size_t available = offset < size ? size - offset : 0;
        const std::size_t length = std::min(sample.data.size(), available);
        sample.data.resize(length);
        for (std::size_t j = 0; j < length; ++j) {
            sample.data[j] = static_cast<std::int16_t>(static_cast<std::int8_t>(file.byte(offset + j)) * 256);
        }
        offset += length;
        fitLoop(sample, loopLengths[i]);
    }

    module = std::move(loaded);
    return LoadResult::Loaded;
}
