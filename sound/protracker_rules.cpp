#include "sound/protracker_rules.h"

#include <algorithm>
#include <cmath>

#include "sound/mod_tables.h"

namespace {

// Puts the nonzero nibbles of an effect's parameter into its remembered command.
int rememberNibbles(int command, int parameter)
{
    if (parameter & 0x0F) {
        command = (command & 0xF0) | (parameter & 0x0F);
    }
    if (parameter & 0xF0) {
        command = (command & 0x0F) | (parameter & 0xF0);
    }
    return command;
}

} // namespace

// One channel's state between ticks; lengths in words and offsets in bytes, as
// ProTracker keeps them for the sound chip.
struct ProTrackerRules::Channel {
    Cell cell;                     // the row's cell, whose effect runs on every tick
    int sample = 0;                // the sample whose settings are loaded, 1 to 31; 0 none
    std::uint32_t start = 0;       // where a note starts: moved by sample offsets
    std::uint32_t length = 0;      // words played from start before the loop takes over
    std::uint32_t loopStart = 0;
    std::uint32_t loopLength = 1;  // words; one word is no loop
    int finetune = 0;              // 0 to 15, as the nibble stores it
    int volume = 0;
    int period = 0;                // the note's period, moved by slides
    int outputPeriod = 0;          // what the voice plays: with arpeggio or vibrato
    int outputVolume = 0;          // with tremolo
    int panning = 0;
    int wantedPeriod = 0;          // tone portamento's target; 0 when reached
    int portamentoSpeed = 0;
    bool portamentoDown = false;   // toward a longer period
    int vibratoCommand = 0;        // speed in the high nibble, depth in the low one
    int vibratoPosition = 0;       // 0 to 255; the upper half is the wave's negative half
    int tremoloCommand = 0;
    int tremoloPosition = 0;
    int waveControl = 0;           // vibrato waveform low, tremolo high; bit 2 of each: no reset
    int glissando = 0;             // E3x: nonzero, tone portamento moves in semitones
    int offset = 0;                // the last sample offset given
    int loopRow = 0;               // E60: the row a pattern loop goes back to
    int loopCount = 0;             // E6x: counts the repeats down; 0 when no loop runs
    int invertSpeed = 0;           // EFx: 0 stops the invert loop, 1 to 15 its speed
    int invertCounter = 0;         // a byte is flipped each time this reaches 128
    std::uint32_t invertAt = 0;    // the byte flipped last; the loop's start before the first
    int playingSample = 0;         // the sample the last note started
};

ProTrackerRules::ProTrackerRules(const Module& module, Song& song, const PlayerOptions& options)
    : module_(module),
      song_(song),
      samples_(module.samples),
      mixer_(module.channels, MixerOptions{options.rate, options.interpolate, options.ramp, 3000, 3000, false},
             samples_),
      // Four channels at full volume just reach full scale; more channels are scaled
      // down by the square root of their number, as uncorrelated voices add up.
      master_(module.channels <= 4 ? 128
                                   : static_cast<std::int32_t>(std::lround(128.0 * std::sqrt(4.0 / module.channels)))),
      channels_(static_cast<std::size_t>(module.channels))
{
    // Amiga panning: left, right, right, left.
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].panning = (i % 4 == 0 || i % 4 == 3) ? 0 : 255;
    }
}

ProTrackerRules::~ProTrackerRules() = default;

ChannelTrace ProTrackerRules::channel(int index) const
{
    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    ChannelTrace trace;
    trace.sample = channel.sample;
    trace.note = channel.cell.note;
    trace.period = channel.outputPeriod;
    trace.frequency = channel.outputPeriod > 0
                          ? static_cast<std::uint32_t>(Mixer::amigaClockTenths / 10 / static_cast<std::uint64_t>(
                                                                                          channel.outputPeriod))
                          : 0;
    trace.volume = channel.outputVolume;
    trace.finalVolume = channel.outputVolume * 256;
    trace.panning = channel.panning;
    trace.position = mixer_.position(index);
    trace.active = mixer_.active(index);
    return trace;
}

std::size_t ProTrackerRules::tickFrames(int rate, int tempo, std::uint64_t& remainder) const
{
    // A tick lasts 2.5 / tempo seconds, as the Amiga's timer counts it; the remainder
    // carries over so that no time is lost.
    const std::uint64_t numerator = static_cast<std::uint64_t>(rate) * 5 + remainder;
    const std::uint64_t denominator = static_cast<std::uint64_t>(tempo) * 2;
    remainder = numerator % denominator;
    return static_cast<std::size_t>(numerator / denominator);
}

int ProTrackerRules::voicesSounding() const
{
    int count = 0;
    for (int i = 0; i < mixer_.voices(); ++i) {
        count += mixer_.active(i) ? 1 : 0;
    }
    return count;
}

void ProTrackerRules::playRow(int pattern, int row)
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        playCell(static_cast<int>(i), channels_[i], module_.cell(pattern, row, static_cast<int>(i)));
    }
    // The loop registers of every voice take the loaded sample's loop, after all
    // notes have started: a sample number without a note changes what a playing
    // voice goes on with once its current block ends.
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (channels_[i].sample > 0) {
            setLoop(static_cast<int>(i), channels_[i]);
        }
    }
}

// A delayed row is not read again, but each repeat runs its tick effects, the fine
// ones too: the song's tick is 0 again on the first tick of each repeat.
void ProTrackerRules::repeatRow()
{
    playTick();
}

void ProTrackerRules::playTick()
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        tickEffects(static_cast<int>(i), channels_[i]);
    }
}

void ProTrackerRules::playCell(int index, Channel& channel, const Cell& cell)
{
    // An empty cell takes back whatever arpeggio or vibrato did to the period.
    if (cell.period == 0 && cell.instrument == 0 && cell.effect == Effect::None) {
        channel.outputPeriod = channel.period;
    }
    channel.cell = cell;
    if (cell.instrument > 0 && cell.instrument <= static_cast<int>(module_.samples.size())) {
        loadSample(channel, cell.instrument);
    }
    if (cell.period == 0) {
        rowEffects(index, channel);
        return;
    }

    const int command = cell.parameter >> 4;
    if (cell.effect == Effect::Extended && command == 0x5) {
        channel.finetune = cell.parameter & 0x0F;
    } else if (cell.effect == Effect::TonePortamento || cell.effect == Effect::TonePortamentoVolume) {
        // A note with tone portamento is a target, not a new note.
        setTonePortamento(channel);
        rowEffects(index, channel);
        return;
    } else if (cell.effect == Effect::SampleOffset) {
        // The offset applies before the note starts, and once more below: a later note
        // without a sample number starts from twice the offset.
        rowEffects(index, channel);
    }

    channel.period = modTablePeriod(channel.finetune, modNoteAtOrBelow(0, cell.period));
    if (cell.effect == Effect::Extended && command == 0xD) {
        // Note delay: the note starts on a later tick, if at all.
        rowEffects(index, channel);
        return;
    }
    if ((channel.waveControl & 0x04) == 0) {
        channel.vibratoPosition = 0;
    }
    if ((channel.waveControl & 0x40) == 0) {
        channel.tremoloPosition = 0;
    }
    triggerNote(index, channel);
    channel.outputPeriod = channel.period;
    rowEffects(index, channel);
}

void ProTrackerRules::loadSample(Channel& channel, int number)
{
    const Sample& sample = module_.samples[static_cast<std::size_t>(number - 1)];
    channel.sample = number;
    channel.start = 0;
    channel.length = sample.frames() / 2;
    channel.finetune = (sample.finetune / 16) & 0x0F;
    channel.volume = sample.volume;
    channel.outputVolume = sample.volume;
    if (sample.loop != LoopMode::None) {
        channel.loopStart = sample.loopStart;
        channel.loopLength = (sample.loopEnd - sample.loopStart) / 2;
        // A loop that starts later cuts the sample at the loop's end; one that starts at
        // the beginning lets the whole sample play once first.
        if (sample.loopStart > 0) {
            channel.length = sample.loopEnd / 2;
        }
    } else {
        channel.loopStart = 0;
        channel.loopLength = 1;
    }
    channel.invertAt = channel.loopStart;
}

void ProTrackerRules::triggerNote(int index, Channel& channel)
{
    channel.playingSample = channel.sample;
    mixer_.trigger(index, channel.sample - 1, channel.start, channel.start + channel.length * 2);
    if (channel.sample > 0) {
        setLoop(index, channel);
    }
}

// The voice's loop registers take the channel's loop; a loop of one word is none.
void ProTrackerRules::setLoop(int index, const Channel& channel)
{
    mixer_.setLoop(index, channel.sample - 1, channel.loopStart, channel.loopStart + channel.loopLength * 2,
                   channel.loopLength > 1 ? LoopMode::Forward : LoopMode::None);
}

void ProTrackerRules::setTonePortamento(Channel& channel)
{
    // The search takes in the row's closing 0, so a target above B-3 is no target.
    int note = 0;
    while (note < modNotesPerFinetune && modTablePeriod(channel.finetune, note) > channel.cell.period) {
        ++note;
    }
    // With a negative finetune ProTracker aims one entry higher in the row than it found.
    if ((channel.finetune & 8) != 0 && note > 0) {
        --note;
    }
    channel.wantedPeriod = modTablePeriod(channel.finetune, note);
    if (channel.period == channel.wantedPeriod) {
        channel.wantedPeriod = 0;
    }
    channel.portamentoDown = channel.period < channel.wantedPeriod;
}

// The effects of a row's first tick.
void ProTrackerRules::rowEffects(int index, Channel& channel)
{
    invertLoop(channel);
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case Effect::SampleOffset:
        sampleOffset(channel);
        break;
    case Effect::PositionJump:   // to an order below 128
        song_.jumpToOrder(parameter & 0x7F);
        break;
    case Effect::PatternBreak: { // to a row given in decimal digits
        const int row = (parameter >> 4) * 10 + (parameter & 0x0F);
        song_.breakToRow(row < 64 ? row : 0);
        break;
    }
    case Effect::Extended:
        extendedEffects(index, channel);
        break;
    case Effect::SetVolume:
        channel.volume = std::min(parameter, 64);
        channel.outputVolume = channel.volume;
        break;
    case Effect::SpeedTempo:     // speed below 0x20, tempo from there on; 0 changes nothing
        if (parameter >= 0x20) {
            song_.setTempo(parameter);
        } else if (parameter > 0) {
            song_.setSpeed(parameter);
        }
        break;
    case Effect::Panning:
        channel.panning = parameter;
        channel.outputPeriod = channel.period;
        break;
    default:    // effects of the later ticks only: the note's own period is heard
        channel.outputPeriod = channel.period;
        break;
    }
}

// The effects of every tick that does not read the row: the ticks after its first, and
// all the ticks of a pattern delay's repeats.
void ProTrackerRules::tickEffects(int index, Channel& channel)
{
    invertLoop(channel);
    const Cell& cell = channel.cell;
    switch (cell.effect) {
    case Effect::Arpeggio:
        arpeggio(channel);
        return;
    case Effect::PortamentoUp:
        slidePeriod(channel, -cell.parameter);
        return;
    case Effect::PortamentoDown:
        slidePeriod(channel, cell.parameter);
        return;
    case Effect::TonePortamento:
        if (cell.parameter > 0) {
            channel.portamentoSpeed = cell.parameter;
            // ProTracker clears the parameter once it has been taken.
            channel.cell.parameter = 0;
        }
        tonePortamento(channel);
        return;
    case Effect::Vibrato:
        channel.vibratoCommand = rememberNibbles(channel.vibratoCommand, cell.parameter);
        vibrato(channel);
        return;
    case Effect::TonePortamentoVolume:
        tonePortamento(channel);
        volumeSlide(channel);
        return;
    case Effect::VibratoVolume:
        vibrato(channel);
        volumeSlide(channel);
        return;
    case Effect::Tremolo:
        channel.outputPeriod = channel.period;
        channel.tremoloCommand = rememberNibbles(channel.tremoloCommand, cell.parameter);
        tremolo(channel);
        return;
    case Effect::VolumeSlide:
        channel.outputPeriod = channel.period;
        volumeSlide(channel);
        return;
    case Effect::Extended:
        extendedEffects(index, channel);
        return;
    default:    // effects of the row's first tick only: the note's own period is heard
        channel.outputPeriod = channel.period;
        return;
    }
}

// E0x to EFx; on a row's first tick and on the ticks after it, each decides for itself.
void ProTrackerRules::extendedEffects(int index, Channel& channel)
{
    const int value = channel.cell.parameter & 0x0F;
    const bool firstTick = song_.firstTick();
    switch (channel.cell.parameter >> 4) {
    case 0x0:   // filter: the mixer has none
        break;
    case 0x1:   // fine portamento up
        if (firstTick) {
            slidePeriod(channel, -value);
        }
        break;
    case 0x2:   // fine portamento down
        if (firstTick) {
            slidePeriod(channel, value);
        }
        break;
    case 0x3:   // glissando control
        channel.glissando = value;
        break;
    case 0x4:   // vibrato waveform
        channel.waveControl = (channel.waveControl & 0xF0) | value;
        break;
    case 0x5:   // set finetune
        channel.finetune = value;
        break;
    case 0x6:   // pattern loop: E60 marks the start, E6x plays the stretch x more times
        if (!firstTick) {
            break;
        }
        if (value == 0) {
            channel.loopRow = song_.row();
        } else if (channel.loopCount == 0 || --channel.loopCount > 0) {
            if (channel.loopCount == 0) {
                channel.loopCount = value;
            }
            song_.loopToRow(channel.loopRow);
        }
        break;
    case 0x7:   // tremolo waveform
        channel.waveControl = (channel.waveControl & 0x0F) | value << 4;
        break;
    case 0x8:   // coarse panning
        channel.panning = value * 17;
        break;
    case 0x9:   // retrigger every x ticks; on the first tick only when the row has no note
        if (value == 0 || (firstTick && channel.cell.period != 0) || song_.tick() % value != 0) {
            break;
        }
        // After a sample number without a note the retrigger restarts the sample that
        // is playing, and the new one is not swapped in.
        if (channel.playingSample != channel.sample && channel.playingSample > 0) {
            const int volume = channel.volume;
            loadSample(channel, channel.playingSample);
            channel.volume = volume;
            channel.outputVolume = volume;
        }
        triggerNote(index, channel);
        break;
    case 0xA:   // fine volume slide up
        if (firstTick) {
            channel.volume = std::min(channel.volume + value, 64);
            channel.outputVolume = channel.volume;
        }
        break;
    case 0xB:   // fine volume slide down
        if (firstTick) {
            channel.volume = std::max(channel.volume - value, 0);
            channel.outputVolume = channel.volume;
        }
        break;
    case 0xC:   // note cut on tick x
        if (song_.tick() == value) {
            channel.volume = 0;
            channel.outputVolume = 0;
        }
        break;
    case 0xD:   // note delay: the row's note starts on tick x
        if (song_.tick() == value && channel.cell.period != 0) {
            triggerNote(index, channel);
            channel.outputPeriod = channel.period;
        }
        break;
    case 0xE:   // pattern delay: the row lasts x + 1 times as long, notes not repeated
        if (firstTick) {
            song_.delayRow(value);
        }
        break;
    case 0xF:   // invert loop
        if (firstTick) {
            channel.invertSpeed = value;
            if (value != 0) {
                invertLoop(channel);
            }
        }
        break;
    default:
        break;
    }
}

void ProTrackerRules::sampleOffset(Channel& channel)
{
    if (channel.cell.parameter > 0) {
        channel.offset = channel.cell.parameter;
    }
    // The offset counts 256 bytes; past the end only one word is left to play.
    const std::uint32_t words = static_cast<std::uint32_t>(channel.offset) << 7;
    if (words < channel.length) {
        channel.length -= words;
        channel.start += words * 2;
    } else {
        channel.length = 1;
    }
}

// Slides stop at B-3 going up and at C-1 going down, whatever the finetune.
void ProTrackerRules::slidePeriod(Channel& channel, int amount)
{
    channel.period += amount;
    if (amount < 0) {
        channel.period = std::max(channel.period, modShortestPeriod);
    } else {
        channel.period = std::min(channel.period, modLongestPeriod);
    }
    channel.outputPeriod = channel.period;
}

void ProTrackerRules::tonePortamento(Channel& channel)
{
    if (channel.wantedPeriod == 0) {
        return;
    }
    if (channel.portamentoDown) {
        channel.period += channel.portamentoSpeed;
        if (channel.period >= channel.wantedPeriod) {
            channel.period = channel.wantedPeriod;
            channel.wantedPeriod = 0;
        }
    } else {
        channel.period -= channel.portamentoSpeed;
        if (channel.period <= channel.wantedPeriod) {
            channel.period = channel.wantedPeriod;
            channel.wantedPeriod = 0;
        }
    }
    if (channel.glissando != 0) {
        // Glissando: the voice moves in semitones while the slide runs smoothly beneath.
        channel.outputPeriod = modTablePeriod(channel.finetune, modNoteAtOrBelow(channel.finetune, channel.period));
    } else {
        channel.outputPeriod = channel.period;
    }
}

void ProTrackerRules::vibrato(Channel& channel)
{
    const int wave = modWaveValue(channel.waveControl, channel.vibratoPosition, channel.vibratoPosition);
    const int delta = wave * (channel.vibratoCommand & 0x0F) >> 7;
    channel.outputPeriod = channel.vibratoPosition < 128 ? channel.period + delta : channel.period - delta;
    channel.vibratoPosition = (channel.vibratoPosition + (channel.vibratoCommand >> 2 & 0x3C)) & 0xFF;
}

void ProTrackerRules::tremolo(Channel& channel)
{
    const int wave = modWaveValue(channel.waveControl >> 4, channel.tremoloPosition, channel.vibratoPosition);
    const int delta = wave * (channel.tremoloCommand & 0x0F) >> 6;
    channel.outputVolume = channel.tremoloPosition < 128 ? std::min(channel.volume + delta, 64)
                                                          : std::max(channel.volume - delta, 0);
    channel.tremoloPosition = (channel.tremoloPosition + (channel.tremoloCommand >> 2 & 0x3C)) & 0xFF;
}

// Up by the high nibble if it is set, otherwise down by the low one.
void ProTrackerRules::volumeSlide(Channel& channel)
{
    const int up = channel.cell.parameter >> 4;
    const int down = channel.cell.parameter & 0x0F;
    channel.volume = up > 0 ? std::min(channel.volume + up, 64) : std::max(channel.volume - down, 0);
    channel.outputVolume = channel.volume;
}

// The note, then x semitones up, then y, one per tick. Past B-3 the notes run into the
// next finetune's row; the row's closing 0 stops the voice where it is.
void ProTrackerRules::arpeggio(Channel& channel)
{
    const int step = song_.tick() % 3;
    if (step == 0) {
        channel.outputPeriod = channel.period;
        return;
    }
    const int semitones = step == 1 ? channel.cell.parameter >> 4 : channel.cell.parameter & 0x0F;
    int note = 0;
    while (note < modNotesPerFinetune && modTablePeriod(channel.finetune, note) > channel.period) {
        ++note;
    }
    channel.outputPeriod = modPeriodInRun(channel.finetune, note + semitones);
}

// EFx: flips one byte of the loop after another, at the effect's speed, for good: the
// sample stays changed for every later note.
void ProTrackerRules::invertLoop(Channel& channel)
{
    const int speed = channel.invertSpeed;
    if (speed == 0 || channel.sample == 0) {
        return;
    }
    channel.invertCounter += modInvertSpeeds[static_cast<std::size_t>(speed)];
    if (channel.invertCounter < 128) {
        return;
    }
    channel.invertCounter = 0;
    std::vector<std::int16_t>& data = samples_[static_cast<std::size_t>(channel.sample - 1)].data;
    const std::uint32_t loopEnd = channel.loopStart + channel.loopLength * 2;
    if (++channel.invertAt >= loopEnd) {
        channel.invertAt = channel.loopStart;
    }
    if (channel.invertAt < data.size()) {
        // The byte is flipped as the Amiga's 8-bit sample held it: -1 - value.
        data[channel.invertAt] = static_cast<std::int16_t>(-256 - data[channel.invertAt]);
    }
}

void ProTrackerRules::updateVoices()
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& channel = channels_[i];
        const int index = static_cast<int>(i);
        mixer_.setStep(index, mixer_.amigaStep(channel.outputPeriod));
        const int centred = 128 + (std::clamp(channel.panning, 0, 255) - 128) * stereoSeparation / 100;
        const std::int32_t right = centred * 256 / 255;
        const std::int32_t pan[2] = {256 - right, right};
        const std::int32_t volume = std::clamp(channel.outputVolume, 0, 64);
        mixer_.setGain(index, volume * pan[0] * master_ >> 8, volume * pan[1] * master_ >> 8);
    }
}
