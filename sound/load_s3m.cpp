#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "sound/byte_reader.h"
#include "sound/module.h"

namespace {

// The layout of the file's header; the order list starts right after it.
constexpr std::size_t titleLength = 28;
constexpr std::size_t fileTypeOffset = 0x1D;
constexpr std::uint8_t fileTypeModule = 16;
constexpr std::size_t orderCountOffset = 0x20;
constexpr std::size_t sampleCountOffset = 0x22;
constexpr std::size_t patternCountOffset = 0x24;
constexpr std::size_t flagsOffset = 0x26;
constexpr std::size_t trackerOffset = 0x28;
constexpr std::size_t sampleFormatOffset = 0x2A;
constexpr std::size_t signatureOffset = 0x2C;
constexpr std::size_t globalVolumeOffset = 0x30;
constexpr std::size_t speedOffset = 0x31;
constexpr std::size_t tempoOffset = 0x32;
constexpr std::size_t masterVolumeOffset = 0x33;
constexpr std::size_t panningTableFlagOffset = 0x35;
constexpr std::size_t channelSettingsOffset = 0x40;
constexpr std::size_t headerLength = 0x60;
constexpr std::size_t channelSlots = 32;

constexpr std::uint32_t flagAmigaLimits = 16;
constexpr std::uint32_t flagFastVolumeSlides = 64;
// Scream Tracker 3.00 slid volumes on every tick, and its files do not say so in the flags.
constexpr std::uint32_t trackerScreamTracker300 = 0x1300;
constexpr std::uint32_t sampleFormatSigned = 1;
constexpr std::uint8_t panningTablePresent = 252;

// Limits of the format as the trackers that write it keep them. An order byte names
// patterns 0 to 253 and a cell's instrument byte samples 1 to 255, so anything past
// these is damage, not music.
constexpr std::size_t maxOrders = 256;
constexpr std::size_t maxSamples = 255;
constexpr std::size_t maxPatterns = 256;
constexpr int rowsPerPattern = 64;
static_assert(maxPatterns * rowsPerPattern * channelSlots <= maxPatternCells,
              "the largest pattern count the header may give fits the cell limit");

// The sample header, pointed to by a parapointer.
constexpr std::size_t sampleHeaderLength = 0x50;
constexpr std::size_t sampleTypeOffset = 0x00;
constexpr std::size_t sampleDataHighOffset = 0x0D;
constexpr std::size_t sampleDataLowOffset = 0x0E;
constexpr std::size_t sampleLengthOffset = 0x10;
constexpr std::size_t sampleLoopStartOffset = 0x14;
constexpr std::size_t sampleLoopEndOffset = 0x18;
constexpr std::size_t sampleVolumeOffset = 0x1C;
constexpr std::size_t samplePackingOffset = 0x1E;
constexpr std::size_t sampleFlagsOffset = 0x1F;
constexpr std::size_t sampleC5SpeedOffset = 0x20;
constexpr std::size_t sampleNameOffset = 0x30;
constexpr std::size_t sampleNameLength = 28;
constexpr std::uint8_t sampleTypePcm = 1;
constexpr std::uint8_t sampleFlagLoop = 1;
constexpr std::uint8_t sampleFlagStereo = 2;
constexpr std::uint8_t sampleFlag16Bit = 4;
constexpr std::uint32_t defaultC5Speed = 8363;
// A sample rate beyond any the trackers offer (Impulse Tracker's limit) is damage; it
// is held there so that the replayer's step arithmetic keeps its range.
constexpr std::uint32_t maxC5Speed = 9999999;

// Channel settings: 0 to 7 are the left sample channels, 8 to 15 the right ones, 16 to
// 31 AdLib channels; the top bit switches the channel off, 255 leaves it unused.
constexpr std::uint8_t channelUnused = 255;
constexpr std::uint8_t channelDisabled = 0x80;
constexpr std::uint8_t channelTypeMask = 0x7F;
constexpr std::uint8_t firstRightChannel = 8;
constexpr std::uint8_t firstAdlibChannel = 16;
// Where a sample channel sits when the file gives no panning, on the 0 to 15 scale.
constexpr int defaultLeftPanning = 0x3;
constexpr int defaultRightPanning = 0xC;
constexpr std::uint8_t panningGiven = 0x20;

// Packed pattern entries: the channel in the low bits, then what follows.
constexpr std::uint8_t entryChannelMask = 31;
constexpr std::uint8_t entryNoteAndInstrument = 32;
constexpr std::uint8_t entryVolume = 64;
constexpr std::uint8_t entryEffect = 128;
constexpr std::uint8_t noteByteCut = 254;
constexpr std::uint8_t volumeByteEmpty = 255;
constexpr std::uint8_t maxVolume = 64;

// A panning of the 0 (left) to 15 (right) scale on ours of 0 to 256, rounded: the two
// ends are the two sides, and v and 15 - v lie as far from the centre.
int panningOfNibble(int nibble)
{
    return (nibble * 512 + 15) / 30;
}

// The note of a cell's note byte: the octave in the high nibble, the semitone in the
// low one. S3M's octave 4 is our octave 5; octaves past our range and semitones past B
// are no note.
std::uint8_t noteOfByte(std::uint8_t value)
{
    if (value == noteByteCut) {
        return noteCut;
    }
    const int octave = value >> 4;
    const int semitone = value & 0x0F;
    if (semitone > 11) {
        return noteNone;
    }
    const int note = 12 * (octave + 1) + semitone + 1;
    return isPlayableNote(note) ? static_cast<std::uint8_t>(note) : noteNone;
}

// Unpacks one pattern from its parapointer's offset into `pattern`, `channels` wide.
// Scream Tracker reads a pattern's rows until the 64th ends, whatever the length word
// before them says: files whose length word cuts the last rows short play them whole.
// Only the file's end bounds the reading; a length word of 0 marks an empty pattern.
LoadResult readPattern(const ByteReader& file, std::size_t offset, int channels, Pattern& pattern)
{
    pattern.rows = rowsPerPattern;
    pattern.cells.assign(static_cast<std::size_t>(rowsPerPattern) * static_cast<std::size_t>(channels), Cell{});
    if (!file.has(offset, 2)) {
        return LoadResult::PatternsCutShort;
    }
    if (file.word(offset) == 0) {
        return LoadResult::Loaded;
    }
    std::size_t position = offset + 2;
    int row = 0;
    Cell dropped;
    while (row < rowsPerPattern) {
        if (!file.has(position, 1)) {
            return LoadResult::PatternsCutShort;
        }
        const std::uint8_t what = file.byte(position++);
        if (what == 0) {
            ++row;
            continue;
        }
        const std::size_t entryLength = ((what & entryNoteAndInstrument) ? 2 : 0) + ((what & entryVolume) ? 1 : 0) +
                                        ((what & entryEffect) ? 2 : 0);
        if (!file.has(position, entryLength)) {
            return LoadResult::PatternsCutShort;
        }
        // Entries for channels past the module's width are read and dropped.
        const int channel = what & entryChannelMask;
        Cell& cell = channel < channels ? pattern.cell(row, channel, channels) : dropped;
        if (what & entryNoteAndInstrument) {
            cell.note = noteOfByte(file.byte(position));
            cell.instrument = file.byte(position + 1);
            position += 2;
        }
        if (what & entryVolume) {
            const std::uint8_t volume = file.byte(position++);
            // 255 is how Scream Tracker marks an empty volume; a value past 64 plays as 64.
            if (volume != volumeByteEmpty) {
                cell.volumeCommand = VolumeCommand::Volume;
                cell.volumeValue = std::min(volume, maxVolume);
            }
        }
        if (what & entryEffect) {
            const std::uint8_t command = file.byte(position);
            // M, N, P, W, Y and Z do nothing in Scream Tracker 3, but trackers that save
            // S3M files from Impulse Tracker's command set write them with its meaning.
            cell.effect = letterEffect(command);
            cell.parameter = file.byte(position + 1);
            position += 2;
        }
    }
    return LoadResult::Loaded;
}

// What a sample header says, read before any sample data is copied so that the sizes
// can be checked first.
struct SampleHeader {
    bool pcm = false;
    std::size_t dataOffset = 0;
    std::uint32_t frames = 0;
    int channels = 1;
    bool sixteenBit = false;
};

// Reads the sample header at `offset` into `sample` (name, volume, loop, rate) and
// `header` (where its data lies). AdLib instruments, empty slots and packed samples,
// which we cannot play, become empty samples that keep their name and volume.
SampleHeader readSampleHeader(const ByteReader& file, std::size_t offset, Sample& sample)
{
    SampleHeader header;
    sample.name = file.text(offset + sampleNameOffset, sampleNameLength);
    sample.volume = std::min<int>(file.byte(offset + sampleVolumeOffset), maxVolume);
    if (file.byte(offset + sampleTypeOffset) != sampleTypePcm || file.byte(offset + samplePackingOffset) != 0) {
        return header;
    }
    header.pcm = true;
    const std::uint8_t flags = file.byte(offset + sampleFlagsOffset);
    header.dataOffset = (static_cast<std::size_t>(file.byte(offset + sampleDataHighOffset)) << 16 |
                         file.word(offset + sampleDataLowOffset)) * 16;
    header.frames = file.dword(offset + sampleLengthOffset);
    header.channels = (flags & sampleFlagStereo) ? 2 : 1;
    header.sixteenBit = (flags & sampleFlag16Bit) != 0;

    sample.channels = header.channels;
    sample.sixteenBit = header.sixteenBit;
    const std::uint32_t c5Speed = file.dword(offset + sampleC5SpeedOffset);
    sample.c5Speed = c5Speed == 0 ? defaultC5Speed : std::min(c5Speed, maxC5Speed);
    // The loop end is exclusive. A loop that reaches past the end is cut there; one that
    // is then empty or inverted plays as no loop.
    if (flags & sampleFlagLoop) {
        const std::uint32_t loopStart = file.dword(offset + sampleLoopStartOffset);
        const std::uint32_t loopEnd = std::min(file.dword(offset + sampleLoopEndOffset), header.frames);
        if (loopStart < loopEnd) {
            sample.loop = LoopMode::Forward;
            sample.loopStart = loopStart;
            sample.loopEnd = loopEnd;
        }
    }
    return header;
}

// Copies a sample's data into 16-bit frames: a stereo sample stores all of its left
// channel before its right one, and we interleave them.
void readSampleData(const ByteReader& file, const SampleHeader& header, bool signedData, Sample& sample)
{
    const std::size_t frames = header.frames;
    const std::size_t channels = static_cast<std::size_t>(header.channels);
    sample.data.resize(frames * channels);
    const std::uint8_t* bytes = file.at(header.dataOffset);
    // Unsigned data is centred on 0x80 (0x8000): flipping the top bit makes it signed.
    const unsigned flip = signedData ? 0 : 1;
    for (std::size_t channel = 0; channel < channels; ++channel) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const std::size_t index = channel * frames + frame;
            std::uint16_t value;
            if (header.sixteenBit) {
                value = static_cast<std::uint16_t>(bytes[index * 2] | bytes[index * 2 + 1] << 8);
            } else {
                value = static_cast<std::uint16_t>(bytes[index] << 8);
            }
            value = static_cast<std::uint16_t>(value ^ (flip << 15));
            sample.data[frame * channels + channel] = static_cast<std::int16_t>(value);
        }
    }
}

} // namespace

LoadResult loadS3m(const std::uint8_t* data, std::size_t size, Module& module)
{
    module = Module{};
    const ByteReader file(data, size);
    if (!file.matches(signatureOffset, "SCRM") || file.byte(fileTypeOffset) != fileTypeModule) {
        return LoadResult::UnknownFormat;
    }
    if (!file.has(0, headerLength)) {
        return LoadResult::HeaderCutShort;
    }

    const std::size_t orderCount = file.word(orderCountOffset);
    const std::size_t sampleCount = file.word(sampleCountOffset);
    const std::size_t patternCount = file.word(patternCountOffset);
    if (orderCount < 1 || orderCount > maxOrders) {
        return LoadResult::BadSongLength;
    }
    if (sampleCount > maxSamples || patternCount > maxPatterns) {
        return LoadResult::BadHeader;
    }
    // The order list, the samples' and the patterns' parapointers, and the panning table
    // when the header announces one.
    const std::size_t sampleListOffset = headerLength + orderCount;
    const std::size_t patternListOffset = sampleListOffset + sampleCount * 2;
    const std::size_t panningTableOffset = patternListOffset + patternCount * 2;
    const bool hasPanningTable = file.byte(panningTableFlagOffset) == panningTablePresent;
    if (!file.has(0, panningTableOffset + (hasPanningTable ? channelSlots : 0))) {
        return LoadResult::HeaderCutShort;
    }

    Module loaded;
    loaded.format = ModuleFormat::S3m;
    loaded.title = file.text(0, titleLength);

    // The patterns keep the file's channel numbers, up to the last channel that the
    // settings do not leave unused, switched on or off. Channels within that are not
    // sample channels (AdLib, unused, or of no known type) are muted.
    std::array<std::uint8_t, channelSlots> settings{};
    for (std::size_t i = 0; i < channelSlots; ++i) {
        settings[i] = file.byte(channelSettingsOffset + i);
        if (settings[i] != channelUnused) {
            loaded.channels = static_cast<int>(i) + 1;
        }
    }
    if (loaded.channels == 0) {
        return LoadResult::BadHeader;
    }
    for (int i = 0; i < loaded.channels; ++i) {
        const std::uint8_t type = settings[static_cast<std::size_t>(i)] & channelTypeMask;
        ChannelSettings channel;
        if (type < firstAdlibChannel) {
            channel.panning = panningOfNibble(type < firstRightChannel ? defaultLeftPanning : defaultRightPanning);
        }
        channel.muted = (settings[static_cast<std::size_t>(i)] & channelDisabled) || type >= firstAdlibChannel;
        if (hasPanningTable) {
            const std::uint8_t pan = file.byte(panningTableOffset + static_cast<std::size_t>(i));
            if (pan & panningGiven) {
                channel.panning = panningOfNibble(pan & 0x0F);
            }
        }
        loaded.channelSettings.push_back(channel);
    }

    const std::uint32_t flags = file.word(flagsOffset);
    loaded.amigaLimits = (flags & flagAmigaLimits) != 0;
    loaded.fastVolumeSlides =
        (flags & flagFastVolumeSlides) != 0 || file.word(trackerOffset) == trackerScreamTracker300;
    loaded.createdWith = static_cast<std::uint16_t>(file.word(trackerOffset));
    // Speed 0 and tempos below 32 are outside what the A and T commands accept; the
    // song starts at the defaults then.
    if (file.byte(speedOffset) != 0) {
        loaded.initialSpeed = file.byte(speedOffset);
    }
    if (file.byte(tempoOffset) >= 32) {
        loaded.initialTempo = file.byte(tempoOffset);
    }
    loaded.initialGlobalVolume = std::min<int>(file.byte(globalVolumeOffset), 64) * 2;
    // The master volume's low 7 bits scale the mix by that much over 128; Scream Tracker
    // raises values below 16 to 16. The top bit chooses stereo.
    const std::uint8_t masterVolume = file.byte(masterVolumeOffset);
    loaded.mixingVolume = std::max(masterVolume & 0x7F, 16);
    loaded.stereo = (masterVolume & 0x80) != 0;

    for (std::size_t i = 0; i < orderCount; ++i) {
        const std::uint8_t order = file.byte(headerLength + i);
        loaded.orders.push_back(order == 255 ? orderEnd : order == 254 ? orderSkip : order);
    }

    // Every sample header is read and the data's total size checked before any sample
    // data is copied.
    loaded.samples.resize(sampleCount);
    std::vector<SampleHeader> sampleHeaders(sampleCount);
    std::size_t sampleBytes = 0;
    for (std::size_t i = 0; i < sampleCount; ++i) {
        const std::size_t pointer = file.word(sampleListOffset + i * 2);
        // A parapointer of 0 (the file's own header) marks an empty slot.
        if (pointer == 0) {
            continue;
        }
        if (!file.has(pointer * 16, sampleHeaderLength)) {
            return LoadResult::InstrumentsCutShort;
        }
        sampleHeaders[i] = readSampleHeader(file, pointer * 16, loaded.samples[i]);
        const SampleHeader& header = sampleHeaders[i];
        if (header.pcm) {
            const std::size_t frameBytes = static_cast<std::size_t>(header.channels) * 2;
            if (header.frames > (maxSampleBytes - sampleBytes) / frameBytes) {
                return LoadResult::TooLarge;
            }
            sampleBytes += header.frames * frameBytes;
        }
    }

    loaded.patterns.resize(patternCount);
    for (std::size_t i = 0; i < patternCount; ++i) {
        const std::size_t pointer = file.word(patternListOffset + i * 2);
        Pattern& pattern = loaded.patterns[i];
        if (pointer == 0) {
            pattern.cells.assign(static_cast<std::size_t>(rowsPerPattern) * static_cast<std::size_t>(loaded.channels),
                                 Cell{});
            continue;
        }
        const LoadResult result = readPattern(file, pointer * 16, loaded.channels, pattern);
        if (result != LoadResult::Loaded) {
            return result;
        }
    }

    const bool signedData = file.word(sampleFormatOffset) == sampleFormatSigned;
    for (std::size_t i = 0; i < sampleCount; ++i) {
        const SampleHeader& header = sampleHeaders[i];
        if (!header.pcm || header.frames == 0) {
            continue;
        }
        // Within the size checked above, so no product here overflows.
        const std::size_t bytes = static_cast<std::size_t>(header.frames) * static_cast<std::size_t>(header.channels) *
                                  (header.sixteenBit ? 2 : 1);
        if (!file.has(header.dataOffset, bytes)) {
            return LoadResult::SamplesCutShort;
        }
        readSampleData(file, header, signedData, loaded.samples[i]);
    }

    module = std::move(loaded);
    return LoadResult::Loaded;
}
