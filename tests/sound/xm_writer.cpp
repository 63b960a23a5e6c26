#include "tests/sound/xm_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/sound/tracker_fields.h"

namespace {

constexpr int noteShift = 12;        // our note 13 is XM's C-0
constexpr int xmNotes = 96;
constexpr std::uint8_t keyOffNote = 97;
constexpr std::size_t instrumentHeaderSize = 263;
constexpr std::size_t emptyInstrumentHeaderSize = 33;
constexpr std::size_t sampleHeaderSize = 40;
constexpr std::size_t maxSamplesPerInstrument = 16;

class Output {
public:
    void byte(int value) { bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF)); }
    void word(std::size_t value) { appendLittleWord(bytes_, static_cast<std::uint32_t>(value)); }
    void dword(std::size_t value) { appendLittleDword(bytes_, static_cast<std::uint32_t>(value)); }
    // Names are padded with spaces, as FastTracker 2 saves them (the peer player
    // tells its files by this).
    void text(const std::string& text, std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) {
            byte(i < text.size() ? text[i] : ' ');
        }
    }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

void require(bool condition, const char* what)
{
    if (!condition) {
        throw std::invalid_argument(std::string("writeXm: ") + what);
    }
}

std::uint8_t noteByte(int note)
{
    if (note == noteOff) {
        return keyOffNote;
    }
    return note > noteShift && note <= noteShift + xmNotes ? static_cast<std::uint8_t>(note - noteShift) : 0;
}

std::uint8_t volumeByte(const Cell& cell)
{
    const int value = cell.volumeValue & 0x0F;
    switch (cell.volumeCommand) {
    case VolumeCommand::Volume:
        return static_cast<std::uint8_t>(0x10 + std::min<int>(cell.volumeValue, 64));
    case VolumeCommand::VolumeSlideDown:
        return static_cast<std::uint8_t>(0x60 | value);
    case VolumeCommand::VolumeSlideUp:
        return static_cast<std::uint8_t>(0x70 | value);
    case VolumeCommand::FineVolumeDown:
        return static_cast<std::uint8_t>(0x80 | value);
    case VolumeCommand::FineVolumeUp:
        return static_cast<std::uint8_t>(0x90 | value);
    case VolumeCommand::VibratoSpeed:
        return static_cast<std::uint8_t>(0xA0 | value);
    case VolumeCommand::VibratoDepth:
        return static_cast<std::uint8_t>(0xB0 | value);
    case VolumeCommand::Panning:
        return static_cast<std::uint8_t>(0xC0 | value);
    case VolumeCommand::PanningSlideLeft:
        return static_cast<std::uint8_t>(0xD0 | value);
    case VolumeCommand::PanningSlideRight:
        return static_cast<std::uint8_t>(0xE0 | value);
    case VolumeCommand::TonePortamento:
        return static_cast<std::uint8_t>(0xF0 | value);
    default:
        return 0;
    }
}

// The XM command number of an effect, or -1 for one XM does not have.
int effectNumber(Effect effect)
{
    if (effect >= Effect::Arpeggio && effect <= Effect::GlobalVolumeSlide) {
        return static_cast<int>(effect) - static_cast<int>(Effect::Arpeggio);
    }
    switch (effect) {
    case Effect::KeyOff:
        return 0x14;
    case Effect::EnvelopePosition:
        return 0x15;
    case Effect::PanningSlide:
        return 0x19;
    case Effect::Retrigger:
        return 0x1B;
    case Effect::Tremor:
        return 0x1D;
    case Effect::ExtraFinePortamento:
        return 0x21;
    default:
        return -1;
    }
}

// Packs one cell: a byte whose bits 0 to 4 say which fields follow, or the five
// fields alone when all are there, as FastTracker 2 saves them. False for a cell
// with nothing in it.
bool packCell(const Cell& cell, std::vector<std::uint8_t>& out)
{
    const int effect = effectNumber(cell.effect);
    const std::uint8_t fields[5] = {
        noteByte(cell.note),
        cell.instrument,
        volumeByte(cell),
        static_cast<std::uint8_t>(effect < 0 ? 0 : effect),
        static_cast<std::uint8_t>(effect < 0 ? 0 : cell.parameter),
    };
    int present = 0;
    for (int i = 0; i < 5; ++i) {
        present |= fields[i] != 0 ? 1 << i : 0;
    }
    if (present != 0x1F) {
        out.push_back(static_cast<std::uint8_t>(0x80 | present));
    }
    for (int i = 0; i < 5; ++i) {
        if (present & (1 << i)) {
            out.push_back(fields[i]);
        }
    }
    return present != 0;
}

// A pattern's header and packed cells; a pattern with nothing in it is stored as its
// header alone.
void writePattern(const Pattern& pattern, int channels, Output& out)
{
    require(pattern.rows >= 1 && pattern.rows <= 256, "a pattern has 1 to 256 rows");
    std::vector<std::uint8_t> packed;
    bool empty = true;
    for (int row = 0; row < pattern.rows; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            if (packCell(pattern.cell(row, channel, channels), packed)) {
                empty = false;
            }
        }
    }
    if (empty) {
        packed.clear();
    }
    out.dword(9);
    out.byte(0);
    out.word(static_cast<std::size_t>(pattern.rows));
    out.word(packed.size());
    out.bytes().insert(out.bytes().end(), packed.begin(), packed.end());
}

void writeEnvelope(const Envelope& envelope, bool panning, Output& out)
{
    for (std::size_t i = 0; i < 12; ++i) {
        if (i < envelope.points.size()) {
            out.word(envelope.points[i].tick);
            out.word(static_cast<std::size_t>(envelope.points[i].value + (panning ? 32 : 0)));
        } else {
            out.dword(0);
        }
    }
}

int envelopeFlags(const Envelope& envelope)
{
    return (envelope.enabled ? 1 : 0) | (envelope.sustain ? 2 : 0) | (envelope.loop ? 4 : 0);
}

void writeSampleHeader(const Sample& sample, Output& out)
{
    const std::size_t bytesPerFrame = (sample.sixteenBit ? 2 : 1) * static_cast<std::size_t>(sample.channels);
    const bool looped = sample.loop != LoopMode::None;
    out.dword(sample.frames() * bytesPerFrame);
    out.dword(looped ? sample.loopStart * bytesPerFrame : 0);
    out.dword(looped ? (sample.loopEnd - sample.loopStart) * bytesPerFrame : 0);
    out.byte(std::min(sample.volume, 64));
    out.byte(sample.finetune);
    const int loopType = sample.loop == LoopMode::Forward ? 1 : sample.loop == LoopMode::PingPong ? 2 : 0;
    out.byte(loopType | (sample.sixteenBit ? 0x10 : 0) | (sample.channels == 2 ? 0x20 : 0));
    out.byte(sample.panning < 0 ? 128 : std::min(sample.panning, 255));
    out.byte(sample.relativeNote);
    out.byte(0);
    out.text(sample.name, 22);
}

// The sample's data as differences from the value before; a stereo sample stores all
// of its left channel, then all of its right.
void writeSampleData(const Sample& sample, Output& out)
{
    const std::size_t channels = static_cast<std::size_t>(sample.channels);
    const std::size_t frames = sample.frames();
    for (std::size_t channel = 0; channel < channels; ++channel) {
        int previous = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            const int value = sample.data[i * channels + channel];
            if (sample.sixteenBit) {
                out.word(static_cast<std::size_t>((value - previous) & 0xFFFF));
                previous = value;
            } else {
                // The high byte, rounded down as an arithmetic shift would.
                const int high = (value - ((value % 256 + 256) % 256)) / 256;
                out.byte(high - previous);
                previous = high;
            }
        }
    }
}

void writeInstrument(const Instrument& instrument, const std::vector<Sample>& samples, Output& out)
{
    // The samples that XM's notes use, in the order of their numbers.
    std::vector<std::uint16_t> used;
    for (int note = noteShift + 1; note <= noteShift + xmNotes; ++note) {
        const std::uint16_t sample = instrument.keys[static_cast<std::size_t>(note - 1)].sample;
        if (sample >= 1 && sample <= samples.size()) {
            used.push_back(sample);
        }
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    require(used.size() <= maxSamplesPerInstrument, "an instrument uses at most 16 samples");

    // An instrument without samples stores nothing past its sample header size, as
    // FastTracker 2 saves it.
    out.dword(used.empty() ? emptyInstrumentHeaderSize : instrumentHeaderSize);
    out.text(instrument.name, 22);
    out.byte(0);
    out.word(used.size());
    const std::size_t fieldsStart = out.size();
    out.dword(sampleHeaderSize);
    if (used.empty()) {
        return;
    }
    for (int note = noteShift + 1; note <= noteShift + xmNotes; ++note) {
        const std::uint16_t sample = instrument.keys[static_cast<std::size_t>(note - 1)].sample;
        const auto found = std::find(used.begin(), used.end(), sample);
        // A key without a sample names a slot past the instrument's samples.
        out.byte(found == used.end() ? 0xFF : static_cast<int>(found - used.begin()));
    }
    writeEnvelope(instrument.volumeEnvelope, false, out);
    writeEnvelope(instrument.panningEnvelope, true, out);
    out.byte(static_cast<int>(std::min<std::size_t>(instrument.volumeEnvelope.points.size(), 12)));
    out.byte(static_cast<int>(std::min<std::size_t>(instrument.panningEnvelope.points.size(), 12)));
    out.byte(instrument.volumeEnvelope.sustainStart);
    out.byte(instrument.volumeEnvelope.loopStart);
    out.byte(instrument.volumeEnvelope.loopEnd);
    out.byte(instrument.panningEnvelope.sustainStart);
    out.byte(instrument.panningEnvelope.loopStart);
    out.byte(instrument.panningEnvelope.loopEnd);
    out.byte(envelopeFlags(instrument.volumeEnvelope));
    out.byte(envelopeFlags(instrument.panningEnvelope));
    const AutoVibrato& vibrato = samples[used.front() - 1u].vibrato;
    out.byte(vibrato.waveform);
    out.byte(vibrato.sweep);
    out.byte(vibrato.depth);
    out.byte(vibrato.speed);
    // Our fade volume starts at 65,536, FastTracker 2's at 32,768.
    out.word(static_cast<std::size_t>(std::min(instrument.fadeout / 2, 0xFFFF)));
    // The header's reserved bytes.
    out.zeros(instrumentHeaderSize - 29 - (out.size() - fieldsStart));

    for (std::uint16_t number : used) {
        writeSampleHeader(samples[number - 1u], out);
    }
    for (std::uint16_t number : used) {
        writeSampleData(samples[number - 1u], out);
    }
}

// One instrument for each sample, playing it on every note, for a module whose cells
// name samples.
std::vector<Instrument> instrumentsOfSamples(const std::vector<Sample>& samples)
{
    std::vector<Instrument> instruments(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        instruments[i].name = samples[i].name;
        for (std::size_t key = 0; key < instruments[i].keys.size(); ++key) {
            instruments[i].keys[key] = {static_cast<std::uint8_t>(key + 1), static_cast<std::uint16_t>(i + 1)};
        }
    }
    return instruments;
}

} // namespace

std::vector<std::uint8_t> writeXm(const Module& module)
{
    require(module.channels >= 1 && module.channels <= 32, "XM has 1 to 32 channels");
    require(module.patterns.size() <= 256, "XM has at most 256 patterns");
    std::vector<std::uint8_t> orders;
    for (std::uint16_t order : module.orders) {
        if (order == orderEnd) {
            break;
        }
        if (order != orderSkip) {
            require(order <= 255, "an XM order names a pattern 0 to 255");
            orders.push_back(static_cast<std::uint8_t>(order));
        }
    }
    if (orders.empty()) {
        orders.push_back(0);
    }
    require(orders.size() <= 256, "XM has at most 256 orders");
    const std::vector<Instrument> instruments =
        module.instruments.empty() ? instrumentsOfSamples(module.samples) : module.instruments;
    require(instruments.size() <= 128, "XM has at most 128 instruments");

    Output out;
    out.text("Extended Module: ", 17);
    out.text(module.title, 20);
    out.byte(0x1A);
    // The peer player takes this name as the sign of a file to play by FastTracker 2's
    // rules, which are the ones our replayer follows for XM.
    out.text("FastTracker v2.00   ", 20);
    out.word(0x0104);
    out.dword(276);
    out.word(orders.size());
    out.word(static_cast<std::size_t>(std::max(module.restartPosition, 0)));
    out.word(static_cast<std::size_t>(module.channels));
    out.word(module.patterns.size());
    out.word(instruments.size());
    out.word(module.linearSlides ? 1 : 0);
    out.word(static_cast<std::size_t>(module.initialSpeed));
    out.word(static_cast<std::size_t>(module.initialTempo));
    out.bytes().insert(out.bytes().end(), orders.begin(), orders.end());
    out.zeros(256 - orders.size());

    for (const Pattern& pattern : module.patterns) {
        writePattern(pattern, module.channels, out);
    }
    for (const Instrument& instrument : instruments) {
        writeInstrument(instrument, module.samples, out);
    }
    return std::move(out.bytes());
}
