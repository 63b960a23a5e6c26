#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "sound/byte_reader.h"
#include "sound/module.h"

namespace {

// The layout of the file's header. Its size field, at 60, counts from itself; the
// fields after it and the order table lie inside that size.
constexpr char signature[] = "Extended Module: ";
constexpr std::size_t titleOffset = 17;
constexpr std::size_t titleLength = 20;
constexpr std::size_t trackerOffset = 38;
constexpr std::size_t trackerLength = 20;
constexpr std::size_t versionOffset = 58;
constexpr std::size_t headerSizeOffset = 60;
constexpr std::size_t fullHeaderSize = 276;        // the size fields through the 256 orders
constexpr std::uint32_t formatVersion = 0x0104;

// What FastTracker 2 can hold; a header that claims more is damaged.
constexpr int maxChannels = 32;
constexpr int maxOrders = 256;
constexpr int maxPatterns = 256;
constexpr int maxRows = 256;
constexpr int maxInstruments = 128;
constexpr int maxSamplesPerInstrument = 16;

// Every header begins with its own length, which may be longer than the fields we
// know (the extra bytes are passed over) or shorter (the missing fields read as zero,
// as FastTracker 2 writes an instrument without samples). A header is never taken
// to be shorter than its fixed part, which every writer stores.
constexpr std::size_t patternHeaderLength = 9;
constexpr std::size_t instrumentFixedLength = 29;     // size, name, type, sample count
constexpr std::size_t instrumentFieldsLength = 243;   // through the fadeout
constexpr std::size_t sampleHeaderLength = 40;
constexpr std::size_t nameLength = 22;

constexpr int envelopePoints = 12;
constexpr int xmNotes = 96;
constexpr int keyOffNote = 97;
// XM's C-0 is our C-1, so that its C-4 is our middle C.
constexpr int noteShift = 12;

static_assert(static_cast<std::size_t>(maxPatterns) * maxRows * maxChannels <= maxPatternCells,
              "the largest XM song fits in the cells a module may take");

// The fields of a header copied out of the file, with those beyond its stated length
// reading as zero.
template <std::size_t length>
class HeaderFields {
public:
    HeaderFields(const ByteReader& file, std::size_t offset, std::size_t stated)
    {
        std::memcpy(bytes_.data(), file.at(offset), std::min(stated, length));
    }
    HeaderFields(const HeaderFields&) = delete;
    HeaderFields& operator=(const HeaderFields&) = delete;
    const ByteReader& reader() const { return reader_; }

private:
    std::array<std::uint8_t, length> bytes_ = {};
    ByteReader reader_{bytes_.data(), length};
};

// A name of at most `length` bytes; FastTracker 2 pads names with spaces, which are
// no part of them.
std::string readName(const ByteReader& file, std::size_t offset, std::size_t length)
{
    std::string name = file.text(offset, length);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

// The effect column's command numbers 0 to 0x21; letters FastTracker 2 does not play
// are no effect.
Effect effectOf(int command, int parameter)
{
    static constexpr Effect effects[] = {
        Effect::Arpeggio,        Effect::PortamentoUp,      Effect::PortamentoDown, Effect::TonePortamento,
        Effect::Vibrato,         Effect::TonePortamentoVolume, Effect::VibratoVolume, Effect::Tremolo,
        Effect::Panning,         Effect::SampleOffset,      Effect::VolumeSlide,    Effect::PositionJump,
        Effect::SetVolume,       Effect::PatternBreak,      Effect::Extended,       Effect::SpeedTempo,
        Effect::GlobalVolume,    Effect::GlobalVolumeSlide, Effect::None,           Effect::None,
        Effect::KeyOff,          Effect::EnvelopePosition,  Effect::None,           Effect::None,
        Effect::None,            Effect::PanningSlide,      Effect::None,           Effect::Retrigger,
        Effect::None,            Effect::Tremor,            Effect::None,           Effect::None,
        Effect::None,            Effect::ExtraFinePortamento,
    };
    static_assert(sizeof(effects) / sizeof(effects[0]) == 0x22, "one entry for each command up to X");
    if (command >= 0x22 || (command == 0 && parameter == 0)) {
        return Effect::None;
    }
    return effects[command];
}

// The volume column: 0x10 to 0x50 set the volume, and from 0x60 on the high nibble
// picks a command whose value is the low nibble.
void readVolumeColumn(int byte, Cell& cell)
{
    static constexpr VolumeCommand commands[16] = {
        VolumeCommand::None,            VolumeCommand::None,             VolumeCommand::None,
        VolumeCommand::None,            VolumeCommand::None,             VolumeCommand::None,
        VolumeCommand::VolumeSlideDown, VolumeCommand::VolumeSlideUp,    VolumeCommand::FineVolumeDown,
        VolumeCommand::FineVolumeUp,    VolumeCommand::VibratoSpeed,     VolumeCommand::VibratoDepth,
        VolumeCommand::Panning,         VolumeCommand::PanningSlideLeft, VolumeCommand::PanningSlideRight,
        VolumeCommand::TonePortamento,
    };
    if (byte >= 0x10 && byte <= 0x50) {
        cell.volumeCommand = VolumeCommand::Volume;
        cell.volumeValue = static_cast<std::uint8_t>(byte - 0x10);
    } else if (commands[byte >> 4] != VolumeCommand::None) {
        cell.volumeCommand = commands[byte >> 4];
        cell.volumeValue = static_cast<std::uint8_t>(byte & 0x0F);
    }
}

// A cell from its five fields: note, instrument, volume column, effect, parameter.
Cell makeCell(const std::uint8_t fields[5])
{
    Cell cell;
    if (fields[0] >= 1 && fields[0] <= xmNotes) {
        cell.note = static_cast<std::uint8_t>(fields[0] + noteShift);
    } else if (fields[0] == keyOffNote) {
        cell.note = noteOff;
    }
    cell.instrument = fields[1];
    readVolumeColumn(fields[2], cell);
    cell.effect = effectOf(fields[3], fields[4]);
    // A command we do not play keeps no parameter, so that "no effect" is always 000.
    cell.parameter = cell.effect == Effect::None ? 0 : fields[4];
    return cell;
}

// Unpacks a pattern's cells. A byte with its top bit set says which of the five
// fields follow (bits 0 to 4); any other byte is a note with all four other fields
// after it. False when a cell runs past the data or the data holds more cells than
// the pattern.
bool unpackCells(const std::uint8_t* data, std::size_t size, Pattern& pattern)
{
    std::size_t position = 0;
    std::size_t cell = 0;
    while (position < size) {
        if (cell == pattern.cells.size()) {
            return false;
        }
        std::uint8_t fields[5] = {};
        const std::uint8_t first = data[position++];
        int present = 0x1E;
        if (first & 0x80) {
            present = first & 0x1F;
        } else {
            fields[0] = first;
        }
        for (int field = 0; field < 5; ++field) {
            if (present & (1 << field)) {
                if (position == size) {
                    return false;
                }
                fields[field] = data[position++];
            }
        }
        pattern.cells[cell++] = makeCell(fields);
    }
    return true;
}

// Reads the pattern whose header is at `offset` and moves `offset` past its data.
LoadResult readPattern(const ByteReader& file, std::size_t& offset, int channels, Pattern& pattern)
{
    if (!file.has(offset, patternHeaderLength)) {
        return LoadResult::PatternsCutShort;
    }
    const std::size_t headerLength = std::max<std::size_t>(file.dword(offset), patternHeaderLength);
    const int rows = static_cast<int>(file.word(offset + 5));
    const std::size_t packedSize = file.word(offset + 7);
    if (!file.has(offset, headerLength)) {
        return LoadResult::PatternsCutShort;
    }
    offset += headerLength;
    if (!file.has(offset, packedSize)) {
        return LoadResult::PatternsCutShort;
    }
    if (rows < 1 || rows > maxRows) {
        return LoadResult::BadPattern;
    }
    pattern.rows = rows;
    // A pattern without data is stored as its header alone: all its cells are empty.
    pattern.cells.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(channels), Cell{});
    if (!unpackCells(file.at(offset), packedSize, pattern)) {
        return LoadResult::BadPattern;
    }
    offset += packedSize;
    return LoadResult::Loaded;
}

// An envelope from the instrument's fields: 12 points of two words (tick, value) at
// `points`, then the count, sustain and loop points and flags at the offsets given.
// Volumes run 0 to 64 and so do pannings, 32 being the centre.
Envelope readEnvelope(const ByteReader& fields, std::size_t points, std::size_t countOffset,
                      std::size_t sustainOffset, std::size_t loopOffset, std::size_t flagsOffset, bool panning)
{
    Envelope envelope;
    // FastTracker 2 has room for 12 points; a larger count is cut to what is stored.
    const int count = std::min<int>(fields.byte(countOffset), envelopePoints);
    for (int i = 0; i < count; ++i) {
        const std::size_t point = points + static_cast<std::size_t>(i) * 4;
        const std::uint32_t tick = fields.word(point);
        // Points must move on in time: the first sits at tick 0, as the tracker's
        // editor keeps it, and a point that goes back ends the envelope, since it
        // could never be reached.
        if (i > 0 && tick <= envelope.points.back().tick) {
            break;
        }
        const int value = static_cast<int>(std::min<std::uint32_t>(fields.word(point + 2), 64));
        envelope.points.push_back({static_cast<std::uint16_t>(i == 0 ? 0 : tick),
                                   static_cast<std::int8_t>(panning ? value - 32 : value)});
    }
    const std::size_t stored = envelope.points.size();
    const int flags = fields.byte(flagsOffset);
    envelope.enabled = (flags & 1) && stored > 0;

    // Points the envelope does not have switch its sustain or loop off.
    const std::size_t sustain = fields.byte(sustainOffset);
    if (sustain < stored) {
        envelope.sustainStart = envelope.sustainEnd = static_cast<std::uint8_t>(sustain);
        envelope.sustain = (flags & 2) != 0;
    }
    const std::size_t loopStart = fields.byte(loopOffset);
    const std::size_t loopEnd = fields.byte(loopOffset + 1);
    if (loopStart <= loopEnd && loopEnd < stored) {
        envelope.loopStart = static_cast<std::uint8_t>(loopStart);
        envelope.loopEnd = static_cast<std::uint8_t>(loopEnd);
        envelope.loop = (flags & 4) != 0;
    }
    return envelope;
}

// What a sample header says about the data that follows the instrument's headers.
struct SampleLayout {
    std::uint32_t bytes = 0;
    std::uint32_t loopStart = 0;      // in bytes, as stored
    std::uint32_t loopLength = 0;
    int type = 0;
};

constexpr int typeLoopMask = 0x03;
constexpr int typeSixteenBit = 0x10;
constexpr int typeStereo = 0x20;

Sample readSampleHeader(const ByteReader& file, std::size_t offset, SampleLayout& layout)
{
    layout.bytes = file.dword(offset);
    layout.loopStart = file.dword(offset + 4);
    layout.loopLength = file.dword(offset + 8);
    layout.type = file.byte(offset + 14);

    Sample sample;
    sample.volume = std::min<int>(file.byte(offset + 12), 64);
    sample.finetune = static_cast<std::int8_t>(file.byte(offset + 13));
    // XM's panning runs 0 to 255 with the centre at 128, the model's scale short of its
    // last step: the values carry over as they are.
    sample.panning = file.byte(offset + 15);
    sample.relativeNote = static_cast<std::int8_t>(file.byte(offset + 16));
    sample.name = readName(file, offset + 18, nameLength);
    sample.sixteenBit = (layout.type & typeSixteenBit) != 0;
    sample.channels = (layout.type & typeStereo) ? 2 : 1;
    return sample;
}

// Fills a sample from its delta-coded data: each value is the difference from the one
// before, wrapping at 8 or 16 bits. A stereo sample stores its left channel and then
// its right, each a delta stream of its own.
void decodeSample(const std::uint8_t* data, Sample& sample, std::size_t frames)
{
    const std::size_t channels = static_cast<std::size_t>(sample.channels);
    sample.data.resize(frames * channels);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        if (sample.sixteenBit) {
            const std::uint8_t* in = data + channel * frames * 2;
            std::uint16_t value = 0;
            for (std::size_t i = 0; i < frames; ++i) {
                value = static_cast<std::uint16_t>(value + (in[2 * i] | in[2 * i + 1] << 8));
                sample.data[i * channels + channel] = static_cast<std::int16_t>(value);
            }
        } else {
            const std::uint8_t* in = data + channel * frames;
            std::uint8_t value = 0;
            for (std::size_t i = 0; i < frames; ++i) {
                value = static_cast<std::uint8_t>(value + in[i]);
                sample.data[i * channels + channel] = static_cast<std::int16_t>(static_cast<std::int8_t>(value) * 256);
            }
        }
    }
}

// Sets the loop from the header's byte counts, kept inside the sample; a loop left
// empty is no loop. Type 3 sets the ping-pong bit as well and plays as ping-pong.
void fitLoop(Sample& sample, const SampleLayout& layout, std::uint32_t bytesPerFrame)
{
    const int type = layout.type & typeLoopMask;
    const std::uint32_t frames = sample.frames();
    const std::uint32_t start = layout.loopStart / bytesPerFrame;
    const std::uint32_t length = layout.loopLength / bytesPerFrame;
    if (type == 0 || start >= frames) {
        return;
    }
    const std::uint32_t end = start + std::min(length, frames - start);
    if (end == start) {
        return;
    }
    sample.loop = type == 1 ? LoopMode::Forward : LoopMode::PingPong;
    sample.loopStart = start;
    sample.loopEnd = end;
}

// Reads the instrument at `offset` with its sample headers and data, adds its samples
// to the module's and moves `offset` past it. `sampleBytes` counts all samples' data
// so far, as 16-bit, against the module's limit.
LoadResult readInstrument(const ByteReader& file, std::size_t& offset, Module& module, std::uint64_t& sampleBytes)
{
    if (!file.has(offset, 4)) {
        return LoadResult::InstrumentsCutShort;
    }
    const std::size_t headerLength = std::max<std::size_t>(file.dword(offset), instrumentFixedLength);
    if (!file.has(offset, headerLength)) {
        return LoadResult::InstrumentsCutShort;
    }
    const HeaderFields<instrumentFieldsLength> header(file, offset, headerLength);
    const ByteReader& fields = header.reader();
    offset += headerLength;

    Instrument instrument;
    instrument.name = readName(fields, 4, nameLength);
    for (int note = noteFirst; note <= noteLast; ++note) {
        instrument.keys[static_cast<std::size_t>(note - 1)].note = static_cast<std::uint8_t>(note);
    }
    const int sampleCount = static_cast<int>(fields.word(27));
    if (sampleCount > maxSamplesPerInstrument) {
        return LoadResult::BadHeader;
    }
    // The rest of the header is stored only for an instrument with samples.
    if (sampleCount == 0) {
        module.instruments.push_back(std::move(instrument));
        return LoadResult::Loaded;
    }

    // FastTracker 2 reads 40 bytes for each sample header whatever the size field
    // says; a smaller size is taken as 40, a larger one is honoured.
    const std::size_t sampleStride = std::max<std::size_t>(fields.dword(29), sampleHeaderLength);
    const std::size_t firstSample = module.samples.size() + 1;
    std::vector<SampleLayout> layouts(static_cast<std::size_t>(sampleCount));
    for (SampleLayout& layout : layouts) {
        if (!file.has(offset, sampleStride)) {
            return LoadResult::InstrumentsCutShort;
        }
        module.samples.push_back(readSampleHeader(file, offset, layout));
        offset += sampleStride;
    }

    // The samples' data follows their headers, one after the other.
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const SampleLayout& layout = layouts[i];
        Sample& sample = module.samples[firstSample - 1 + i];
        const std::uint32_t bytesPerFrame = (sample.sixteenBit ? 2u : 1u) * static_cast<std::uint32_t>(sample.channels);
        sampleBytes += static_cast<std::uint64_t>(layout.bytes) * (sample.sixteenBit ? 1 : 2);
        if (sampleBytes > maxSampleBytes) {
            return LoadResult::TooLarge;
        }
        if (!file.has(offset, layout.bytes)) {
            return LoadResult::SamplesCutShort;
        }
        decodeSample(file.at(offset), sample, layout.bytes / bytesPerFrame);
        fitLoop(sample, layout, bytesPerFrame);
        offset += layout.bytes;
    }

    // Notes 1 to 96 pick one of the instrument's samples; an entry past its samples
    // plays nothing, and so do our notes below XM's C-0 and above its B-7.
    for (int note = 1; note <= xmNotes; ++note) {
        const std::size_t entry = fields.byte(33 + static_cast<std::size_t>(note - 1));
        if (entry < layouts.size()) {
            instrument.keys[static_cast<std::size_t>(note + noteShift - 1)].sample =
                static_cast<std::uint16_t>(firstSample + entry);
        }
    }
    instrument.volumeEnvelope = readEnvelope(fields, 129, 225, 227, 228, 233, false);
    instrument.panningEnvelope = readEnvelope(fields, 177, 226, 230, 231, 234, true);

    // The instrument's vibrato is played by each of its samples. XM numbers the
    // waveforms sine, square, ramp down, ramp up, as the model does; it has no others.
    AutoVibrato vibrato;
    const int waveform = fields.byte(235);
    vibrato.waveform = waveform <= 3 ? waveform : 0;
    vibrato.sweep = fields.byte(236);
    vibrato.depth = std::min<int>(fields.byte(237), 15);
    vibrato.speed = fields.byte(238);
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        module.samples[firstSample - 1 + i].vibrato = vibrato;
    }

    // FastTracker 2's fade volume starts at 32,768 and loses the fadeout on each tick
    // after the key is released; ours starts at 65,536, so the fall is twice as large.
    instrument.fadeout = static_cast<int>(fields.word(239)) * 2;
    module.instruments.push_back(std::move(instrument));
    return LoadResult::Loaded;
}

} // namespace

LoadResult loadXm(const std::uint8_t* data, std::size_t size, Module& module)
{
    module = Module{};
    const ByteReader file(data, size);
    if (!file.matches(0, signature)) {
        return LoadResult::UnknownFormat;
    }
    if (!file.has(0, headerSizeOffset + 4)) {
        return LoadResult::HeaderCutShort;
    }
    // Versions before 0x0104 lay the file out otherwise, and no other is known.
    if (file.word(versionOffset) != formatVersion) {
        return LoadResult::BadHeader;
    }
    const std::size_t headerSize = file.dword(headerSizeOffset);
    if (!file.has(headerSizeOffset, headerSize)) {
        return LoadResult::HeaderCutShort;
    }
    const HeaderFields<fullHeaderSize> header(file, headerSizeOffset, headerSize);
    const ByteReader& fields = header.reader();

    Module loaded;
    loaded.format = ModuleFormat::Xm;
    loaded.title = readName(file, titleOffset, titleLength);
    loaded.tracker = readName(file, trackerOffset, trackerLength);
    // ModPlug Tracker saved XM files under FastTracker's name, but padded the title with
    // zeros where FastTracker 2 pads with spaces.
    const std::string title = file.text(titleOffset, titleLength);
    if (loaded.tracker.rfind("FastTracker", 0) == 0 && title.size() < titleLength) {
        loaded.tracker = "ModPlug Tracker";
    }
    const int songLength = static_cast<int>(fields.word(4));
    if (songLength < 1 || songLength > maxOrders) {
        return LoadResult::BadSongLength;
    }
    loaded.channels = static_cast<int>(fields.word(8));
    const int patternCount = static_cast<int>(fields.word(10));
    const int instrumentCount = static_cast<int>(fields.word(12));
    if (loaded.channels < 1 || loaded.channels > maxChannels || patternCount > maxPatterns ||
        instrumentCount > maxInstruments) {
        return LoadResult::BadHeader;
    }
    // Orders naming patterns the file does not have stay: the replayer passes over them.
    for (int i = 0; i < songLength; ++i) {
        loaded.orders.push_back(fields.byte(20 + static_cast<std::size_t>(i)));
    }
    loaded.restartPosition = static_cast<int>(fields.word(6));
    if (loaded.restartPosition >= songLength) {
        loaded.restartPosition = 0;
    }
    loaded.linearSlides = (fields.word(14) & 1) != 0;
    // A speed or tempo of 0 would stop the song: such a file starts at the defaults.
    const int speed = static_cast<int>(fields.word(16));
    const int tempo = static_cast<int>(fields.word(18));
    if (speed > 0) {
        loaded.initialSpeed = std::min(speed, 255);
    }
    if (tempo > 0) {
        loaded.initialTempo = std::min(tempo, 255);
    }
    loaded.initialGlobalVolume = 128;
    loaded.channelSettings.assign(static_cast<std::size_t>(loaded.channels), ChannelSettings{});

    std::size_t offset = headerSizeOffset + headerSize;
    loaded.patterns.resize(static_cast<std::size_t>(patternCount));
    for (Pattern& pattern : loaded.patterns) {
        const LoadResult result = readPattern(file, offset, loaded.channels, pattern);
        if (result != LoadResult::Loaded) {
            return result;
        }
    }

    std::uint64_t sampleBytes = 0;
    for (int i = 0; i < instrumentCount; ++i) {
        const LoadResult result = readInstrument(file, offset, loaded, sampleBytes);
        if (result != LoadResult::Loaded) {
            return result;
        }
    }

    module = std::move(loaded);
    return LoadResult::Loaded;
}
