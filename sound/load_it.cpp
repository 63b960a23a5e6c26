#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "sound/byte_reader.h"
#include "sound/it_samples.h"
#include "sound/module.h"

namespace {

// The layout of the file, as Impulse Tracker saves it: a fixed header, the order list,
// then three tables of 32-bit offsets ("parapointers") to the instruments, the sample
// headers and the patterns.
constexpr std::size_t headerLength = 0xC0;
constexpr std::size_t titleLength = 26;
constexpr std::size_t nameLength = 26;
constexpr std::size_t sampleHeaderLength = 0x50;
// An instrument's bytes up to the last envelope point; the file gives each instrument
// 554 bytes, of which the last few are unused by the new layout.
constexpr std::size_t instrumentLength = 0x1D4 + 6 + 25 * 3;
constexpr std::size_t oldInstrumentLength = 554;
constexpr std::size_t patternHeaderLength = 8;

constexpr int maxOrders = 256;
// A cell or a keyboard entry names an instrument or sample with one byte, so no more
// can be reached.
constexpr std::uint32_t maxInstruments = 255;
constexpr std::uint32_t maxSamples = 255;
constexpr int maxRows = 200;
constexpr int maxChannels = 64;
constexpr int envelopePoints = 25;
constexpr int emptyPatternRows = 64;

// Header flags.
constexpr std::uint32_t flagStereo = 1;
constexpr std::uint32_t flagInstruments = 4;
constexpr std::uint32_t flagLinearSlides = 8;
constexpr std::uint32_t flagOldEffects = 16;
constexpr std::uint32_t flagCompatibleGxx = 32;

// Sample header flags and conversion bits.
constexpr std::uint8_t sampleHasData = 1;
constexpr std::uint8_t sample16Bit = 2;
constexpr std::uint8_t sampleStereo = 4;
constexpr std::uint8_t sampleCompressed = 8;
constexpr std::uint8_t sampleLoop = 16;
constexpr std::uint8_t sampleSustainLoop = 32;
constexpr std::uint8_t samplePingPong = 64;
constexpr std::uint8_t samplePingPongSustain = 128;
constexpr std::uint8_t convertSigned = 1;
constexpr std::uint8_t convertDelta = 4;

// Envelope flags.
constexpr std::uint8_t envelopeOn = 1;
constexpr std::uint8_t envelopeLoop = 2;
constexpr std::uint8_t envelopeSustain = 4;
constexpr std::uint8_t envelopeCarry = 8;
constexpr std::uint8_t envelopeFilter = 128;

// The order list's markers in the file.
constexpr std::uint8_t fileOrderSkip = 254;
constexpr std::uint8_t fileOrderEnd = 255;

std::uint8_t cellNote(std::uint8_t value)
{
    if (value < noteLast) {
        return static_cast<std::uint8_t>(value + 1);
    }
    if (value == 255) {
        return noteOff;
    }
    if (value == 254) {
        return noteCut;
    }
    // The editor cannot enter the values between, but the player fades a note on them.
    return noteFade;
}

// Splits the volume column's byte into its command and value; each command owns a run
// of byte values.
void readVolumeColumn(std::uint8_t v, Cell& cell)
{
    struct Range {
        int first;
        int last;
        VolumeCommand command;
    };
    static constexpr Range ranges[] = {
        {0, 64, VolumeCommand::Volume},
        {65, 74, VolumeCommand::FineVolumeUp},
        {75, 84, VolumeCommand::FineVolumeDown},
        {85, 94, VolumeCommand::VolumeSlideUp},
        {95, 104, VolumeCommand::VolumeSlideDown},
        {105, 114, VolumeCommand::PortamentoDown},
        {115, 124, VolumeCommand::PortamentoUp},
        {128, 192, VolumeCommand::Panning},
        {193, 202, VolumeCommand::TonePortamento},
        {203, 212, VolumeCommand::VibratoDepth},
    };
    for (const Range& range : ranges) {
        if (v >= range.first && v <= range.last) {
            cell.volumeCommand = range.command;
            cell.volumeValue = static_cast<std::uint8_t>(v - range.first);
            return;
        }
    }
    cell.volumeCommand = VolumeCommand::None;
    cell.volumeValue = 0;
}

// What a channel remembers while a pattern unpacks: its last mask, and each field as
// last given, which a mask bit may ask to repeat.
struct ChannelMemory {
    std::uint8_t mask = 0;
    std::uint8_t note = noteNone;
    std::uint8_t instrument = 0;
    VolumeCommand volumeCommand = VolumeCommand::None;
    std::uint8_t volumeValue = 0;
    Effect effect = Effect::None;
    std::uint8_t parameter = 0;
};

bool hasContent(const Cell& cell)
{
    return cell.note != noteNone || cell.instrument != 0 || cell.volumeCommand != VolumeCommand::None ||
           cell.effect != Effect::None;
}

// Unpacks the `length` bytes at `offset` into a pattern of `rows` rows. Run once with
// no pattern to check the data and find the highest channel holding anything
// (`usedChannels`, one past it), then again to fill the pattern `channels` wide.
LoadResult unpackPattern(const ByteReader& file, std::size_t offset, std::size_t length, int rows,
                         Pattern* pattern, int channels, int& usedChannels)
{
    std::array<ChannelMemory, maxChannels> memory{};
    const std::size_t end = offset + length;
    std::size_t position = offset;
    int row = 0;
    while (position < end) {
        const std::uint8_t marker = file.byte(position++);
        if (marker == 0) {
            // Padding after the last row is harmless, so only cells past it are refused.
            ++row;
            continue;
        }
        if (row >= rows) {
            return LoadResult::BadPattern;
        }
        const int channel = (marker - 1) & (maxChannels - 1);
        ChannelMemory& last = memory[static_cast<std::size_t>(channel)];
        if (marker & 0x80) {
            if (position >= end) {
                return LoadResult::BadPattern;
            }
            last.mask = file.byte(position++);
        }
        const std::uint8_t mask = last.mask;
        const std::size_t fieldBytes = static_cast<std::size_t>((mask & 1) + (mask >> 1 & 1) + (mask >> 2 & 1) +
                                                                (mask >> 3 & 1) * 2);
        if (fieldBytes > end - position) {
            return LoadResult::BadPattern;
        }
        if (mask & 1) {
            last.note = cellNote(file.byte(position++));
        }
        if (mask & 2) {
            last.instrument = file.byte(position++);
        }
        if (mask & 4) {
            Cell volume;
            readVolumeColumn(file.byte(position++), volume);
            last.volumeCommand = volume.volumeCommand;
            last.volumeValue = volume.volumeValue;
        }
        if (mask & 8) {
            const std::uint8_t command = file.byte(position);
            const std::uint8_t parameter = file.byte(position + 1);
            position += 2;
            last.effect = letterEffect(command);
            last.parameter = last.effect != Effect::None ? parameter : 0;
        }

        // Bits 0 to 3 read a field and bits 4 to 7 repeat it; either way the cell
        // takes the channel's latest value of that field.
        Cell cell;
        if (mask & (1 | 16)) {
            cell.note = last.note;
        }
        if (mask & (2 | 32)) {
            cell.instrument = last.instrument;
        }
        if (mask & (4 | 64)) {
            cell.volumeCommand = last.volumeCommand;
            cell.volumeValue = last.volumeValue;
        }
        if (mask & (8 | 128)) {
            cell.effect = last.effect;
            cell.parameter = last.parameter;
        }
        if (hasContent(cell)) {
            usedChannels = std::max(usedChannels, channel + 1);
            if (pattern) {
                pattern->cell(row, channel, channels) = cell;
            }
        }
    }
    return LoadResult::Loaded;
}

NewNoteAction newNoteAction(std::uint8_t v)
{
    static constexpr NewNoteAction actions[] = {NewNoteAction::Cut, NewNoteAction::Continue,
                                                 NewNoteAction::NoteOff, NewNoteAction::NoteFade};
    return v < 4 ? actions[v] : NewNoteAction::Cut;
}

// Turns the loop and sustain loop off where they name points the envelope lacks.
void fitEnvelopeLoops(Envelope& envelope)
{
    const std::size_t points = envelope.points.size();
    if (envelope.loopStart > envelope.loopEnd || envelope.loopEnd >= points) {
        envelope.loop = false;
        envelope.loopStart = 0;
        envelope.loopEnd = 0;
    }
    if (envelope.sustainStart > envelope.sustainEnd || envelope.sustainEnd >= points) {
        envelope.sustain = false;
        envelope.sustainStart = 0;
        envelope.sustainEnd = 0;
    }
}

// Adds a point, keeping the ticks strictly increasing from 0 as the replayer relies on:
// the first point is moved to tick 0, and a point that does not move on in time ends
// the envelope. Returns false once the envelope has ended.
bool addEnvelopePoint(Envelope& envelope, std::uint32_t tick, int value, int lowest, int highest)
{
    Envelope::Point point;
    if (envelope.points.empty()) {
        tick = 0;
    } else if (tick <= envelope.points.back().tick) {
        return false;
    }
    point.tick = static_cast<std::uint16_t>(tick);
    point.value = static_cast<std::int8_t>(std::clamp(value, lowest, highest));
    envelope.points.push_back(point);
    return true;
}

// One of the new layout's three envelopes, 82 bytes at `offset`. Values run 0 to 64
// for volume and -32 to 32 for panning and pitch.
Envelope readEnvelope(const ByteReader& file, std::size_t offset, int lowest, int highest, bool pitch)
{
    Envelope envelope;
    const std::uint8_t flags = file.byte(offset);
    envelope.enabled = flags & envelopeOn;
    envelope.loop = flags & envelopeLoop;
    envelope.sustain = flags & envelopeSustain;
    envelope.carry = flags & envelopeCarry;
    envelope.filter = pitch && (flags & envelopeFilter);
    // The record has room for 25 points; a larger count can only mean those 25.
    const int count = std::min<int>(file.byte(offset + 1), envelopePoints);
    envelope.loopStart = file.byte(offset + 2);
    envelope.loopEnd = file.byte(offset + 3);
    envelope.sustainStart = file.byte(offset + 4);
    envelope.sustainEnd = file.byte(offset + 5);
    for (int i = 0; i < count; ++i) {
        const std::size_t point = offset + 6 + static_cast<std::size_t>(i) * 3;
        const int value = static_cast<std::int8_t>(file.byte(point));
        if (!addEnvelopePoint(envelope, file.word(point + 1), value, lowest, highest)) {
            break;
        }
    }
    fitEnvelopeLoops(envelope);
    return envelope;
}

// The keyboard table: for each of the 120 notes, the note to play (0 to 119) and the
// sample (0 for none).
void readKeyboard(const ByteReader& file, std::size_t offset, Instrument& instrument)
{
    for (std::size_t i = 0; i < instrument.keys.size(); ++i) {
        const std::uint8_t note = file.byte(offset + i * 2);
        // A note the table cannot hold plays the key's own note.
        instrument.keys[i].note = static_cast<std::uint8_t>(note < noteLast ? note + 1 : i + 1);
        instrument.keys[i].sample = file.byte(offset + i * 2 + 1);
    }
}

// The instrument layout of Impulse Tracker 2.00 and later.
Instrument readInstrument(const ByteReader& file, std::size_t offset)
{
    Instrument instrument;
    instrument.newNoteAction = newNoteAction(file.byte(offset + 0x11));
    static constexpr DuplicateCheck checks[] = {DuplicateCheck::Off, DuplicateCheck::Note, DuplicateCheck::Sample,
                                                DuplicateCheck::Instrument};
    const std::uint8_t check = file.byte(offset + 0x12);
    instrument.duplicateCheck = check < 4 ? checks[check] : DuplicateCheck::Off;
    static constexpr DuplicateAction actions[] = {DuplicateAction::Cut, DuplicateAction::NoteOff,
                                                  DuplicateAction::NoteFade};
    const std::uint8_t action = file.byte(offset + 0x13);
    instrument.duplicateAction = action < 3 ? actions[action] : DuplicateAction::Cut;
    // The fade volume starts at 1024 and falls by the fadeout on each tick; ours starts
    // at 65,536, so each step is 64 times larger. Past 1024 the note is gone in a tick.
    instrument.fadeout = static_cast<int>(std::min<std::uint32_t>(file.word(offset + 0x14), 1024)) * 64;
    instrument.pitchPanSeparation = std::clamp<int>(static_cast<std::int8_t>(file.byte(offset + 0x16)), -32, 32);
    const std::uint8_t centre = file.byte(offset + 0x17);
    instrument.pitchPanCentre = centre < noteLast ? centre + 1 : noteMiddleC;
    instrument.globalVolume = std::min<int>(file.byte(offset + 0x18), 128);
    // Bit 7 of the default panning says not to use it.
    const std::uint8_t panning = file.byte(offset + 0x19);
    instrument.panning = (panning & 0x80) ? -1 : std::min<int>(panning, 64) * 4;
    instrument.randomVolume = std::min<int>(file.byte(offset + 0x1A), 100);
    instrument.randomPanning = std::min<int>(file.byte(offset + 0x1B), 64);
    instrument.name = file.text(offset + 0x20, nameLength);
    // The filter settings apply only with bit 7 set.
    const std::uint8_t cutoff = file.byte(offset + 0x3A);
    const std::uint8_t resonance = file.byte(offset + 0x3B);
    instrument.filterCutoff = (cutoff & 0x80) ? cutoff & 0x7F : -1;
    instrument.filterResonance = (resonance & 0x80) ? resonance & 0x7F : -1;
    readKeyboard(file, offset + 0x40, instrument);
    instrument.volumeEnvelope = readEnvelope(file, offset + 0x130, 0, 64, false);
    instrument.panningEnvelope = readEnvelope(file, offset + 0x182, -32, 32, false);
    instrument.pitchEnvelope = readEnvelope(file, offset + 0x1D4, -32, 32, true);
    return instrument;
}

// The instrument layout of Impulse Tracker before 2.00: a volume envelope only, kept as
// points of a tick byte and a value byte (beside a table of its values tick by tick,
// which the points make redundant), with a duplicate note check that is on or off.
Instrument readOldInstrument(const ByteReader& file, std::size_t offset)
{
    Instrument instrument;
    Envelope& envelope = instrument.volumeEnvelope;
    const std::uint8_t flags = file.byte(offset + 0x11);
    envelope.enabled = flags & envelopeOn;
    envelope.loop = flags & envelopeLoop;
    envelope.sustain = flags & envelopeSustain;
    envelope.loopStart = file.byte(offset + 0x12);
    envelope.loopEnd = file.byte(offset + 0x13);
    envelope.sustainStart = file.byte(offset + 0x14);
    envelope.sustainEnd = file.byte(offset + 0x15);
    // Here the fade volume starts at 512: each step is 128 times ours.
    instrument.fadeout = static_cast<int>(std::min<std::uint32_t>(file.word(offset + 0x18), 512)) * 128;
    instrument.newNoteAction = newNoteAction(file.byte(offset + 0x1A));
    if (file.byte(offset + 0x1B) != 0) {
        instrument.duplicateCheck = DuplicateCheck::Note;
        instrument.duplicateAction = DuplicateAction::Cut;
    }
    instrument.name = file.text(offset + 0x20, nameLength);
    readKeyboard(file, offset + 0x40, instrument);
    // The point list has no count: a tick of 255 marks its end.
    for (int i = 0; i < envelopePoints; ++i) {
        const std::size_t point = offset + 0x1F8 + static_cast<std::size_t>(i) * 2;
        const std::uint8_t tick = file.byte(point);
        if (tick == 0xFF || !addEnvelopePoint(envelope, tick, file.byte(point + 1), 0, 64)) {
            break;
        }
    }
    fitEnvelopeLoops(envelope);
    return instrument;
}

// What the loader needs of a sample header to fetch the sample's data.
struct SampleSource {
    std::uint8_t flags = 0;
    std::uint8_t convert = 0;
    std::uint32_t frames = 0;
    std::uint32_t offset = 0;
};

// A loop kept inside the sample; a loop that holds no frames is none.
void fitLoop(LoopMode mode, std::uint32_t start, std::uint32_t end, std::uint32_t frames, LoopMode& outMode,
             std::uint32_t& outStart, std::uint32_t& outEnd)
{
    end = std::min(end, frames);
    if (mode == LoopMode::None || start >= end) {
        outMode = LoopMode::None;
        outStart = 0;
        outEnd = 0;
        return;
    }
    outMode = mode;
    outStart = start;
    outEnd = end;
}

// The sample header at `offset`, all but the data.
Sample readSampleHeader(const ByteReader& file, std::size_t offset, SampleSource& source)
{
    Sample sample;
    source.flags = file.byte(offset + 0x12);
    source.convert = file.byte(offset + 0x2E);
    source.frames = (source.flags & sampleHasData) ? file.dword(offset + 0x30) : 0;
    source.offset = file.dword(offset + 0x48);
    sample.globalVolume = std::min<int>(file.byte(offset + 0x11), 64);
    sample.volume = std::min<int>(file.byte(offset + 0x13), 64);
    sample.name = file.text(offset + 0x14, nameLength);
    // Unlike an instrument's, a sample's default panning is used when bit 7 is set.
    const std::uint8_t panning = file.byte(offset + 0x2F);
    sample.panning = (panning & 0x80) ? std::min(panning & 0x7F, 64) * 4 : -1;
    sample.c5Speed = file.dword(offset + 0x3C);
    if (sample.c5Speed == 0) {
        sample.c5Speed = 8363;
    }
    sample.channels = (source.flags & sampleStereo) ? 2 : 1;
    sample.sixteenBit = source.flags & sample16Bit;

    // Impulse Tracker numbers its waveforms sine, ramp down, square, random.
    static constexpr int waveforms[] = {0, 2, 1, 4};
    sample.vibrato.speed = std::min<int>(file.byte(offset + 0x4C), 64);
    sample.vibrato.depth = std::min<int>(file.byte(offset + 0x4D), 64);
    sample.vibrato.sweep = std::min<int>(file.byte(offset + 0x4E), 64);
    const std::uint8_t waveform = file.byte(offset + 0x4F);
    sample.vibrato.waveform = waveform < 4 ? waveforms[waveform] : 0;

    // The loops are fitted once the frames are known; keep what the header says.
    sample.loop = (source.flags & sampleLoop)
                      ? ((source.flags & samplePingPong) ? LoopMode::PingPong : LoopMode::Forward)
                      : LoopMode::None;
    sample.loopStart = file.dword(offset + 0x34);
    sample.loopEnd = file.dword(offset + 0x38);
    sample.sustainLoop = (source.flags & sampleSustainLoop)
                             ? ((source.flags & samplePingPongSustain) ? LoopMode::PingPong : LoopMode::Forward)
                             : LoopMode::None;
    sample.sustainStart = file.dword(offset + 0x40);
    sample.sustainEnd = file.dword(offset + 0x44);
    return sample;
}

// Fetches a sample's frames as its header describes them. A stereo sample stores all
// its left frames before its right ones, raw or compressed.
LoadResult readSampleData(const ByteReader& file, const SampleSource& source, Sample& sample)
{
    const std::size_t frames = source.frames;
    const std::size_t channels = static_cast<std::size_t>(sample.channels);
    const bool sixteenBit = sample.sixteenBit;
    if (frames > 0) {
        if (source.offset > file.size()) {
            return LoadResult::SamplesCutShort;
        }
        const std::size_t available = file.size() - source.offset;
        if (source.flags & sampleCompressed) {
            // Every frame takes at least one bit, so the bytes present bound the frames
            // before anything is allocated.
            if ((frames * channels + 7) / 8 > available) {
                return LoadResult::SamplesCutShort;
            }
            sample.data.resize(frames * channels);
            std::size_t position = source.offset;
            for (std::size_t c = 0; c < channels; ++c) {
                std::size_t used = 0;
                if (!decompressItSample(file.at(position), file.size() - position, used, sixteenBit,
                                        source.convert & convertDelta, sample.data.data() + c,
                                        static_cast<std::uint32_t>(frames), static_cast<int>(channels))) {
                    return LoadResult::BadSample;
                }
                position += used;
            }
        } else {
            const std::size_t bytesPerValue = sixteenBit ? 2 : 1;
            if (frames * channels > available / bytesPerValue) {
                return LoadResult::SamplesCutShort;
            }
            sample.data.resize(frames * channels);
            for (std::size_t c = 0; c < channels; ++c) {
                const std::size_t block = source.offset + c * frames * bytesPerValue;
                for (std::size_t i = 0; i < frames; ++i) {
                    const std::int16_t value =
                        sixteenBit ? static_cast<std::int16_t>(file.word(block + i * 2))
                                   : static_cast<std::int16_t>(static_cast<std::int8_t>(file.byte(block + i)) * 256);
                    sample.data[i * channels + c] = value;
                }
            }
        }
        // Impulse Tracker before 2.02 saved unsigned values: moving the sign bit turns
        // them into signed ones, for 8-bit values kept at 256 times as well.
        if (!(source.convert & convertSigned)) {
            for (std::int16_t& value : sample.data) {
                value = static_cast<std::int16_t>(static_cast<std::uint16_t>(value) ^ 0x8000u);
            }
        }
    }
    const std::uint32_t count = static_cast<std::uint32_t>(frames);
    fitLoop(sample.loop, sample.loopStart, sample.loopEnd, count, sample.loop, sample.loopStart, sample.loopEnd);
    fitLoop(sample.sustainLoop, sample.sustainStart, sample.sustainEnd, count, sample.sustainLoop,
            sample.sustainStart, sample.sustainEnd);
    return LoadResult::Loaded;
}

// A channel's starting panning and volume. Panning runs 0 to 64; 100 is surround,
// heard from the centre, and bit 7 switches the channel off.
ChannelSettings channelSettings(std::uint8_t panning, std::uint8_t volume)
{
    ChannelSettings settings;
    settings.muted = panning & 0x80;
    const int value = panning & 0x7F;
    if (value == 100) {
        settings.surround = true;
        settings.panning = 128;
    } else {
        settings.panning = value <= 64 ? value * 4 : 128;
    }
    settings.volume = std::min<int>(volume, 64);
    return settings;
}

} // namespace

LoadResult loadIt(const std::uint8_t* data, std::size_t size, Module& module)
{
    module = Module{};
    const ByteReader file(data, size);
    if (!file.matches(0, "IMPM")) {
        return LoadResult::UnknownFormat;
    }
    if (!file.has(0, headerLength)) {
        return LoadResult::HeaderCutShort;
    }
    const std::uint32_t orderCount = file.word(0x20);
    const std::uint32_t instrumentCount = file.word(0x22);
    const std::uint32_t sampleCount = file.word(0x24);
    const std::uint32_t patternCount = file.word(0x26);
    const std::uint32_t compatibleVersion = file.word(0x2A);
    const std::uint32_t flags = file.word(0x2C);
    if (orderCount < 1 || orderCount > maxOrders) {
        return LoadResult::BadSongLength;
    }
    if (instrumentCount > maxInstruments || sampleCount > maxSamples) {
        return LoadResult::BadHeader;
    }
    const std::size_t instrumentPointers = headerLength + orderCount;
    const std::size_t samplePointers = instrumentPointers + instrumentCount * 4;
    const std::size_t patternPointers = samplePointers + sampleCount * 4;
    if (!file.has(0, patternPointers + patternCount * 4)) {
        return LoadResult::HeaderCutShort;
    }

    Module loaded;
    loaded.format = ModuleFormat::It;
    loaded.title = file.text(4, titleLength);
    loaded.stereo = flags & flagStereo;
    loaded.linearSlides = flags & flagLinearSlides;
    loaded.oldEffects = flags & flagOldEffects;
    loaded.compatibleGxx = flags & flagCompatibleGxx;
    loaded.createdWith = static_cast<std::uint16_t>(file.word(0x28));
    loaded.compatibleWith = static_cast<std::uint16_t>(compatibleVersion);
    loaded.initialGlobalVolume = std::min<int>(file.byte(0x30), 128);
    loaded.mixingVolume = std::min<int>(file.byte(0x31), 128);
    loaded.initialSpeed = file.byte(0x32) != 0 ? file.byte(0x32) : 6;
    // Impulse Tracker's tempos run from 32 (T00 to T1F slide the tempo instead); a
    // lower one can only be a damaged or unset field, so the song gets the default.
    loaded.initialTempo = file.byte(0x33) >= 32 ? file.byte(0x33) : 125;
    for (std::uint32_t i = 0; i < orderCount; ++i) {
        const std::uint8_t order = file.byte(headerLength + i);
        loaded.orders.push_back(order == fileOrderEnd ? orderEnd : order == fileOrderSkip ? orderSkip : order);
    }

    if (flags & flagInstruments) {
        const bool oldLayout = compatibleVersion < 0x200;
        for (std::uint32_t i = 0; i < instrumentCount; ++i) {
            const std::size_t offset = file.dword(instrumentPointers + i * 4);
            if (!file.has(offset, oldLayout ? oldInstrumentLength : instrumentLength)) {
                return LoadResult::InstrumentsCutShort;
            }
            if (!file.matches(offset, "IMPI")) {
                return LoadResult::BadHeader;
            }
            loaded.instruments.push_back(oldLayout ? readOldInstrument(file, offset) : readInstrument(file, offset));
        }
    }

    // All the sample headers first, so that their claims are weighed before any data.
    std::vector<SampleSource> sources(sampleCount);
    std::uint64_t sampleBytes = 0;
    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        const std::size_t offset = file.dword(samplePointers + i * 4);
        if (!file.has(offset, sampleHeaderLength)) {
            return LoadResult::InstrumentsCutShort;
        }
        if (!file.matches(offset, "IMPS")) {
            return LoadResult::BadHeader;
        }
        loaded.samples.push_back(readSampleHeader(file, offset, sources[i]));
        const std::uint64_t channels = static_cast<std::uint64_t>(loaded.samples.back().channels);
        sampleBytes += std::uint64_t{sources[i].frames} * channels * 2;
    }
    if (sampleBytes > maxSampleBytes) {
        return LoadResult::TooLarge;
    }

    // The patterns twice: once to check them and find how many channels they use, so
    // that nothing is allocated for a pattern count or size the file cannot back.
    // Patterns that share their data are unpacked once; patterns whose data overlap in
    // part would let a small file cost a great deal of work, and are refused.
    struct PatternSource {
        std::size_t offset = 0;
        std::size_t length = 0;
        int rows = emptyPatternRows;
        std::size_t sameAs = 0;      // 1 + the index of an earlier pattern with the same data
    };
    std::vector<PatternSource> patternSources;
    std::map<std::size_t, std::size_t> patternAt;
    int usedChannels = 1;
    std::uint64_t totalRows = 0;
    std::size_t packedBytes = 0;
    for (std::uint32_t i = 0; i < patternCount; ++i) {
        PatternSource source;
        const std::size_t offset = file.dword(patternPointers + i * 4);
        const auto earlier = patternAt.find(offset);
        if (earlier != patternAt.end()) {
            source = patternSources[earlier->second];
            source.sameAs = earlier->second + 1;
        } else if (offset != 0) {
            // An offset of 0 stands for an empty pattern of 64 rows.
            if (!file.has(offset, patternHeaderLength)) {
                return LoadResult::PatternsCutShort;
            }
            source.offset = offset + patternHeaderLength;
            source.length = file.word(offset);
            source.rows = static_cast<int>(file.word(offset + 2));
            if (!file.has(source.offset, source.length)) {
                return LoadResult::PatternsCutShort;
            }
            packedBytes += source.length;
            if (source.rows < 1 || source.rows > maxRows || packedBytes > file.size()) {
                return LoadResult::BadPattern;
            }
            const LoadResult result =
                unpackPattern(file, source.offset, source.length, source.rows, nullptr, 0, usedChannels);
            if (result != LoadResult::Loaded) {
                return result;
            }
            patternAt.emplace(offset, i);
        }
        totalRows += static_cast<std::uint64_t>(source.rows);
        patternSources.push_back(source);
    }
    if (totalRows * static_cast<std::uint64_t>(usedChannels) > maxPatternCells) {
        return LoadResult::TooLarge;
    }
    loaded.channels = usedChannels;
    for (const PatternSource& source : patternSources) {
        if (source.sameAs != 0) {
            loaded.patterns.push_back(loaded.patterns[source.sameAs - 1]);
            continue;
        }
        Pattern pattern;
        pattern.rows = source.rows;
        pattern.cells.resize(static_cast<std::size_t>(source.rows) * static_cast<std::size_t>(usedChannels));
        int unused = 0;
        unpackPattern(file, source.offset, source.length, source.rows, &pattern, usedChannels, unused);
        loaded.patterns.push_back(std::move(pattern));
    }
    for (int c = 0; c < usedChannels; ++c) {
        loaded.channelSettings.push_back(channelSettings(file.byte(0x40 + static_cast<std::size_t>(c)),
                                                         file.byte(0x80 + static_cast<std::size_t>(c))));
    }

    for (std::uint32_t i = 0; i < sampleCount; ++i) {
        const LoadResult result = readSampleData(file, sources[i], loaded.samples[i]);
        if (result != LoadResult::Loaded) {
            return result;
        }
    }

    module = std::move(loaded);
    return LoadResult::Loaded;
}
