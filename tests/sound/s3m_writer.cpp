#include "tests/sound/s3m_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/sound/tracker_fields.h"

namespace {

constexpr std::size_t headerLength = 0x60;
constexpr std::size_t channelSlots = 32;
constexpr std::size_t sampleHeaderLength = 0x50;
constexpr int rowsPerPattern = 64;
constexpr std::size_t nameLength = 28;

// Pads the file to the next 16-byte boundary and gives that boundary's parapointer,
// which must fit in `bits` bits.
std::uint32_t alignedParagraph(std::vector<std::uint8_t>& out, int bits)
{
    out.resize((out.size() + 15) / 16 * 16, 0);
    const std::size_t paragraph = out.size() / 16;
    if (paragraph >= (std::size_t{1} << bits)) {
        throw std::length_error("the module is too large for an S3M file's parapointers");
    }
    return static_cast<std::uint32_t>(paragraph);
}

// The 0 to 15 step nearest to a panning of 0 to 256.
std::uint8_t panningNibble(int panning)
{
    return static_cast<std::uint8_t>(std::clamp((panning * 15 + 128) / 256, 0, 15));
}

std::uint8_t noteByte(std::uint8_t note)
{
    if (note == noteCut) {
        return 254;
    }
    // Our C-1 is S3M's C-0; notes below it, and any other kind of note, cannot be written.
    if (!isPlayableNote(note) || note < 13) {
        return 255;
    }
    const int octave = (note - 1) / 12 - 1;
    const int semitone = (note - 1) % 12;
    return static_cast<std::uint8_t>(octave << 4 | semitone);
}

// Appends one pattern in the packed form: for each row the cells that hold anything,
// then a zero; the length word in front counts itself.
void putPattern(std::vector<std::uint8_t>& out, const Pattern& pattern, int channels, int writtenChannels)
{
    const std::size_t start = out.size();
    out.resize(start + 2);
    // Rows past the pattern's own stay empty: S3M patterns have 64.
    for (int row = 0; row < rowsPerPattern; ++row) {
        const int filledChannels = row < pattern.rows ? writtenChannels : 0;
        for (int channel = 0; channel < filledChannels; ++channel) {
            const Cell& cell = pattern.cell(row, channel, channels);
            std::uint8_t what = static_cast<std::uint8_t>(channel);
            if (cell.note != noteNone || cell.instrument != 0) {
                what |= 32;
            }
            if (cell.volumeCommand == VolumeCommand::Volume) {
                what |= 64;
            }
            if (cell.effect != Effect::None || cell.parameter != 0) {
                what |= 128;
            }
            if (what == channel) {
                continue;
            }
            out.push_back(what);
            if (what & 32) {
                out.push_back(noteByte(cell.note));
                out.push_back(cell.instrument);
            }
            if (what & 64) {
                out.push_back(std::min<std::uint8_t>(cell.volumeValue, 64));
            }
            if (what & 128) {
                out.push_back(commandNumber(cell.effect));
                out.push_back(cell.parameter);
            }
        }
        out.push_back(0);
    }
    putLittleWord(out, start, static_cast<std::uint32_t>(out.size() - start));
}

// Appends a sample's data as Scream Tracker stores it: unsigned, little-endian when
// 16-bit, and a stereo sample's left channel before its right one.
void putSampleData(std::vector<std::uint8_t>& out, const Sample& sample)
{
    const std::size_t channels = static_cast<std::size_t>(sample.channels);
    const std::size_t frames = sample.frames();
    for (std::size_t channel = 0; channel < channels; ++channel) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const std::uint16_t value =
                static_cast<std::uint16_t>(static_cast<std::uint16_t>(sample.data[frame * channels + channel]) ^ 0x8000);
            if (sample.sixteenBit) {
                out.push_back(static_cast<std::uint8_t>(value & 0xFF));
            }
            out.push_back(static_cast<std::uint8_t>(value >> 8));
        }
    }
}

} // namespace

std::vector<std::uint8_t> writeS3m(const Module& module)
{
    const std::size_t orders = module.orders.size();
    const std::size_t samples = module.samples.size();
    const std::size_t patterns = module.patterns.size();
    const int writtenChannels = std::min<int>(module.channels, static_cast<int>(channelSlots));

    std::vector<std::uint8_t> out(headerLength + orders + samples * 2 + patterns * 2 + channelSlots, 0);
    putName(out, 0, module.title, nameLength);
    out[0x1C] = 0x1A;
    out[0x1D] = 16;
    putLittleWord(out, 0x20, static_cast<std::uint32_t>(orders));
    putLittleWord(out, 0x22, static_cast<std::uint32_t>(samples));
    putLittleWord(out, 0x24, static_cast<std::uint32_t>(patterns));
    putLittleWord(out, 0x26, (module.amigaLimits ? 16u : 0u) | (module.fastVolumeSlides ? 64u : 0u));
    putLittleWord(out, 0x28, 0x1320);   // Scream Tracker 3.20
    putLittleWord(out, 0x2A, 2);        // unsigned samples
    std::copy_n("SCRM", 4, out.begin() + 0x2C);
    out[0x30] = static_cast<std::uint8_t>(std::clamp(module.initialGlobalVolume / 2, 0, 64));
    out[0x31] = static_cast<std::uint8_t>(std::clamp(module.initialSpeed, 1, 255));
    out[0x32] = static_cast<std::uint8_t>(std::clamp(module.initialTempo, 32, 255));
    out[0x33] = static_cast<std::uint8_t>(std::clamp(module.mixingVolume, 16, 127) | (module.stereo ? 0x80 : 0));
    out[0x35] = 252;              // a panning table follows the parapointers

    // Each channel takes a left or right sample channel of its own as long as there are
    // eight of each; the panning table gives the exact position.
    const std::size_t panningTable = headerLength + orders + samples * 2 + patterns * 2;
    int lefts = 0;
    int rights = 0;
    for (std::size_t i = 0; i < channelSlots; ++i) {
        if (i >= static_cast<std::size_t>(writtenChannels)) {
            out[0x40 + i] = 255;
            continue;
        }
        const ChannelSettings& channel = module.channelSettings[i];
        const std::uint8_t type =
            static_cast<std::uint8_t>(channel.panning < 128 ? lefts++ % 8 : 8 + rights++ % 8);
        out[0x40 + i] = static_cast<std::uint8_t>(type | (channel.muted ? 0x80 : 0));
        out[panningTable + i] = static_cast<std::uint8_t>(0x20 | panningNibble(channel.panning));
    }

    for (std::size_t i = 0; i < orders; ++i) {
        const std::uint16_t order = module.orders[i];
        out[headerLength + i] = static_cast<std::uint8_t>(order == orderSkip ? 254 : order < 254 ? order : 255);
    }

    // Sample headers, then patterns, then the sample data.
    std::vector<std::size_t> sampleHeaders;
    for (std::size_t i = 0; i < samples; ++i) {
        const std::uint32_t paragraph = alignedParagraph(out, 16);
        putLittleWord(out, headerLength + orders + i * 2, paragraph);
        sampleHeaders.push_back(out.size());
        out.resize(out.size() + sampleHeaderLength, 0);
    }
    for (std::size_t i = 0; i < patterns; ++i) {
        const std::uint32_t paragraph = alignedParagraph(out, 16);
        putLittleWord(out, headerLength + orders + samples * 2 + i * 2, paragraph);
        putPattern(out, module.patterns[i], module.channels, writtenChannels);
    }
    for (std::size_t i = 0; i < samples; ++i) {
        const Sample& sample = module.samples[i];
        const std::size_t header = sampleHeaders[i];
        const bool pcm = !sample.data.empty();
        out[header] = pcm ? 1 : 0;
        putName(out, header + 0x30, sample.name, nameLength);
        std::copy_n("SCRS", 4, out.begin() + static_cast<std::ptrdiff_t>(header + 0x4C));
        out[header + 0x1C] = static_cast<std::uint8_t>(std::clamp(sample.volume, 0, 64));
        putLittleDword(out, header + 0x20, sample.c5Speed);
        if (!pcm) {
            continue;
        }
        const std::uint32_t paragraph = alignedParagraph(out, 24);
        out[header + 0x0D] = static_cast<std::uint8_t>(paragraph >> 16);
        putLittleWord(out, header + 0x0E, paragraph & 0xFFFF);
        putLittleDword(out, header + 0x10, sample.frames());
        if (sample.loop != LoopMode::None) {
            putLittleDword(out, header + 0x14, sample.loopStart);
            putLittleDword(out, header + 0x18, sample.loopEnd);
        }
        out[header + 0x1F] = static_cast<std::uint8_t>((sample.loop != LoopMode::None ? 1 : 0) |
                                                       (sample.channels == 2 ? 2 : 0) | (sample.sixteenBit ? 4 : 0));
        // Scream Tracker saves where the sample sat in the sound card's memory here, 1 on a
        // SoundBlaster. Players tell a file that Scream Tracker 3.20 saved by it, and play
        // it by that tracker's rules; the SoundBlaster is the card whose mix the master
        // volume scales.
        putLittleWord(out, header + 0x28, 1);
        putSampleData(out, sample);
    }
    return out;
}
