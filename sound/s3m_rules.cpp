#include "sound/s3m_rules.h"

#include <algorithm>

namespace {

// Scream Tracker's periods of the twelve notes of octave 0, which each octave halves,
// and its clock: 8,363 Hz at the period 1,712.
constexpr int notePeriods[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
constexpr std::uint64_t screamClock = 14317456;

// S2x: the sample's base rate that each finetune value stands for.
constexpr int finetuneRates[16] = {7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280,
                                   8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757};

} // namespace

S3mRules::S3mRules(const Module& module, Song& song, const PlayerOptions& options)
    : TrackerRules(module, song, options, module.channels)
{
    // Impulse Tracker saved S3M files as well, and plays them at its own pitches.
    amigaPitch_ = (module.createdWith >> 12) == 3;
}

int S3mRules::periodOf(int note, const Sample& sample, const Channel& channel) const
{
    const std::uint64_t rate = channel.finetune > 0 ? static_cast<std::uint64_t>(channel.finetune)
                                                    : std::max<std::uint64_t>(sample.c5Speed, 1);
    if (amigaPitch_) {
        return notePitch(note, static_cast<std::uint32_t>(rate));
    }
    // Scream Tracker's: octave 0's period halved for each octave, scaled to the rate.
    const int octave = std::max((note - 1) / 12 - 1, 0);
    const std::uint64_t period = static_cast<std::uint64_t>(notePeriods[(note - 1) % 12] << 4 >> octave);
    return static_cast<int>(std::max<std::uint64_t>(8363 * period / rate, 1));
}

std::uint64_t S3mRules::frequencyOf(int period, const Sample&) const
{
    if (amigaPitch_) {
        return frequencyOfPitch(period);
    }
    return period > 0 ? (screamClock << 16) / static_cast<std::uint64_t>(period) : 0;
}

// Vibrato moves the period by so much of Scream Tracker's periods; in Impulse Tracker's
// pitch, by what that is at the note's pitch.
void S3mRules::vibratoTick(Channel& channel, int shift, bool advance)
{
    vibrato(channel, shift, advance);
    if (amigaPitch_ && channel.period != 0) {
        channel.periodDelta = slideAmigaPitch(channel.period, channel.periodDelta) - channel.period;
    }
}

// Most effects share one memory: a parameter of 0 takes the last nonzero one given to any
// of them.
int S3mRules::remembered(Channel& channel)
{
    if (channel.cell.parameter != 0) {
        channel.lastVolumeSlide = channel.cell.parameter;
    }
    return channel.lastVolumeSlide;
}

void S3mRules::clampPeriod(Channel& channel) const
{
    if (channel.period == 0) {
        return;
    }
    if (amigaPitch_) {
        return;
    }
    if (module_.amigaLimits) {
        // The Amiga's three octaves, in Scream Tracker's periods.
        channel.period = std::clamp(channel.period, 113 * 4, 856 * 4);
    } else {
        channel.period = std::clamp(channel.period, 64, 32767);
    }
}

void S3mRules::playCell(int index, Channel& channel, const Cell& cell)
{
    channel.cell = cell;
    channel.delayed = false;
    channel.tremorMuted = false;
    if (cell.effect == Effect::Special && (cell.parameter >> 4) == 0xD) {
        // SDx: the whole cell waits for tick x; Scream Tracker never plays SD0's.
        channel.delayed = (cell.parameter & 0x0F) != 0;
        return;
    }
    startCell(index, channel, cell);
    rowEffect(index, channel);
}

// The note, sample number and volume of a cell.
void S3mRules::startCell(int index, Channel& channel, const Cell& cell)
{
    if (cell.instrument > 0 && cell.instrument <= static_cast<int>(module_.samples.size())) {
        channel.instrument = cell.instrument;
        channel.sample = cell.instrument;
        channel.finetune = 0;
        channel.volume = module_.samples[static_cast<std::size_t>(cell.instrument - 1)].volume;
    }
    if (cell.note == noteCut) {
        cutVoice(channel);
        channel.period = 0;
    } else if (isPlayableNote(cell.note) && sampleOf(channel)) {
        const int period = periodOf(cell.note, *sampleOf(channel), channel);
        const bool portamento =
            cell.effect == Effect::TonePortamentoS3m || cell.effect == Effect::TonePortamentoVolumeS3m;
        if (portamento && channel.period != 0 && channel.voice >= 0) {
            channel.targetPeriod = period;
        } else {
            channel.note = cell.note;
            channel.period = period;
            channel.targetPeriod = period;
            if ((channel.vibratoWaveform & 4) == 0) {
                channel.vibratoPosition = 0;
            }
            if ((channel.tremoloWaveform & 4) == 0) {
                channel.tremoloPosition = 0;
            }
            channel.tremorCount = 0;
            std::uint32_t offset = 0;
            if (cell.effect == Effect::SampleOffsetS3m) {
                if (cell.parameter != 0) {
                    channel.lastOffset = cell.parameter;
                }
                offset = static_cast<std::uint32_t>(channel.lastOffset) << 8;
            }
            const Sample& sample = *sampleOf(channel);
            if (offset >= sample.frames()) {
                // An offset past the sample's end plays nothing.
                cutVoice(channel);
            } else {
                startVoice(index, channel, offset);
            }
        }
    }
    if (cell.volumeCommand == VolumeCommand::Volume) {
        channel.volume = std::min<int>(cell.volumeValue, 64);
    }
}

// The first tick's part of the row's effect.
void S3mRules::rowEffect(int index, Channel& channel)
{
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case Effect::SetSpeed:                 // Axx: ticks per row; 0 changes nothing
        if (parameter > 0) {
            song_.setSpeed(parameter);
        }
        break;
    case Effect::JumpToOrder:              // Bxx
        song_.jumpToOrder(parameter);
        break;
    case Effect::BreakToRow:               // Cxy: row x * 10 + y of the next pattern
        song_.breakToRow((parameter >> 4) * 10 + (parameter & 0x0F));
        break;
    case Effect::VolumeSlideS3m:           // Dxy: fine slides now, others on later ticks
        volumeSlide(channel, true);
        break;
    case Effect::PortamentoDownS3m:        // Exx
        portamento(channel, true, true);
        break;
    case Effect::PortamentoUpS3m:          // Fxx
        portamento(channel, false, true);
        break;
    case Effect::TonePortamentoS3m:        // Gxx: speed in quarter periods
        if (parameter != 0) {
            channel.portamentoSpeed = parameter * 4;
        }
        break;
    case Effect::VibratoS3m:               // Hxy and Uxy: speed x, depth y
    case Effect::FineVibrato:
        if (parameter >> 4) {
            channel.vibratoSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.vibratoDepth = parameter & 0x0F;
        }
        // The first tick keeps the vibrato where it stands.
        vibratoTick(channel, channel.cell.effect == Effect::FineVibrato ? 7 : 5, false);
        break;
    case Effect::TremorS3m:                // Ixy
        tremor(channel, remembered(channel));
        break;
    case Effect::ArpeggioS3m:              // Jxy: the note itself on the first tick
        remembered(channel);
        break;
    case Effect::VibratoVolumeS3m:         // Kxy: H00 and Dxy
        vibratoTick(channel, 5, false);
        volumeSlide(channel, true);
        break;
    case Effect::TonePortamentoVolumeS3m:  // Lxy: G00 and Dxy
        volumeSlide(channel, true);
        break;
    case Effect::RetriggerS3m:             // Qxy
        retrigger(index, channel, remembered(channel), true);
        break;
    case Effect::TremoloS3m:               // Rxy
        if (parameter >> 4) {
            channel.tremoloSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.tremoloDepth = parameter & 0x0F;
        }
        tremolo(channel, 7, false);
        break;
    case Effect::Special:                  // Sxy
        specialEffect(index, channel, true);
        break;
    case Effect::SetTempo:                 // Txx: tempo from 0x20
        if (parameter >= 0x20) {
            song_.setTempo(parameter);
        }
        break;
    case Effect::GlobalVolumeS3m:          // Vxx: 0 to 64
        if (parameter <= 64) {
            song_.globalVolume = parameter * 2;
        }
        break;
    case Effect::SetPanning:               // Xxx: 0 to 0x80, 0xA4 surround
        if (parameter <= 0x80) {
            channel.panning = parameter * 2;
            channel.surround = false;
        } else if (parameter == 0xA4) {
            channel.surround = true;
        }
        break;
    default:
        break;
    }
    clampPeriod(channel);
}

void S3mRules::tickEffects(int index, Channel& channel)
{
    if (channel.delayed) {
        specialEffect(index, channel, false);
        return;
    }
    switch (channel.cell.effect) {
    case Effect::VolumeSlideS3m:
        volumeSlide(channel, false);
        break;
    case Effect::PortamentoDownS3m:
        portamento(channel, true, false);
        break;
    case Effect::PortamentoUpS3m:
        portamento(channel, false, false);
        break;
    case Effect::TonePortamentoS3m:
        tonePortamento(channel);
        break;
    case Effect::VibratoS3m:
        vibratoTick(channel, 5);
        break;
    case Effect::FineVibrato:
        vibratoTick(channel, 7);
        break;
    case Effect::TremorS3m:
        tremor(channel, remembered(channel));
        break;
    case Effect::ArpeggioS3m: {            // the note, then x and y semitones up, a tick each
        const int memory = remembered(channel);
        const int step = song_.tick() % 3;
        const int semitones = step == 1 ? memory >> 4 : step == 2 ? memory & 0x0F : 0;
        if (amigaPitch_) {
            channel.arpeggio = semitones;
        } else {
            tableArpeggio(channel, semitones);
        }
        break;
    }
    case Effect::VibratoVolumeS3m:
        vibratoTick(channel, 5);
        volumeSlide(channel, false);
        break;
    case Effect::TonePortamentoVolumeS3m:
        tonePortamento(channel);
        volumeSlide(channel, false);
        break;
    case Effect::RetriggerS3m:
        retrigger(index, channel, channel.lastVolumeSlide, true);
        break;
    case Effect::TremoloS3m:
        tremolo(channel, 7);
        break;
    case Effect::Special:
        specialEffect(index, channel, false);
        break;
    default:
        break;
    }
    clampPeriod(channel);
}

// Dxy with the shared memory; with fast slides (Scream Tracker 3.00) the plain slides
// run on the first tick too.
void S3mRules::volumeSlide(Channel& channel, bool firstTick)
{
    lettersVolumeSlide(channel, remembered(channel), firstTick, module_.fastVolumeSlides);
}

// Exx and Fxx in Scream Tracker's periods times 4 on every tick but the first; EFx
// and EEx (fine and extra fine: times 4 and 1) once, on the first.
void S3mRules::portamento(Channel& channel, bool down, bool firstTick)
{
    const int parameter = remembered(channel);
    const int sign = down ? 1 : -1;
    if (parameter >= 0xF0) {
        if (firstTick) {
            slidePeriod(channel, sign * (parameter & 0x0F) * 4);
        }
    } else if (parameter >= 0xE0) {
        if (firstTick) {
            slidePeriod(channel, sign * (parameter & 0x0F));
        }
    } else if (!firstTick) {
        slidePeriod(channel, sign * parameter * 4);
    }
}

// Sxy: x picks the command.
void S3mRules::specialEffect(int index, Channel& channel, bool firstTick)
{
    const int value = channel.cell.parameter & 0x0F;
    const int tick = song_.tick();
    switch (channel.cell.parameter >> 4) {
    case 0x1:   // glissando
        channel.glissando = value != 0;
        break;
    case 0x2:   // finetune: the sample's base rate for the notes that follow
        if (firstTick) {
            channel.finetune = finetuneRates[value];
        }
        break;
    case 0x3:   // vibrato waveform
        channel.vibratoWaveform = value & 7;
        break;
    case 0x4:   // tremolo waveform
        channel.tremoloWaveform = value & 7;
        break;
    case 0x8:   // panning, 0 to 15 from left to right
        channel.panning = (value * 256 + 7) / 15;
        channel.surround = false;
        break;
    case 0xB:   // pattern loop
        if (firstTick) {
            patternLoop(channel, value, false);
        }
        break;
    case 0xC:   // note cut on tick x; SC0 does nothing
        if (value != 0 && tick == value) {
            channel.volume = 0;
        }
        break;
    case 0xD:   // note delay: the cell starts on tick x
        if (channel.delayed && tick == value) {
            channel.delayed = false;
            startCell(index, channel, channel.cell);
        }
        break;
    case 0xE:   // pattern delay: the row plays x + 1 times, its notes once
        if (firstTick) {
            song_.delayRow(value);
        }
        break;
    default:
        break;
    }
}
