#include "sound/xm_rules.h"

#include <algorithm>

namespace {

// FastTracker 2's Amiga periods of one octave, in eight finetune steps per semitone
// from -8 (C at finetune -128) upwards, with the next octave's C at its end.
constexpr int amigaPeriods[12 * 8 + 9] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457,
    453, 450, 447, 443, 440, 437, 434, 431, 428,
};

// Whether a cell's effect or volume column slides to its note rather than playing it.
bool slidesToNote(const Cell& cell)
{
    return cell.effect == Effect::TonePortamento || cell.effect == Effect::TonePortamentoVolume ||
           cell.volumeCommand == VolumeCommand::TonePortamento;
}

} // namespace

// FastTracker 2's ramp goes the other way from the other trackers': up from 0 to the
// crest, then from the trough up to 0.
int XmRules::rampSign(int waveform)
{
    return (waveform & 3) == 1 ? -1 : 1;
}

XmRules::XmRules(const Module& module, Song& song, const PlayerOptions& options)
    : TrackerRules(module, song, options, module.channels),
      fastTracker_(playsAsFastTracker2(module)),
      modplug_(module.tracker == "ModPlug Tracker")
{
    squareRootPanning_ = fastTracker_;
}

int XmRules::periodOf(int note, const Sample& sample, const Channel& channel) const
{
    // FastTracker counts notes from C-0 as 0; our C-5 is its C-4.
    const int played = std::clamp(note - 13 + sample.relativeNote, 0, 118);
    // FastTracker 2 (and the trackers that follow it) tune in steps of 1/16 semitone,
    // rounding the finetune down to them; ModPlug Tracker took it whole.
    const int tune = channel.finetune != 0 ? channel.finetune : sample.finetune;
    const int finetune = modplug_ ? tune : tune - ((tune % 8) + 8) % 8;
    if (module_.linearSlides) {
        return 7680 - played * 64 - finetune / 2;
    }
    // Between the two table entries about the finetune, then down by the octave.
    const int fine = finetune + 128;   // 0 to 255
    const int index = (played % 12) * 8 + fine / 16;
    const int fraction = fine % 16;
    const int period = amigaPeriods[index] * (16 - fraction) + amigaPeriods[index + 1] * fraction;
    return std::max(period * 2 >> (played / 12), 1);
}

std::uint64_t XmRules::frequencyOf(int period, const Sample& sample) const
{
    if (module_.linearSlides) {
        return TrackerRules::frequencyOf(period, sample);
    }
    // 8,363 Hz at the period 1,712.
    return period > 0 ? (std::uint64_t{8363 * 1712} << 16) / static_cast<std::uint64_t>(period) : 0;
}

void XmRules::playCell(int index, Channel& channel, const Cell& cell)
{
    channel.cell = cell;
    channel.delayed = false;
    if (cell.effect == Effect::Extended && (cell.parameter >> 4) == 0xD && (cell.parameter & 0x0F) != 0) {
        // EDx: the whole cell waits for tick x.
        channel.delayed = true;
        return;
    }
    startCell(index, channel, cell);
    volumeColumn(channel, true);
    rowEffect(index, channel);
}

// The sample's own volume and panning, and the instrument's envelopes from their start.
void XmRules::resetInstrument(Channel& channel)
{
    channel.tremorMuted = false;
    if (const Sample* sample = sampleOf(channel)) {
        channel.volume = sample->volume;
        if (sample->panning >= 0) {
            channel.panning = sample->panning;
        }
    }
    if (Voice* voice = voiceOf(channel)) {
        voice->released = false;
        voice->fading = false;
        voice->fadeVolume = 65536;
        voice->volumeEnvelope = EnvelopePosition{};
        voice->panningEnvelope = EnvelopePosition{};
        voice->vibratoSweep = 0;
        voice->vibratoPosition = 0;
    }
    channel.tremorCount = 0;
}

// Key-off: the envelopes go on past their sustain and the fade-out starts; without a
// volume envelope the note stops.
void XmRules::keyOff(Channel& channel)
{
    Voice* voice = voiceOf(channel);
    if (!voice) {
        return;
    }
    releaseVoice(*voice);
    const Instrument* instrument = instrumentOf(voice->instrument);
    if (instrument && instrument->volumeEnvelope.enabled) {
        voice->fading = true;
    } else {
        channel.volume = 0;
    }
}

// The note, instrument and volume of a cell, on its first tick or its delay's.
void XmRules::startCell(int index, Channel& channel, const Cell& cell)
{
    const bool portamento = slidesToNote(cell);
    if (cell.instrument > 0) {
        channel.instrument = cell.instrument;
    }
    if (cell.note == noteOff) {
        keyOff(channel);
    } else if (isPlayableNote(cell.note)) {
        int played = 0;
        int sampleNumber = 0;
        mapNote(channel.instrument, cell.note, played, sampleNumber);
        const bool known = sampleNumber >= 1 && sampleNumber <= static_cast<int>(module_.samples.size());
        if (portamento && channel.voice >= 0 && channel.period != 0) {
            if (known) {
                channel.targetPeriod = periodOf(played, module_.samples[static_cast<std::size_t>(sampleNumber - 1)],
                                                channel);
            }
        } else if (!known) {
            // A note the instrument maps to no sample stops the channel.
            cutVoice(channel);
            channel.period = 0;
        } else {
            channel.sample = sampleNumber;
            channel.note = played;
            channel.finetune = 0;
            if (cell.effect == Effect::Extended && (cell.parameter >> 4) == 0x5) {
                channel.finetune = ((cell.parameter & 0x0F) - 8) * 16;
            }
            // The tone portamento's target stays: a later 3xx or 5xy without a note slides
            // on toward it.
            channel.period = periodOf(played, *sampleOf(channel), channel);
            if ((channel.vibratoWaveform & 4) == 0) {
                channel.vibratoPosition = 0;
            }
            if ((channel.tremoloWaveform & 4) == 0) {
                channel.tremoloPosition = 0;
            }
            std::uint32_t offset = 0;
            if (cell.effect == Effect::SampleOffset) {
                if (cell.parameter != 0) {
                    channel.lastOffset = cell.parameter;
                }
                offset = static_cast<std::uint32_t>(channel.lastOffset) << 8;
            }
            if (offset >= sampleOf(channel)->frames()) {
                // An offset past the sample's end plays nothing.
                cutVoice(channel);
            } else {
                startVoice(index, channel, offset);
            }
        }
    }
    if (cell.instrument > 0 && cell.note != noteOff) {
        resetInstrument(channel);
    }
}

// The volume column: settings and fine slides on the first tick, slides on the others.
void XmRules::volumeColumn(Channel& channel, bool firstTick)
{
    const int value = channel.cell.volumeValue;
    switch (channel.cell.volumeCommand) {
    case VolumeCommand::Volume:
        if (firstTick) {
            channel.volume = std::min(value, 64);
            channel.tremorMuted = false;
        }
        break;
    case VolumeCommand::VolumeSlideDown:
        if (!firstTick) {
            slideVolume(channel, -value);
        }
        break;
    case VolumeCommand::VolumeSlideUp:
        if (!firstTick) {
            slideVolume(channel, value);
        }
        break;
    case VolumeCommand::FineVolumeDown:
        if (firstTick) {
            slideVolume(channel, -value);
        }
        break;
    case VolumeCommand::FineVolumeUp:
        if (firstTick) {
            slideVolume(channel, value);
        }
        break;
    case VolumeCommand::VibratoSpeed:
        if (firstTick && value != 0) {
            channel.vibratoSpeed = value;
        }
        break;
    case VolumeCommand::VibratoDepth:
        if (firstTick) {
            if (value != 0) {
                channel.vibratoDepth = value;
            }
        } else {
            vibrato(channel, 5, true, rampSign(channel.vibratoWaveform));
        }
        break;
    case VolumeCommand::Panning:
        if (firstTick) {
            channel.panning = value * 16 * 256 / 255;
        }
        break;
    case VolumeCommand::PanningSlideLeft:
        if (!firstTick) {
            channel.panning = std::max(channel.panning - value, 0);
        }
        break;
    case VolumeCommand::PanningSlideRight:
        if (!firstTick) {
            channel.panning = std::min(channel.panning + value, 256);
        }
        break;
    case VolumeCommand::TonePortamento:
        if (firstTick) {
            if (value != 0) {
                channel.portamentoSpeed = value * 16 * 4;
            }
        } else {
            tonePortamento(channel);
        }
        break;
    default:
        break;
    }
}

// The first tick's part of the row's effect.
void XmRules::rowEffect(int index, Channel& channel)
{
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case Effect::PortamentoUp:            // 1xx: remembered
        if (parameter != 0) {
            channel.lastPortamentoUp = parameter;
        }
        break;
    case Effect::PortamentoDown:          // 2xx
        if (parameter != 0) {
            channel.lastPortamentoDown = parameter;
        }
        break;
    case Effect::TonePortamento:          // 3xx: speed in quarter periods
        if (parameter != 0) {
            channel.portamentoSpeed = parameter * 4;
        }
        break;
    case Effect::Vibrato:                 // 4xy: speed x, depth y, each remembered
        if (parameter >> 4) {
            channel.vibratoSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.vibratoDepth = parameter & 0x0F;
        }
        // The first tick keeps the vibrato where it stands.
        vibrato(channel, 5, false, rampSign(channel.vibratoWaveform));
        break;
    case Effect::VibratoVolume:           // 6xy: the slide's parameter remembered
        vibrato(channel, 5, false, rampSign(channel.vibratoWaveform));
        if (parameter != 0) {
            channel.lastVolumeSlide = parameter;
        }
        break;
    case Effect::TonePortamentoVolume:    // 5xy
    case Effect::VolumeSlide:             // Axy
        if (parameter != 0) {
            channel.lastVolumeSlide = parameter;
        }
        break;
    case Effect::Tremolo:                 // 7xy
        if (parameter >> 4) {
            channel.tremoloSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.tremoloDepth = parameter & 0x0F;
        }
        tremolo(channel, 6, false, rampSign(channel.tremoloWaveform));
        break;
    case Effect::Panning:                 // 8xx
        channel.panning = parameter * 256 / 255;
        break;
    case Effect::PositionJump:            // Bxx
        song_.jumpToOrder(parameter);
        break;
    case Effect::SetVolume:               // Cxx
        channel.volume = std::min(parameter, 64);
        channel.tremorMuted = false;
        break;
    case Effect::PatternBreak:            // Dxy: row x * 10 + y of the next pattern
        song_.breakToRow((parameter >> 4) * 10 + (parameter & 0x0F));
        break;
    case Effect::Extended:                // Exy
        extendedEffect(index, channel, true);
        break;
    case Effect::SpeedTempo:              // Fxx: speed below 0x20, tempo from there on
        if (parameter >= 0x20) {
            song_.setTempo(parameter);
        } else if (parameter > 0) {
            song_.setSpeed(parameter);
        }
        break;
    case Effect::GlobalVolume:            // Gxx: 0 to 64
        song_.globalVolume = std::min(parameter, 64) * 2;
        break;
    case Effect::GlobalVolumeSlide:       // Hxy
        if (parameter != 0) {
            channel.lastGlobalVolumeSlide = parameter;
        }
        break;
    case Effect::KeyOff:                  // Kxx: on tick xx
        if (parameter == 0) {
            keyOff(channel);
        }
        break;
    case Effect::EnvelopePosition:        // Lxx
        if (Voice* voice = voiceOf(channel)) {
            voice->volumeEnvelope = EnvelopePosition{};
            voice->volumeEnvelope.tick = parameter;
            voice->panningEnvelope = EnvelopePosition{};
            voice->panningEnvelope.tick = parameter;
        }
        break;
    case Effect::PanningSlide:            // Pxy
        if (parameter != 0) {
            channel.lastPanningSlide = parameter;
        }
        break;
    case Effect::Retrigger:               // Rxy: x and y each remembered
        if (parameter >> 4) {
            channel.lastRetrigger = (channel.lastRetrigger & 0x0F) | (parameter & 0xF0);
        }
        if (parameter & 0x0F) {
            channel.lastRetrigger = (channel.lastRetrigger & 0xF0) | (parameter & 0x0F);
        }
        retrigger(index, channel, channel.lastRetrigger);
        break;
    case Effect::Tremor:                  // Txy
        if (parameter != 0) {
            channel.lastTremor = parameter;
        }
        break;
    case Effect::ExtraFinePortamento: {   // X1x up, X2x down, a sixteenth of a semitone's step
        const int value = parameter & 0x0F;
        if ((parameter >> 4) == 1) {
            if (value != 0) {
                channel.lastExtraFineUp = value;
            }
            slidePeriod(channel, -channel.lastExtraFineUp);
        } else if ((parameter >> 4) == 2) {
            if (value != 0) {
                channel.lastExtraFineDown = value;
            }
            slidePeriod(channel, channel.lastExtraFineDown);
        }
        break;
    }
    default:
        break;
    }
}

void XmRules::tickEffects(int index, Channel& channel)
{
    if (channel.delayed) {
        extendedEffect(index, channel, false);
        return;
    }
    volumeColumn(channel, false);
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case Effect::Arpeggio: {              // the note, x and y semitones up, a tick each
        // FastTracker 2 counts its ticks down from the speed, so the order of the three
        // depends on the speed: at speed 3 the note, then y, then x. ModPlug Tracker
        // counted up.
        const int step = modplug_ ? song_.tick() % 3 : (song_.speed() - song_.tick()) % 3;
        const int semitones = step == 1 ? parameter >> 4 : step == 2 ? parameter & 0x0F : 0;
        if (module_.linearSlides) {
            channel.arpeggio = semitones;
        } else {
            tableArpeggio(channel, semitones);
        }
        break;
    }
    case Effect::PortamentoUp:
        slidePeriod(channel, -channel.lastPortamentoUp * 4);
        break;
    case Effect::PortamentoDown:
        slidePeriod(channel, channel.lastPortamentoDown * 4);
        break;
    case Effect::TonePortamento:
        tonePortamento(channel);
        break;
    case Effect::Vibrato:
        vibrato(channel, 5, true, rampSign(channel.vibratoWaveform));
        break;
    case Effect::TonePortamentoVolume:
        tonePortamento(channel);
        volumeSlide(channel);
        break;
    case Effect::VibratoVolume:
        vibrato(channel, 5, true, rampSign(channel.vibratoWaveform));
        volumeSlide(channel);
        break;
    case Effect::Tremolo:
        tremolo(channel, 6, true, rampSign(channel.tremoloWaveform));
        break;
    case Effect::VolumeSlide:
        volumeSlide(channel);
        break;
    case Effect::Extended:
        extendedEffect(index, channel, false);
        break;
    case Effect::GlobalVolumeSlide: {     // up by x or down by y, in 0 to 64
        const int up = channel.lastGlobalVolumeSlide >> 4;
        const int down = channel.lastGlobalVolumeSlide & 0x0F;
        song_.globalVolume = std::clamp(song_.globalVolume + (up ? up : -down) * 2, 0, 128);
        break;
    }
    case Effect::KeyOff:
        if (song_.tick() == parameter) {
            keyOff(channel);
        }
        break;
    case Effect::PanningSlide: {          // right by x or left by y
        const int right = channel.lastPanningSlide >> 4;
        const int left = channel.lastPanningSlide & 0x0F;
        channel.panning = std::clamp(channel.panning + (right ? right : -left), 0, 256);
        break;
    }
    case Effect::Retrigger:
        retrigger(index, channel, channel.lastRetrigger);
        break;
    case Effect::Tremor:
        tremor(channel, channel.lastTremor);
        break;
    default:
        break;
    }
}

// Up by x if it is set, otherwise down by y; the parameter remembered from the row.
void XmRules::volumeSlide(Channel& channel)
{
    const int up = channel.lastVolumeSlide >> 4;
    const int down = channel.lastVolumeSlide & 0x0F;
    slideVolume(channel, up ? up : -down);
}

// Exy: x picks the command.
void XmRules::extendedEffect(int index, Channel& channel, bool firstTick)
{
    const int value = channel.cell.parameter & 0x0F;
    const int tick = song_.tick();
    switch (channel.cell.parameter >> 4) {
    case 0x1:   // fine portamento up, remembered
        if (firstTick) {
            if (value != 0) {
                channel.lastFinePortamentoUp = value;
            }
            slidePeriod(channel, -channel.lastFinePortamentoUp * 4);
        }
        break;
    case 0x2:   // fine portamento down
        if (firstTick) {
            if (value != 0) {
                channel.lastFinePortamentoDown = value;
            }
            slidePeriod(channel, channel.lastFinePortamentoDown * 4);
        }
        break;
    case 0x3:   // glissando
        channel.glissando = value != 0;
        break;
    case 0x4:   // vibrato waveform
        channel.vibratoWaveform = value & 7;
        break;
    case 0x6:   // pattern loop
        if (firstTick) {
            patternLoop(channel, value, false);
        }
        break;
    case 0x7:   // tremolo waveform
        channel.tremoloWaveform = value & 7;
        break;
    case 0x8:   // coarse panning
        if (firstTick) {
            channel.panning = value * 16 * 256 / 255;
        }
        break;
    case 0x9:   // retrigger every x ticks
        if (value != 0 && !firstTick && tick % value == 0 && channel.period != 0) {
            startVoice(index, channel, 0);
        }
        break;
    case 0xA:   // fine volume slide up, remembered
        if (firstTick) {
            if (value != 0) {
                channel.lastFineVolumeUp = value;
            }
            slideVolume(channel, channel.lastFineVolumeUp);
        }
        break;
    case 0xB:   // fine volume slide down
        if (firstTick) {
            if (value != 0) {
                channel.lastFineVolumeDown = value;
            }
            slideVolume(channel, -channel.lastFineVolumeDown);
        }
        break;
    case 0xC:   // note cut on tick x
        if (tick == value) {
            channel.volume = 0;
        }
        break;
    case 0xD:   // note delay: the cell starts on tick x
        if (channel.delayed && tick == value) {
            channel.delayed = false;
            startCell(index, channel, channel.cell);
            volumeColumn(channel, true);
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
