#include "tests/sound/it_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/sound/tracker_fields.h"

namespace {

constexpr std::size_t headerLength = 0xC0;
constexpr std::size_t instrumentLength = 554;
constexpr std::size_t sampleHeaderLength = 0x50;
constexpr int fileChannels = 64;

class ByteWriter {
public:
    std::vector<std::uint8_t> bytes;

    std::size_t size() const { return bytes.size(); }
    void grow(std::size_t length) { bytes.resize(bytes.size() + length, 0); }
    void put8(std::size_t offset, int value) { bytes.at(offset) = static_cast<std::uint8_t>(value); }
    void put16(std::size_t offset, std::uint32_t value) { putLittleWord(bytes, offset, value); }
    void put32(std::size_t offset, std::uint32_t value) { putLittleDword(bytes, offset, value); }
    void putText(std::size_t offset, const std::string& text, std::size_t length)
    {
        putName(bytes, offset, text, length);
    }
    void append(const std::vector<std::uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
};

class BitWriter {
public:
    std::vector<std::uint8_t> bytes;

    void put(std::uint32_t value, int width)
    {
        for (int i = 0; i < width; ++i) {
            if (bitCount_ % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | ((value >> i) & 1) << (bitCount_ % 8));
            ++bitCount_;
        }
    }

private:
    int bitCount_ = 0;
};

// The compression scheme's numbers for 8-bit or 16-bit values.
struct Scheme {
    explicit Scheme(bool sixteenBit)
        : valueBits(sixteenBit ? 16 : 8), widest(valueBits + 1), widthFieldBits(sixteenBit ? 4 : 3),
          middleCodes(sixteenBit ? 16 : 8), valueMask((1u << valueBits) - 1)
    {
    }

    // Whether delta v can be written at width w without looking like a width change.
    bool fits(std::int32_t v, int w) const
    {
        if (w == widest) {
            return true;
        }
        const std::int32_t half = 1 << (w - 1);
        // Widths 1 to 6 give up their lowest value to announce a change, the middle
        // widths the values around the wrap from their highest to their lowest.
        if (w <= 6) {
            return v > -half && v < half;
        }
        const std::int32_t reserved = static_cast<std::int32_t>(middleCodes / 2);
        const std::int32_t low = -half + reserved;
        const std::int32_t high = half - 1 - reserved;
        return v >= low && v <= high;
    }
    int narrowest(std::int32_t v) const
    {
        int w = 1;
        while (!fits(v, w)) {
            ++w;
        }
        return w;
    }

    int valueBits;
    int widest;
    int widthFieldBits;
    std::uint32_t middleCodes;
    std::uint32_t valueMask;
};

void writeWidthChange(BitWriter& bits, const Scheme& scheme, int from, int to, ItWidthChanges* changes)
{
    // The narrow and middle widths name the new width among those other than the
    // present one, so widths above it count one less.
    const std::uint32_t code = static_cast<std::uint32_t>(to < from ? to : to - 1);
    if (from <= 6) {
        bits.put(1u << (from - 1), from);
        bits.put(code - 1, scheme.widthFieldBits);
        if (changes) {
            ++changes->fromNarrow;
        }
    } else if (from < scheme.widest) {
        const std::uint32_t border = (scheme.valueMask >> (scheme.widest - from)) - scheme.middleCodes / 2;
        bits.put(border + code, from);
        if (changes) {
            ++changes->fromMiddle;
        }
    } else {
        bits.put(1u << scheme.valueBits | static_cast<std::uint32_t>(to - 1), from);
        if (changes) {
            ++changes->fromWidest;
        }
    }
}

// Encodes one block's deltas. The width rises as soon as a delta needs it and falls
// when the next few deltas all fit a narrower one, which is simple and keeps the
// number of changes small.
std::vector<std::uint8_t> encodeBlock(const std::vector<std::int32_t>& deltas, const Scheme& scheme,
                                      ItWidthChanges* changes)
{
    constexpr std::size_t lookAhead = 8;
    BitWriter bits;
    int width = scheme.widest;
    for (std::size_t i = 0; i < deltas.size(); ++i) {
        const std::int32_t v = deltas[i];
        int target = width;
        if (!scheme.fits(v, width)) {
            target = scheme.narrowest(v);
        } else {
            int needed = 1;
            for (std::size_t j = i; j < std::min(deltas.size(), i + lookAhead); ++j) {
                needed = std::max(needed, scheme.narrowest(deltas[j]));
            }
            target = std::min(width, needed);
        }
        if (target != width) {
            writeWidthChange(bits, scheme, width, target, changes);
            width = target;
        }
        // At the widest width the bit above the value stays clear: it marks a change.
        bits.put(static_cast<std::uint32_t>(v) & scheme.valueMask, width);
    }
    return bits.bytes;
}

std::int32_t wrapSigned(std::int32_t v, const Scheme& scheme)
{
    const std::uint32_t low = static_cast<std::uint32_t>(v) & scheme.valueMask;
    const std::uint32_t sign = 1u << (scheme.valueBits - 1);
    return static_cast<std::int32_t>(low ^ sign) - static_cast<std::int32_t>(sign);
}

std::uint8_t fileNote(std::uint8_t note)
{
    if (note == noteOff) {
        return 255;
    }
    if (note == noteCut) {
        return 254;
    }
    if (note == noteFade) {
        return 253;
    }
    return static_cast<std::uint8_t>(note - 1);
}

// The volume column's byte for a cell, or -1 when the command has none in IT.
int fileVolume(const Cell& cell)
{
    const int v = cell.volumeValue;
    switch (cell.volumeCommand) {
    case VolumeCommand::Volume:
        return v;
    case VolumeCommand::FineVolumeUp:
        return 65 + v;
    case VolumeCommand::FineVolumeDown:
        return 75 + v;
    case VolumeCommand::VolumeSlideUp:
        return 85 + v;
    case VolumeCommand::VolumeSlideDown:
        return 95 + v;
    case VolumeCommand::PortamentoDown:
        return 105 + v;
    case VolumeCommand::PortamentoUp:
        return 115 + v;
    case VolumeCommand::Panning:
        return 128 + v;
    case VolumeCommand::TonePortamento:
        return 193 + v;
    case VolumeCommand::VibratoDepth:
        return 203 + v;
    default:
        return -1;
    }
}

// A pattern packed with the channel masks and the repeat-last-value bits, so that a
// loader's memory of both is exercised.
std::vector<std::uint8_t> packPattern(const Pattern& pattern, int channels)
{
    struct Last {
        int mask = -1;
        int note = -1;
        int instrument = -1;
        int volume = -1;
        int effect = -1;
        int parameter = -1;
    };
    std::array<Last, fileChannels> last{};
    std::vector<std::uint8_t> out;
    for (int row = 0; row < pattern.rows; ++row) {
        for (int c = 0; c < channels; ++c) {
            const Cell& cell = pattern.cell(row, c, channels);
            Last& memory = last[static_cast<std::size_t>(c)];
            int mask = 0;
            std::vector<std::uint8_t> fields;
            if (cell.note != noteNone) {
                const int note = fileNote(cell.note);
                if (note == memory.note) {
                    mask |= 16;
                } else {
                    mask |= 1;
                    fields.push_back(static_cast<std::uint8_t>(note));
                    memory.note = note;
                }
            }
            if (cell.instrument != 0) {
                if (cell.instrument == memory.instrument) {
                    mask |= 32;
                } else {
                    mask |= 2;
                    fields.push_back(cell.instrument);
                    memory.instrument = cell.instrument;
                }
            }
            const int volume = fileVolume(cell);
            if (volume >= 0) {
                if (volume == memory.volume) {
                    mask |= 64;
                } else {
                    mask |= 4;
                    fields.push_back(static_cast<std::uint8_t>(volume));
                    memory.volume = volume;
                }
            }
            const int effect = commandNumber(cell.effect);
            if (effect != 0) {
                if (effect == memory.effect && cell.parameter == memory.parameter) {
                    mask |= 128;
                } else {
                    mask |= 8;
                    fields.push_back(static_cast<std::uint8_t>(effect));
                    fields.push_back(cell.parameter);
                    memory.effect = effect;
                    memory.parameter = cell.parameter;
                }
            }
            if (mask == 0) {
                continue;
            }
            if (mask == memory.mask) {
                out.push_back(static_cast<std::uint8_t>(c + 1));
            } else {
                out.push_back(static_cast<std::uint8_t>((c + 1) | 0x80));
                out.push_back(static_cast<std::uint8_t>(mask));
                memory.mask = mask;
            }
            out.insert(out.end(), fields.begin(), fields.end());
        }
        out.push_back(0);
    }
    return out;
}

void writeEnvelope(ByteWriter& file, std::size_t offset, const Envelope& envelope)
{
    const int flags = (envelope.enabled ? 1 : 0) | (envelope.loop ? 2 : 0) | (envelope.sustain ? 4 : 0) |
                      (envelope.carry ? 8 : 0) | (envelope.filter ? 128 : 0);
    const std::size_t points = std::min<std::size_t>(envelope.points.size(), 25);
    file.put8(offset, flags);
    file.put8(offset + 1, static_cast<int>(points));
    file.put8(offset + 2, envelope.loopStart);
    file.put8(offset + 3, envelope.loopEnd);
    file.put8(offset + 4, envelope.sustainStart);
    file.put8(offset + 5, envelope.sustainEnd);
    for (std::size_t i = 0; i < points; ++i) {
        file.put8(offset + 6 + i * 3, envelope.points[i].value);
        file.put16(offset + 7 + i * 3, envelope.points[i].tick);
    }
}

void writeInstrument(ByteWriter& file, std::size_t offset, const Instrument& instrument)
{
    std::memcpy(&file.bytes[offset], "IMPI", 4);
    file.put8(offset + 0x11, static_cast<int>(instrument.newNoteAction));
    file.put8(offset + 0x12, static_cast<int>(instrument.duplicateCheck));
    file.put8(offset + 0x13, static_cast<int>(instrument.duplicateAction));
    file.put16(offset + 0x14, static_cast<std::uint32_t>(instrument.fadeout / 64));
    file.put8(offset + 0x16, instrument.pitchPanSeparation);
    file.put8(offset + 0x17, instrument.pitchPanCentre - 1);
    file.put8(offset + 0x18, instrument.globalVolume);
    file.put8(offset + 0x19, instrument.panning < 0 ? 0x80 | 32 : instrument.panning / 4);
    file.put8(offset + 0x1A, instrument.randomVolume);
    file.put8(offset + 0x1B, instrument.randomPanning);
    file.put16(offset + 0x1C, 0x0214);
    file.putText(offset + 0x20, instrument.name, 26);
    file.put8(offset + 0x3A, instrument.filterCutoff < 0 ? 0 : 0x80 | instrument.filterCutoff);
    file.put8(offset + 0x3B, instrument.filterResonance < 0 ? 0 : 0x80 | instrument.filterResonance);
    file.put16(offset + 0x3E, 0xFFFF);   // no MIDI bank
    for (std::size_t i = 0; i < instrument.keys.size(); ++i) {
        file.put8(offset + 0x40 + i * 2, instrument.keys[i].note - 1);
        file.put8(offset + 0x41 + i * 2, instrument.keys[i].sample);
    }
    writeEnvelope(file, offset + 0x130, instrument.volumeEnvelope);
    writeEnvelope(file, offset + 0x182, instrument.panningEnvelope);
    writeEnvelope(file, offset + 0x1D4, instrument.pitchEnvelope);
}

int fileWaveform(int waveform)
{
    switch (waveform) {
    case 1:
        return 2;   // square
    case 2:
        return 1;   // ramp down
    case 4:
        return 3;   // random
    default:
        return 0;   // sine, and the ramp up that IT lacks
    }
}

void writeSampleHeader(ByteWriter& file, std::size_t offset, const Sample& sample, ItSampleCoding coding)
{
    std::memcpy(&file.bytes[offset], "IMPS", 4);
    const bool hasData = sample.frames() > 0;
    int flags = (hasData ? 1 : 0) | (sample.sixteenBit ? 2 : 0) | (sample.channels == 2 ? 4 : 0);
    if (hasData && coding != ItSampleCoding::Raw) {
        flags |= 8;
    }
    if (sample.loop != LoopMode::None) {
        flags |= 16 | (sample.loop == LoopMode::PingPong ? 64 : 0);
    }
    if (sample.sustainLoop != LoopMode::None) {
        flags |= 32 | (sample.sustainLoop == LoopMode::PingPong ? 128 : 0);
    }
    file.put8(offset + 0x11, sample.globalVolume);
    file.put8(offset + 0x12, flags);
    file.put8(offset + 0x13, sample.volume);
    file.putText(offset + 0x14, sample.name, 26);
    file.put8(offset + 0x2E, 1 | (coding == ItSampleCoding::Compressed215 ? 4 : 0));
    file.put8(offset + 0x2F, sample.panning < 0 ? 32 : 0x80 | sample.panning / 4);
    file.put32(offset + 0x30, sample.frames());
    file.put32(offset + 0x34, sample.loopStart);
    file.put32(offset + 0x38, sample.loopEnd);
    file.put32(offset + 0x3C, sample.c5Speed);
    file.put32(offset + 0x40, sample.sustainStart);
    file.put32(offset + 0x44, sample.sustainEnd);
    file.put8(offset + 0x4C, sample.vibrato.speed);
    file.put8(offset + 0x4D, sample.vibrato.depth);
    file.put8(offset + 0x4E, sample.vibrato.sweep);
    file.put8(offset + 0x4F, fileWaveform(sample.vibrato.waveform));
}

std::vector<std::uint8_t> sampleData(const Sample& sample, ItSampleCoding coding)
{
    std::vector<std::uint8_t> out;
    const std::uint32_t frames = sample.frames();
    for (int c = 0; c < sample.channels; ++c) {
        if (coding != ItSampleCoding::Raw) {
            const std::vector<std::uint8_t> packed =
                compressItChannel(sample.data.data() + c, frames, sample.channels, sample.sixteenBit,
                                  coding == ItSampleCoding::Compressed215);
            out.insert(out.end(), packed.begin(), packed.end());
            continue;
        }
        for (std::uint32_t i = 0; i < frames; ++i) {
            const std::int16_t value = sample.data[static_cast<std::size_t>(i) * sample.channels + c];
            if (sample.sixteenBit) {
                out.push_back(static_cast<std::uint8_t>(value & 0xFF));
                out.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
            } else {
                out.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
            }
        }
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> compressItChannel(const std::int16_t* data, std::uint32_t frames, int stride,
                                            bool sixteenBit, bool it215, ItWidthChanges* changes)
{
    const Scheme scheme(sixteenBit);
    const std::uint32_t blockFrames = sixteenBit ? 0x4000 : 0x8000;
    std::vector<std::uint8_t> out;
    for (std::uint32_t start = 0; start < frames; start += blockFrames) {
        const std::uint32_t count = std::min(blockFrames, frames - start);
        // Each block starts its differences from zero.
        std::vector<std::int32_t> deltas;
        std::int32_t previous = 0;
        std::int32_t previousDifference = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::int16_t raw = data[static_cast<std::size_t>(start + i) * static_cast<std::size_t>(stride)];
            const std::int32_t value = sixteenBit ? raw : raw / 256;
            const std::int32_t difference = wrapSigned(value - previous, scheme);
            previous = value;
            deltas.push_back(it215 ? wrapSigned(difference - previousDifference, scheme) : difference);
            previousDifference = difference;
        }
        const std::vector<std::uint8_t> block = encodeBlock(deltas, scheme, changes);
        if (block.size() > 0xFFFF) {
            throw std::length_error("compressed block longer than its length word can say");
        }
        out.push_back(static_cast<std::uint8_t>(block.size() & 0xFF));
        out.push_back(static_cast<std::uint8_t>(block.size() >> 8));
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<std::uint8_t> writeIt(const Module& module, ItSampleCoding coding)
{
    ByteWriter file;
    const bool instrumentMode = !module.instruments.empty();
    const std::size_t orders = module.orders.size();
    const std::size_t instruments = module.instruments.size();
    const std::size_t samples = module.samples.size();
    const std::size_t patterns = module.patterns.size();
    file.grow(headerLength + orders + (instruments + samples + patterns) * 4);

    std::memcpy(file.bytes.data(), "IMPM", 4);
    file.putText(4, module.title, 26);
    file.put16(0x20, static_cast<std::uint32_t>(orders));
    file.put16(0x22, static_cast<std::uint32_t>(instruments));
    file.put16(0x24, static_cast<std::uint32_t>(samples));
    file.put16(0x26, static_cast<std::uint32_t>(patterns));
    file.put16(0x28, 0x0215);
    file.put16(0x2A, 0x0214);
    const int flags = (module.stereo ? 1 : 0) | (instrumentMode ? 4 : 0) | (module.linearSlides ? 8 : 0) |
                      (module.oldEffects ? 16 : 0) | (module.compatibleGxx ? 32 : 0);
    file.put16(0x2C, static_cast<std::uint32_t>(flags));
    file.put8(0x30, module.initialGlobalVolume);
    file.put8(0x31, module.mixingVolume);
    file.put8(0x32, module.initialSpeed);
    file.put8(0x33, module.initialTempo);
    file.put8(0x34, 128);   // full stereo separation
    for (int c = 0; c < fileChannels; ++c) {
        const std::size_t channel = static_cast<std::size_t>(c);
        if (c >= module.channels) {
            // Channels past the patterns' width are switched off.
            file.put8(0x40 + channel, 0x80 | 32);
            file.put8(0x80 + channel, 64);
            continue;
        }
        const ChannelSettings& settings = module.channelSettings[channel];
        const int panning = settings.surround ? 100 : settings.panning / 4;
        file.put8(0x40 + channel, panning | (settings.muted ? 0x80 : 0));
        file.put8(0x80 + channel, settings.volume);
    }
    for (std::size_t i = 0; i < orders; ++i) {
        const std::uint16_t order = module.orders[i];
        file.put8(headerLength + i, order == orderEnd ? 255 : order == orderSkip ? 254 : order);
    }

    const std::size_t instrumentPointers = headerLength + orders;
    const std::size_t samplePointers = instrumentPointers + instruments * 4;
    const std::size_t patternPointers = samplePointers + samples * 4;
    for (std::size_t i = 0; i < instruments; ++i) {
        file.put32(instrumentPointers + i * 4, static_cast<std::uint32_t>(file.size()));
        file.grow(instrumentLength);
        writeInstrument(file, file.size() - instrumentLength, module.instruments[i]);
    }
    std::vector<std::size_t> sampleHeaders;
    for (std::size_t i = 0; i < samples; ++i) {
        file.put32(samplePointers + i * 4, static_cast<std::uint32_t>(file.size()));
        sampleHeaders.push_back(file.size());
        file.grow(sampleHeaderLength);
        writeSampleHeader(file, file.size() - sampleHeaderLength, module.samples[i], coding);
    }
    for (std::size_t i = 0; i < patterns; ++i) {
        const Pattern& pattern = module.patterns[i];
        const std::vector<std::uint8_t> packed = packPattern(pattern, module.channels);
        file.put32(patternPointers + i * 4, static_cast<std::uint32_t>(file.size()));
        file.grow(8);
        file.put16(file.size() - 8, static_cast<std::uint32_t>(packed.size()));
        file.put16(file.size() - 6, static_cast<std::uint32_t>(pattern.rows));
        file.append(packed);
    }
    for (std::size_t i = 0; i < samples; ++i) {
        file.put32(sampleHeaders[i] + 0x48, static_cast<std::uint32_t>(file.size()));
        file.append(sampleData(module.samples[i], coding));
    }
    return file.bytes;
}

ItLayout::ItLayout(const std::vector<std::uint8_t>& file)
{
    const std::size_t orders = littleWord(file, 0x20);
    const std::size_t instruments = littleWord(file, 0x22);
    const std::size_t samples = littleWord(file, 0x24);
    instrumentPointers = 0xC0 + orders;
    samplePointers = instrumentPointers + instruments * 4;
    patternPointers = samplePointers + samples * 4;
    instrument = instruments ? littleDword(file, instrumentPointers) : 0;
    sample = samples ? littleDword(file, samplePointers) : 0;
    pattern = littleDword(file, patternPointers);
    sampleData = sample ? littleDword(file, sample + 0x48) : 0;
}
