#include "sound/it_rules.h"

#include <algorithm>
#include <cmath>

namespace {

// The volume column's tone portamento speeds, by its 0 to 9.
constexpr int columnPortamento[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

// Impulse Tracker's sine over 256 steps, -64 to 64, from ProTracker's quarter wave.
int itSine(int position)
{
    static constexpr int quarter[17] = {0, 6, 12, 19, 24, 30, 36, 41, 45, 49, 53, 56, 59, 61, 63, 64, 64};
    const int step = (position & 255) >> 2;   // 0 to 63
    const int within = step & 15;
    const int magnitude = (step & 16) ? quarter[16 - within] : quarter[within];
    return step < 32 ? magnitude : -magnitude;
}

bool slidesToNote(const Cell& cell)
{
    return cell.effect == Effect::TonePortamentoS3m || cell.effect == Effect::TonePortamentoVolumeS3m ||
           cell.volumeCommand == VolumeCommand::TonePortamento;
}

} // namespace

ItRules::ItRules(const Module& module, Song& song, const PlayerOptions& options)
    : TrackerRules(module, song, options, module.channels + maxBackgroundVoices),
      // Slides move the pitch in linear steps of 1/64 semitone, or as Amiga periods.
      unit_(module.linearSlides ? pitchSteps : 1),
      // ModPlug Tracker saved its IT files as 2.17, compatible with 2.00.
      modplugPitch_(module.createdWith == 0x217 && module.compatibleWith == 0x200)
{
    amigaPitch_ = !module.linearSlides;
}

int ItRules::periodOf(int note, const Sample& sample, const Channel&) const
{
    const std::uint32_t rate = std::max<std::uint32_t>(sample.c5Speed, 1);
    if (!modplugPitch_) {
        return notePitch(note, rate);
    }
    // ModPlug Tracker's notes come from Scream Tracker's period table: with linear
    // slides the rate scaled by the period, otherwise the period itself, whole.
    static constexpr int notePeriods[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
    const int octave = std::max((note - 1) / 12 - 1, 0);
    const double period = static_cast<double>(notePeriods[(note - 1) % 12] << 4 >> octave);
    if (module_.linearSlides) {
        return pitchOfFrequency(rate * 1712.0 / std::max(period, 1.0));
    }
    return pitchOfFrequency(14317456.0 / std::max(std::floor(8363.0 * period / rate), 1.0));
}

std::uint64_t ItRules::frequencyOf(int period, const Sample&) const
{
    return frequencyOfPitch(period);
}

int ItRules::remember(int& memory, int parameter) const
{
    if (parameter != 0) {
        memory = parameter;
    }
    return memory;
}

// E, F and the volume column's pitch slides share one memory, and so does G unless the
// song asks for "compatible Gxx", which gives G a memory of its own. (Impulse Tracker's
// technical notes word the flag the other way round; the tracker plays it this way.)
int& ItRules::portamentoMemory(Channel& channel)
{
    return channel.lastPortamentoDown;
}

void ItRules::playCell(int index, Channel& channel, const Cell& cell)
{
    channel.cell = cell;
    channel.delayed = false;
    channel.tremorMuted = false;
    int special = cell.parameter;
    if (cell.effect == Effect::Special) {
        special = remember(channel.lastSpecial, cell.parameter);
    }
    if (cell.effect == Effect::Special && (special >> 4) == 0xD) {
        // SDx: the whole cell waits for tick x (SD0 for tick 1).
        channel.delayed = true;
        return;
    }
    startCell(index, channel, cell);
    volumeColumn(channel, true);
    rowEffect(index, channel);
}

// What a new note does to the notes its channel plays: duplicates of it are dealt with
// as its instrument says, and the playing note goes to the background, released or
// fading, or stops, as the playing note's instrument says.
void ItRules::moveToBackground(int index, Channel& channel)
{
    Voice* voice = voiceOf(channel);
    if (!voice || voice->channel != index) {
        return;
    }
    const Instrument* instrument = instrumentOf(voice->instrument);
    int action = channel.newNoteAction;
    if (action < 0) {
        action = instrument ? static_cast<int>(instrument->newNoteAction) : 0;
    }
    if (!instrument || action == static_cast<int>(NewNoteAction::Cut) || !voice->playing) {
        cutVoice(channel);
        return;
    }
    voice->background = true;
    channel.voice = -1;
    if (action == static_cast<int>(NewNoteAction::NoteOff)) {
        keyOff(*voice);
    } else if (action == static_cast<int>(NewNoteAction::NoteFade)) {
        voice->fading = true;
    }
}

void ItRules::applyAction(Voice& voice, int action)
{
    const int number = static_cast<int>(&voice - voices_.data());
    switch (action) {
    case 0:   // cut
        mixer_.cut(number);
        if (voice.channel >= 0 && channels_[static_cast<std::size_t>(voice.channel)].voice == number) {
            channels_[static_cast<std::size_t>(voice.channel)].voice = -1;
        }
        voice = Voice{};
        break;
    case 1:   // note off
        keyOff(voice);
        break;
    default:  // fade
        voice.fading = true;
        break;
    }
}

void ItRules::checkDuplicates(int index, Channel& channel, int played, int sample)
{
    const Instrument* instrument = instrumentOf(channel.instrument);
    if (!instrument || instrument->duplicateCheck == DuplicateCheck::Off) {
        return;
    }
    // The channel's notes in the background, and the one it plays now.
    for (Voice& voice : voices_) {
        if (voice.channel != index || voice.instrument != channel.instrument || !voice.playing) {
            continue;
        }
        bool duplicate = false;
        switch (instrument->duplicateCheck) {
        case DuplicateCheck::Note:
            duplicate = voice.note == played;
            break;
        case DuplicateCheck::Sample:
            duplicate = voice.sample == sample;
            break;
        case DuplicateCheck::Instrument:
            duplicate = true;
            break;
        case DuplicateCheck::Off:
            break;
        }
        if (duplicate) {
            applyAction(voice, static_cast<int>(instrument->duplicateAction));
        }
    }
}

// Key-off: envelopes go on past their sustain and sustain loops end; a note whose
// volume envelope is off, or loops, fades out at once.
void ItRules::keyOff(Voice& voice)
{
    releaseVoice(voice);
    const Instrument* instrument = instrumentOf(voice.instrument);
    if (!instrument || !envelopeOn(instrument->volumeEnvelope, voice.volumeEnvelopeOn) ||
        instrument->volumeEnvelope.loop) {
        voice.fading = true;
    }
}

void ItRules::advanceEnvelopes(Voice& voice)
{
    TrackerRules::advanceEnvelopes(voice);
    // A volume envelope that reaches its end starts the fade.
    const Instrument* instrument = instrumentOf(voice.instrument);
    if (instrument && envelopeOn(instrument->volumeEnvelope, voice.volumeEnvelopeOn) && voice.volumeEnvelope.ended) {
        voice.fading = true;
    }
}

// The note, instrument and volume of a cell, on its first tick or its delay's.
void ItRules::startCell(int index, Channel& channel, const Cell& cell)
{
    Voice* voice = voiceOf(channel);
    if (cell.note == noteOff) {
        if (voice) {
            keyOff(*voice);
        }
    } else if (cell.note == noteCut) {
        cutVoice(channel);
    } else if (cell.note == noteFade) {
        if (voice) {
            voice->fading = true;
        }
    }
    if (cell.instrument > 0) {
        channel.instrument = cell.instrument;
    }
    if (!isPlayableNote(cell.note)) {
        // An instrument alone takes its sample's volume again.
        if (cell.instrument > 0) {
            int played = 0;
            int sample = 0;
            mapNote(channel.instrument, channel.note > 0 ? channel.note : noteMiddleC, played, sample);
            if (sample >= 1 && sample <= static_cast<int>(module_.samples.size())) {
                channel.volume = module_.samples[static_cast<std::size_t>(sample - 1)].volume;
            }
        }
    } else {
        int played = 0;
        int sample = 0;
        mapNote(channel.instrument, cell.note, played, sample);
        if (sample >= 1 && sample <= static_cast<int>(module_.samples.size())) {
            startNote(index, channel, cell, played, sample);
        }
    }
    if (cell.volumeCommand == VolumeCommand::Volume) {
        channel.volume = std::min<int>(cell.volumeValue, 64);
    } else if (cell.volumeCommand == VolumeCommand::Panning) {
        channel.panning = std::min<int>(cell.volumeValue, 64) * 4;
        channel.surround = false;
    }
}

void ItRules::startNote(int index, Channel& channel, const Cell& cell, int played, int sampleNumber)
{
    const Sample& sample = module_.samples[static_cast<std::size_t>(sampleNumber - 1)];
    Voice* voice = voiceOf(channel);
    if (slidesToNote(cell) && voice && voice->playing && channel.period != 0) {
        // A slide to the note, not a new one.
        channel.targetPeriod = periodOf(played, sample, channel);
        if (cell.instrument > 0) {
            channel.volume = sample.volume;
            if (module_.compatibleGxx) {
                voice->volumeEnvelope = EnvelopePosition{};
                voice->panningEnvelope = EnvelopePosition{};
                voice->pitchEnvelope = EnvelopePosition{};
            }
        }
        return;
    }
    checkDuplicates(index, channel, played, sampleNumber);
    // Envelopes with carry go on where the channel's last note of the instrument left them.
    Voice carried;
    const Voice* previous = voiceOf(channel);
    const bool carry = previous && previous->instrument == channel.instrument && channel.instrument > 0;
    if (carry) {
        carried = *previous;
    }
    const bool newSample = channel.sample != sampleNumber;
    channel.sample = sampleNumber;
    channel.note = played;
    channel.period = periodOf(played, sample, channel);
    channel.targetPeriod = channel.period;
    if (cell.instrument > 0 || newSample) {
        channel.volume = sample.volume;
    }
    const Instrument* instrument = instrumentOf(channel.instrument);
    // Panning: the instrument's, else the sample's, else the channel's; moved by the
    // note's distance from the pitch-pan centre.
    if (instrument && instrument->panning >= 0) {
        channel.panning = instrument->panning;
        channel.surround = false;
    }
    if (sample.panning >= 0) {
        channel.panning = sample.panning;
        channel.surround = false;
    }
    int panning = channel.panning;
    if (instrument) {
        panning += (played - instrument->pitchPanCentre) * instrument->pitchPanSeparation / 2;
        if (instrument->randomPanning > 0) {
            panning += (nextRandom() % (2 * instrument->randomPanning + 1) - instrument->randomPanning) * 4;
        }
        if (instrument->randomVolume > 0) {
            const int swing = channel.volume * instrument->randomVolume / 100;
            channel.volume = std::clamp(channel.volume + nextRandom() % (2 * swing + 1) - swing, 0, 64);
        }
        if (instrument->filterCutoff >= 0) {
            channel.cutoff = instrument->filterCutoff;
        }
        if (instrument->filterResonance >= 0) {
            channel.resonance = instrument->filterResonance;
        }
    }
    channel.panning = std::clamp(panning, 0, 256);
    if ((channel.vibratoWaveform & 4) == 0) {
        channel.vibratoPosition = 0;
    }
    if ((channel.tremoloWaveform & 4) == 0) {
        channel.tremoloPosition = 0;
    }

    std::uint32_t offset = 0;
    if (cell.effect == Effect::SampleOffsetS3m) {
        offset = static_cast<std::uint32_t>(remember(channel.lastOffset, cell.parameter)) << 8 |
                 static_cast<std::uint32_t>(channel.highOffset) << 16;
        if (offset >= sample.frames()) {
            // Past the end: old effects play from the end, which is nothing; IT's own
            // effects leave the offset out.
            offset = module_.oldEffects ? sample.frames() : 0;
        }
    }
    startVoice(index, channel, offset);
    channel.newNoteAction = -1;
    Voice* started = voiceOf(channel);
    if (carry && instrument && started) {
        if (instrument->volumeEnvelope.carry) {
            started->volumeEnvelope = carried.volumeEnvelope;
        }
        if (instrument->panningEnvelope.carry) {
            started->panningEnvelope = carried.panningEnvelope;
        }
        if (instrument->pitchEnvelope.carry) {
            started->pitchEnvelope = carried.pitchEnvelope;
        }
    }
}

// The volume column: settings and fine slides on the first tick, slides on the others.
void ItRules::volumeColumn(Channel& channel, bool firstTick)
{
    const int value = channel.cell.volumeValue;
    switch (channel.cell.volumeCommand) {
    case VolumeCommand::FineVolumeUp:
        if (firstTick) {
            slideVolume(channel, remember(channel.lastVolumeColumnSlide, value));
        }
        break;
    case VolumeCommand::FineVolumeDown:
        if (firstTick) {
            slideVolume(channel, -remember(channel.lastVolumeColumnSlide, value));
        }
        break;
    case VolumeCommand::VolumeSlideUp:
        if (firstTick) {
            remember(channel.lastVolumeColumnSlide, value);
        } else {
            slideVolume(channel, channel.lastVolumeColumnSlide);
        }
        break;
    case VolumeCommand::VolumeSlideDown:
        if (firstTick) {
            remember(channel.lastVolumeColumnSlide, value);
        } else {
            slideVolume(channel, -channel.lastVolumeColumnSlide);
        }
        break;
    case VolumeCommand::PortamentoDown:
        if (firstTick) {
            remember(portamentoMemory(channel), value * 4);
        } else {
            slidePeriod(channel, portamentoMemory(channel) * 4 * unit_);
        }
        break;
    case VolumeCommand::PortamentoUp:
        if (firstTick) {
            remember(portamentoMemory(channel), value * 4);
        } else {
            slidePeriod(channel, -portamentoMemory(channel) * 4 * unit_);
        }
        break;
    case VolumeCommand::TonePortamento:
        if (firstTick) {
            const int speed = columnPortamento[std::min(value, 9)];
            if (speed != 0) {
                if (module_.compatibleGxx) {
                    channel.lastTonePortamento = speed;   // G's own memory
                } else {
                    portamentoMemory(channel) = speed;
                }
            }
        } else {
            const int speed = module_.compatibleGxx ? channel.lastTonePortamento : portamentoMemory(channel);
            channel.portamentoSpeed = speed * 4 * unit_;
            tonePortamento(channel);
        }
        break;
    case VolumeCommand::VibratoDepth:
        if (firstTick && value != 0) {
            channel.vibratoDepth = value * 4;
        }
        if (!firstTick || !module_.oldEffects) {
            vibratoTick(channel);
        }
        break;
    default:
        break;
    }
}

// The first tick's part of the row's effect.
void ItRules::rowEffect(int index, Channel& channel)
{
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case Effect::SetSpeed:                 // Axx
        if (parameter > 0) {
            song_.setSpeed(parameter);
        }
        break;
    case Effect::JumpToOrder:              // Bxx
        song_.jumpToOrder(parameter);
        break;
    case Effect::BreakToRow:               // Cxx: the row in hex
        song_.breakToRow(parameter);
        break;
    case Effect::VolumeSlideS3m:           // Dxy: fine slides now
        lettersVolumeSlide(channel, remember(channel.lastVolumeSlide, parameter), true);
        break;
    case Effect::PortamentoDownS3m:        // Exx
        portamento(channel, remember(portamentoMemory(channel), parameter), true, true);
        break;
    case Effect::PortamentoUpS3m:          // Fxx
        portamento(channel, remember(portamentoMemory(channel), parameter), false, true);
        break;
    case Effect::TonePortamentoS3m:        // Gxx
        if (module_.compatibleGxx) {
            remember(channel.lastTonePortamento, parameter);
        } else {
            remember(portamentoMemory(channel), parameter);
        }
        break;
    case Effect::VibratoS3m:               // Hxy and Uxy: speed x, depth y
    case Effect::FineVibrato: {
        if (parameter >> 4) {
            channel.vibratoSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.vibratoDepth = (parameter & 0x0F) * (channel.cell.effect == Effect::FineVibrato ? 1 : 4);
        }
        if (!module_.oldEffects) {
            vibratoTick(channel);
        }
        break;
    }
    case Effect::TremorS3m:                // Ixy
        itTremor(channel, remember(channel.lastTremor, parameter));
        break;
    case Effect::ArpeggioS3m:              // Jxy
        remember(channel.lastArpeggio, parameter);
        break;
    case Effect::VibratoVolumeS3m:         // Kxy: H00 and Dxy
        lettersVolumeSlide(channel, remember(channel.lastVolumeSlide, parameter), true);
        if (!module_.oldEffects) {
            vibratoTick(channel);
        }
        break;
    case Effect::TonePortamentoVolumeS3m:  // Lxy: G00 and Dxy
        lettersVolumeSlide(channel, remember(channel.lastVolumeSlide, parameter), true);
        break;
    case Effect::ChannelVolume:            // Mxx: 0 to 64
        if (parameter <= 64) {
            channel.channelVolume = parameter;
        }
        break;
    case Effect::ChannelVolumeSlide: {     // Nxy: fine slides now
        const int value = remember(channel.lastChannelVolumeSlide, parameter);
        if ((value & 0x0F) == 0x0F && (value >> 4) != 0) {
            channel.channelVolume = std::min(channel.channelVolume + (value >> 4), 64);
        } else if ((value >> 4) == 0x0F && (value & 0x0F) != 0) {
            channel.channelVolume = std::max(channel.channelVolume - (value & 0x0F), 0);
        }
        break;
    }
    case Effect::PanningSlideS3m: {        // Pxy: fine slides now
        const int value = remember(channel.lastPanningSlide, parameter);
        if ((value & 0x0F) == 0x0F && (value >> 4) != 0) {
            channel.panning = std::max(channel.panning - (value >> 4) * 4, 0);
        } else if ((value >> 4) == 0x0F && (value & 0x0F) != 0) {
            channel.panning = std::min(channel.panning + (value & 0x0F) * 4, 256);
        }
        break;
    }
    case Effect::RetriggerS3m:             // Qxy
        retrigger(index, channel, remember(channel.lastRetrigger, parameter));
        break;
    case Effect::TremoloS3m:               // Rxy: on the first tick as well
        if (parameter >> 4) {
            channel.tremoloSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.tremoloDepth = parameter & 0x0F;
        }
        tremolo(channel, 7);
        break;
    case Effect::Special:                  // Sxy
        specialEffect(index, channel, true);
        break;
    case Effect::SetTempo:                 // Txx; T0x and T1x slide on the later ticks
        if (parameter >= 0x20) {
            song_.setTempo(parameter);
        } else {
            remember(channel.lastTempoSlide, parameter);
        }
        break;
    case Effect::GlobalVolumeS3m:          // Vxx: 0 to 128
        if (parameter <= 128) {
            song_.globalVolume = parameter;
        }
        break;
    case Effect::GlobalVolumeSlideS3m: {   // Wxy: fine slides now
        const int value = remember(channel.lastGlobalVolumeSlide, parameter);
        if ((value & 0x0F) == 0x0F && (value >> 4) != 0) {
            song_.globalVolume = std::min(song_.globalVolume + (value >> 4), 128);
        } else if ((value >> 4) == 0x0F && (value & 0x0F) != 0) {
            song_.globalVolume = std::max(song_.globalVolume - (value & 0x0F), 0);
        }
        break;
    }
    case Effect::SetPanning:               // Xxx: 0 to 255
        channel.panning = parameter * 256 / 255;
        channel.surround = false;
        break;
    case Effect::Panbrello:                // Yxy
        if (parameter >> 4) {
            channel.panbrelloSpeed = parameter >> 4;
        }
        if (parameter & 0x0F) {
            channel.panbrelloDepth = parameter & 0x0F;
        }
        break;
    case Effect::MidiMacro:                // Zxx under the default macros: the filter
        if (parameter < 0x80) {
            if (channel.filterMacro == 0) {
                channel.cutoff = parameter;
            } else if (channel.filterMacro == 1) {
                channel.resonance = parameter;
            }
        } else if (parameter <= 0x8F) {
            channel.resonance = (parameter & 0x0F) * 8;
        }
        if (Voice* voice = voiceOf(channel)) {
            voice->cutoff = channel.cutoff;
            voice->resonance = channel.resonance;
        }
        break;
    default:
        break;
    }
}

void ItRules::tickEffects(int index, Channel& channel)
{
    if (channel.delayed) {
        specialEffect(index, channel, false);
        return;
    }
    volumeColumn(channel, false);
    switch (channel.cell.effect) {
    case Effect::VolumeSlideS3m:
        lettersVolumeSlide(channel, channel.lastVolumeSlide, false);
        break;
    case Effect::PortamentoDownS3m:
        portamento(channel, portamentoMemory(channel), true, false);
        break;
    case Effect::PortamentoUpS3m:
        portamento(channel, portamentoMemory(channel), false, false);
        break;
    case Effect::TonePortamentoS3m: {
        const int speed = module_.compatibleGxx ? channel.lastTonePortamento : portamentoMemory(channel);
        channel.portamentoSpeed = speed * 4 * unit_;
        tonePortamento(channel);
        break;
    }
    case Effect::VibratoS3m:
        vibratoTick(channel);
        break;
    case Effect::FineVibrato:
        vibratoTick(channel);
        break;
    case Effect::TremorS3m:
        itTremor(channel, channel.lastTremor);
        break;
    case Effect::ArpeggioS3m: {            // the note, then x and y semitones up, a tick each
        const int step = song_.tick() % 3;
        channel.arpeggio = step == 1 ? channel.lastArpeggio >> 4 : step == 2 ? channel.lastArpeggio & 0x0F : 0;
        break;
    }
    case Effect::VibratoVolumeS3m:
        vibratoTick(channel);
        lettersVolumeSlide(channel, channel.lastVolumeSlide, false);
        break;
    case Effect::TonePortamentoVolumeS3m: {
        const int speed = module_.compatibleGxx ? channel.lastTonePortamento : portamentoMemory(channel);
        channel.portamentoSpeed = speed * 4 * unit_;
        tonePortamento(channel);
        lettersVolumeSlide(channel, channel.lastVolumeSlide, false);
        break;
    }
    case Effect::ChannelVolumeSlide: {
        const int value = channel.lastChannelVolumeSlide;
        if ((value & 0x0F) == 0) {
            channel.channelVolume = std::min(channel.channelVolume + (value >> 4), 64);
        } else if ((value >> 4) == 0) {
            channel.channelVolume = std::max(channel.channelVolume - (value & 0x0F), 0);
        }
        break;
    }
    case Effect::PanningSlideS3m: {
        const int value = channel.lastPanningSlide;
        if ((value & 0x0F) == 0) {
            channel.panning = std::max(channel.panning - (value >> 4) * 4, 0);
        } else if ((value >> 4) == 0) {
            channel.panning = std::min(channel.panning + (value & 0x0F) * 4, 256);
        }
        break;
    }
    case Effect::RetriggerS3m:
        retrigger(index, channel, channel.lastRetrigger);
        break;
    case Effect::TremoloS3m:
        tremolo(channel, 7);
        break;
    case Effect::Special:
        specialEffect(index, channel, false);
        break;
    case Effect::SetTempo: {               // T0x down, T1x up, on every tick but the first
        if (channel.cell.parameter < 0x20) {
            const int slide = channel.lastTempoSlide;
            const int value = slide & 0x0F;
            song_.setTempo(std::clamp(song_.tempo() + ((slide >> 4) == 1 ? value : -value), 32, 255));
        }
        break;
    }
    case Effect::GlobalVolumeSlideS3m: {
        const int value = channel.lastGlobalVolumeSlide;
        if ((value & 0x0F) == 0) {
            song_.globalVolume = std::min(song_.globalVolume + (value >> 4), 128);
        } else if ((value >> 4) == 0) {
            song_.globalVolume = std::max(song_.globalVolume - (value & 0x0F), 0);
        }
        break;
    }
    case Effect::Panbrello:
        panbrello(channel);
        break;
    default:
        break;
    }
}

// Exx and Fxx by 4 units a step on every tick but the first; EFx and EEx (fine and
// extra fine) by 4 and 1 once, on the first. A unit is 1/64 semitone with linear slides,
// one of Scream Tracker's periods otherwise.
void ItRules::portamento(Channel& channel, int parameter, bool down, bool firstTick)
{
    const int unit = unit_;
    const int sign = down ? 1 : -1;
    if (parameter >= 0xF0) {
        if (firstTick) {
            slidePeriod(channel, sign * (parameter & 0x0F) * 4 * unit);
        }
    } else if (parameter >= 0xE0) {
        if (firstTick) {
            slidePeriod(channel, sign * (parameter & 0x0F) * unit);
        }
    } else if (!firstTick) {
        slidePeriod(channel, sign * parameter * 4 * unit);
    }
}

// Impulse Tracker's vibrato: 256 steps a cycle, four per speed unit; twice as deep with
// old effects.
void ItRules::vibratoTick(Channel& channel)
{
    // The wave moves on first, then plays; its upper half raises the pitch.
    channel.vibratoPosition = (channel.vibratoPosition + channel.vibratoSpeed * 4) & 255;
    const int position = channel.vibratoPosition;
    int wave = 0;
    switch (channel.vibratoWaveform & 3) {
    case 1:
        wave = 64 - (position & 255) / 2;
        break;
    case 2:   // Impulse Tracker's square has one side only
        wave = (position & 255) < 128 ? 64 : 0;
        break;
    case 3:
        wave = nextRandom() % 129 - 64;
        break;
    default:
        wave = itSine(position);
        break;
    }
    // The depth counts sixteenths of a step (fine vibrato) or quarter steps, a step
    // being 1/64 semitone.
    const int shift = module_.oldEffects ? 5 : 6;
    const int steps = wave * channel.vibratoDepth / (1 << shift);
    if (amigaPitch_ && channel.period != 0) {
        // With Amiga slides the steps are Scream Tracker's periods.
        channel.periodDelta = slideAmigaPitch(channel.period, -steps) - channel.period;
        return;
    }
    channel.periodDelta = -steps * pitchSteps;
}

// Ixy: on for x ticks and off for y (x + 1 and y + 1 with old effects), across rows.
void ItRules::itTremor(Channel& channel, int parameter)
{
    const int extra = module_.oldEffects ? 1 : 0;
    const int on = std::max((parameter >> 4) + extra, 1);
    const int off = std::max((parameter & 0x0F) + extra, 1);
    channel.tremorCount %= on + off;
    channel.tremorMuted = channel.tremorCount >= on;
    ++channel.tremorCount;
}

// Sxy (S00 takes the last): x picks the command.
void ItRules::specialEffect(int index, Channel& channel, bool firstTick)
{
    const int parameter = channel.lastSpecial;
    const int value = parameter & 0x0F;
    const int tick = song_.tick();
    switch (parameter >> 4) {
    case 0x1:   // glissando
        channel.glissando = value != 0;
        break;
    case 0x3:   // vibrato waveform
        channel.vibratoWaveform = value & 3;
        break;
    case 0x4:   // tremolo waveform
        channel.tremoloWaveform = value & 3;
        break;
    case 0x5:   // panbrello waveform
        channel.panbrelloWaveform = value & 3;
        break;
    case 0x6:   // fine pattern delay: the row lasts x ticks longer
        if (firstTick) {
            song_.extendRow(value);
        }
        break;
    case 0x7: { // past-note actions, new-note actions and the envelopes' switches
        if (!firstTick) {
            break;
        }
        Voice* voice = voiceOf(channel);
        if (value <= 2) {
            for (Voice& other : voices_) {
                if (other.channel == index && other.background) {
                    applyAction(other, value);
                }
            }
        } else if (value <= 6) {
            channel.newNoteAction = value - 3;
        } else if (voice) {
            switch (value) {
            case 7: voice->volumeEnvelopeOn = false; break;
            case 8: voice->volumeEnvelopeOn = true; break;
            case 9: voice->panningEnvelopeOn = false; break;
            case 0xA: voice->panningEnvelopeOn = true; break;
            case 0xB: voice->pitchEnvelopeOn = false; break;
            case 0xC: voice->pitchEnvelopeOn = true; break;
            default: break;
            }
        }
        break;
    }
    case 0x8:   // panning, 0 to 15 from left to right
        channel.panning = (value * 256 + 7) / 15;
        channel.surround = false;
        break;
    case 0x9:   // S91: surround
        if (value == 1) {
            channel.surround = true;
        }
        break;
    case 0xA:   // the sample offset's 64 kB steps
        channel.highOffset = value;
        break;
    case 0xB:   // pattern loop
        if (firstTick) {
            patternLoop(channel, value, true);
        }
        break;
    case 0xC:   // note cut on tick x; SC0 acts as SC1
        if (tick == std::max(value, 1)) {
            cutVoice(channel);
        }
        break;
    case 0xD:   // note delay: the cell starts on tick x; SD0 on tick 1
        if (channel.delayed && tick == std::max(value, 1)) {
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
    case 0xF:   // which filter setting Z00 to Z7F change
        channel.filterMacro = value;
        break;
    default:
        break;
    }
}

// The resonant filter as Impulse Tracker computes it: the cutoff in 1/24 octaves above
// 110 Hz (moved by a filter envelope), the resonance as a damping factor. Once an
// instrument or Zxx has set either, the voice is filtered, even at the top cutoff.
void ItRules::updateFilter(int number, const Voice& voice)
{
    if (voice.cutoff < 0 && voice.resonance == 0) {
        mixer_.setFilter(number, false, 0, 0, 0);
        return;
    }
    int cutoff = voice.cutoff < 0 ? 127 : voice.cutoff;
    const Instrument* instrument = instrumentOf(voice.instrument);
    if (instrument && instrument->pitchEnvelope.filter &&
        envelopeOn(instrument->pitchEnvelope, voice.pitchEnvelopeOn)) {
        cutoff = cutoff * (voice.pitchEnvelope.value + 32) / 64;
    }
    const double frequency = std::min(110.0 * std::exp2(0.25 + cutoff / 24.0), options_.rate / 2.0);
    const double damping = std::pow(10.0, -voice.resonance * 24.0 / 128.0 / 20.0);
    const double r = options_.rate / (2.0 * 3.14159265358979323846 * frequency);
    const double d = damping * r + damping - 1.0;
    const double e = r * r;
    const double a = 1.0 / (1.0 + d + e);
    const double b = (d + e + e) * a;
    const double c = -e * a;
    constexpr double one = 16777216.0;
    mixer_.setFilter(number, true, static_cast<std::int32_t>(std::lround(a * one)),
                     static_cast<std::int32_t>(std::lround(b * one)), static_cast<std::int32_t>(std::lround(c * one)));
}
