#include "sound/tracker_rules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

// 2^(i / 768) in 1/65,536: one octave in 1/64 semitones.
const std::array<std::uint32_t, 768>& octaveTable()
{
    static const std::array<std::uint32_t, 768> table = [] {
        std::array<std::uint32_t, 768> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = static_cast<std::uint32_t>(std::lround(std::exp2(static_cast<double>(i) / 768.0) * 65536.0));
        }
        return values;
    }();
    return table;
}

// `value` times 2^(units / 768), for units of 1/64 semitone either way.
std::uint64_t scaleBySemitones(std::uint64_t value, int units)
{
    int octaves = units >= 0 ? units / 768 : -((-units + 767) / 768);
    const int rest = units - octaves * 768;
    std::uint64_t scaled = value * octaveTable()[static_cast<std::size_t>(rest)] >> 16;
    if (octaves > 0) {
        octaves = std::min(octaves, 20);
        scaled <<= octaves;
    } else if (octaves < 0) {
        scaled >>= std::min(-octaves, 63);
    }
    return scaled;
}

// ProTracker's sine, a quarter wave of 0 to 255 over 16 steps.
constexpr int sineQuarter[17] = {0, 24, 49, 74, 97, 120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253, 255};

// The value of an envelope at a tick between its points, by linear interpolation, in
// 1/256 of its units.
int envelopeValue(const Envelope& envelope, int point, int tick)
{
    const Envelope::Point& from = envelope.points[static_cast<std::size_t>(point)];
    if (static_cast<std::size_t>(point) + 1 >= envelope.points.size() || tick <= from.tick) {
        return from.value * 256;
    }
    const Envelope::Point& to = envelope.points[static_cast<std::size_t>(point) + 1];
    const int span = to.tick - from.tick;
    if (span <= 0) {
        return to.value * 256;
    }
    return from.value * 256 + (to.value - from.value) * 256 * (tick - from.tick) / span;
}

// Reads the envelope's value at its current tick, then moves on by one tick: held on a
// sustain (or round a sustain loop) while the key is down, round the loop, or on to the
// end. FastTracker 2 goes back to a loop's start on the tick that reaches its end, whose
// value is never heard; Impulse Tracker plays the end first.
void stepEnvelope(const Envelope& envelope, EnvelopePosition& state, bool released, bool loopSkipsEnd)
{
    const int last = static_cast<int>(envelope.points.size()) - 1;
    state.point = std::clamp(state.point, 0, last);
    while (state.point < last && envelope.points[static_cast<std::size_t>(state.point) + 1].tick <= state.tick) {
        ++state.point;
    }
    state.fine = envelopeValue(envelope, state.point, state.tick);
    // Whole units as the volume and panning have them, rounded toward zero.
    state.value = state.fine / 256;

    auto tickOf = [&envelope](int point) {
        return static_cast<int>(envelope.points[static_cast<std::size_t>(point)].tick);
    };
    if (envelope.sustain && !released && envelope.sustainEnd <= last) {
        // FastTracker 2 holds only on its sustain point's own tick: an envelope set past it
        // (Lxx) runs on.
        const bool atEnd = loopSkipsEnd ? state.tick == tickOf(envelope.sustainEnd)
                                        : state.tick >= tickOf(envelope.sustainEnd);
        if (atEnd) {
            state.tick = tickOf(envelope.sustainStart);
            state.point = envelope.sustainStart;
            return;
        }
    } else if (envelope.loop && envelope.loopEnd <= last &&
               state.tick + (loopSkipsEnd ? 1 : 0) >= tickOf(envelope.loopEnd)) {
        state.tick = tickOf(envelope.loopStart);
        state.point = envelope.loopStart;
        return;
    }
    if (state.tick >= tickOf(last)) {
        state.ended = true;
        return;
    }
    ++state.tick;
}

} // namespace

TrackerRules::TrackerRules(const Module& module, Song& song, const PlayerOptions& options, int voices)
    : module_(module),
      song_(song),
      options_(options),
      // FastTracker 2 eased volumes in and out over about 5 ms; the other trackers changed
      // them at once, which a third of a millisecond up and one down keep from clicking.
      mixer_(voices,
             MixerOptions{options.rate, options.interpolate, options.ramp, playsAsFastTracker2(module) ? 5000 : 360,
                          playsAsFastTracker2(module) ? 5000 : 950, true},
             module.samples),
      channels_(static_cast<std::size_t>(module.channels)),
      voices_(static_cast<std::size_t>(voices)),
      // As for ProTracker's modules: four channels at full volume reach full scale, more
      // are scaled down by the square root of their number.
      master_(module.channels <= 4 ? 128
                                   : static_cast<std::int32_t>(std::lround(128.0 * std::sqrt(4.0 / module.channels))))
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const ChannelSettings& settings = module.channelSettings.size() > i ? module.channelSettings[i]
                                                                            : ChannelSettings{};
        channels_[i].panning = settings.panning;
        channels_[i].channelVolume = settings.volume;
        channels_[i].surround = settings.surround;
        channels_[i].muted = settings.muted;
    }
}

TrackerRules::~TrackerRules() = default;

bool TrackerRules::playsAsFastTracker2(const Module& module)
{
    // Other trackers that save XM files (Soundtracker, DigiBooster, Skale...) play them
    // by their own, plainer, rules.
    return module.format == ModuleFormat::Xm && module.tracker.rfind("FastTracker", 0) == 0;
}

int TrackerRules::nextRandom()
{
    // A small linear congruential generator: the same song gives the same sound.
    random_ = random_ * 1103515245u + 12345u;
    return static_cast<int>(random_ >> 16 & 0x7FFF);
}

const Instrument* TrackerRules::instrumentOf(int number) const
{
    if (module_.instruments.empty() || number < 1 || number > static_cast<int>(module_.instruments.size())) {
        return nullptr;
    }
    return &module_.instruments[static_cast<std::size_t>(number - 1)];
}

const Sample* TrackerRules::sampleOf(const Channel& channel) const
{
    if (channel.sample < 1 || channel.sample > static_cast<int>(module_.samples.size())) {
        return nullptr;
    }
    return &module_.samples[static_cast<std::size_t>(channel.sample - 1)];
}

TrackerRules::Voice* TrackerRules::voiceOf(Channel& channel)
{
    return channel.voice >= 0 ? &voices_[static_cast<std::size_t>(channel.voice)] : nullptr;
}

void TrackerRules::mapNote(int instrument, int note, int& played, int& sample) const
{
    played = note;
    sample = instrument;
    if (module_.instruments.empty()) {
        return;
    }
    sample = 0;
    const Instrument* found = instrumentOf(instrument);
    if (found && isPlayableNote(note)) {
        const Instrument::Key& key = found->keys[static_cast<std::size_t>(note - 1)];
        played = isPlayableNote(key.note) ? key.note : note;
        sample = key.sample;
    }
}

void TrackerRules::playRow(int pattern, int row)
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].clearDeltas();
        playCell(static_cast<int>(i), channels_[i], module_.cell(pattern, row, static_cast<int>(i)));
    }
}

void TrackerRules::repeatRow()
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].clearDeltas();
        repeatEffects(static_cast<int>(i), channels_[i]);
    }
}

void TrackerRules::playTick()
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].clearDeltas();
        tickEffects(static_cast<int>(i), channels_[i]);
    }
}

int TrackerRules::takeVoice(int channel)
{
    // The channel's own voice first: formats without background voices have one each.
    if (voices_.size() == channels_.size()) {
        return channel;
    }
    int quietest = -1;
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        const Voice& voice = voices_[i];
        if (voice.channel < 0 && !mixer_.audible(static_cast<int>(i))) {
            return static_cast<int>(i);
        }
        if (!voice.background) {
            continue;
        }
        const Voice* best = quietest >= 0 ? &voices_[static_cast<std::size_t>(quietest)] : nullptr;
        if (!best || voice.finalVolume < best->finalVolume ||
            (voice.finalVolume == best->finalVolume && voice.started < best->started)) {
            quietest = static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        if (voices_[i].channel < 0) {
            return static_cast<int>(i);
        }
    }
    // Every voice is busy: the quietest background voice gives way.
    if (quietest >= 0) {
        mixer_.cut(quietest);
        voices_[static_cast<std::size_t>(quietest)] = Voice{};
        return quietest;
    }
    return channel;
}

void TrackerRules::startVoice(int index, Channel& channel, std::uint32_t offset)
{
    const Sample* sample = sampleOf(channel);
    if (channel.voice >= 0 && voices_[static_cast<std::size_t>(channel.voice)].channel == index) {
        moveToBackground(index, channel);
    }
    if (!sample) {
        return;
    }
    const int number = takeVoice(index);
    channel.voice = number;
    channel.retriggerCount = 0;
    Voice& voice = voices_[static_cast<std::size_t>(number)];
    voice = Voice{};
    voice.channel = index;
    voice.sample = channel.sample;
    voice.instrument = module_.instruments.empty() ? 0 : channel.instrument;
    voice.note = channel.note;
    voice.period = channel.period;
    voice.volume = channel.volume;
    voice.panning = channel.panning;
    voice.cutoff = channel.cutoff;
    voice.resonance = channel.resonance;
    voice.playing = true;
    voice.started = ++notesStarted_;

    // The sample plays up to the end of its sustain loop or loop, then loops there.
    std::uint32_t end = sample->frames();
    if (sample->sustainLoop != LoopMode::None) {
        end = sample->sustainEnd;
    } else if (sample->loop != LoopMode::None) {
        end = sample->loopEnd;
    }
    mixer_.trigger(number, channel.sample - 1, offset, end);
    if (sample->sustainLoop != LoopMode::None) {
        mixer_.setLoop(number, channel.sample - 1, sample->sustainStart, sample->sustainEnd, sample->sustainLoop);
    } else {
        mixer_.setLoop(number, channel.sample - 1, sample->loopStart, sample->loopEnd, sample->loop);
    }
}

void TrackerRules::cutVoice(Channel& channel)
{
    if (channel.voice < 0) {
        return;
    }
    Voice& voice = voices_[static_cast<std::size_t>(channel.voice)];
    mixer_.cut(channel.voice);
    voice = Voice{};
    channel.voice = -1;
}

void TrackerRules::releaseVoice(Voice& voice)
{
    if (voice.released) {
        return;
    }
    voice.released = true;
    // A sustain loop lets go: the sample plays on from where it is into its own loop.
    const int number = static_cast<int>(&voice - voices_.data());
    if (voice.sample >= 1 && voice.sample <= static_cast<int>(module_.samples.size())) {
        const Sample& sample = module_.samples[static_cast<std::size_t>(voice.sample - 1)];
        if (sample.sustainLoop != LoopMode::None) {
            mixer_.setLoop(number, voice.sample - 1, sample.loopStart, sample.loopEnd, sample.loop);
            mixer_.setBlockEnd(number, sample.loop != LoopMode::None ? sample.loopEnd : sample.frames());
        }
    }
}

void TrackerRules::slideVolume(Channel& channel, int amount)
{
    channel.volume = std::clamp(channel.volume + amount, 0, 64);
}

void TrackerRules::lettersVolumeSlide(Channel& channel, int parameter, bool firstTick, bool plainOnFirstTick)
{
    const int up = parameter >> 4;
    const int down = parameter & 0x0F;
    if (down == 0x0F && up != 0) {
        if (firstTick) {
            slideVolume(channel, up);
        }
    } else if (up == 0x0F && down != 0) {
        if (firstTick) {
            slideVolume(channel, -down);
        }
    } else if (!firstTick || plainOnFirstTick) {
        if (down == 0) {
            slideVolume(channel, up);
        } else if (up == 0) {
            slideVolume(channel, -down);
        }
    }
}

void TrackerRules::tableArpeggio(Channel& channel, int semitones)
{
    if (semitones == 0 || !sampleOf(channel)) {
        return;
    }
    const Sample& sample = *sampleOf(channel);
    const int note = std::min(channel.note + semitones, static_cast<int>(noteLast));
    channel.periodDelta = periodOf(note, sample, channel) - periodOf(channel.note, sample, channel);
}

void TrackerRules::slidePeriod(Channel& channel, int amount)
{
    if (channel.period == 0) {
        return;
    }
    if (amigaPitch_) {
        channel.period = slideAmigaPitch(channel.period, amount);
    } else {
        channel.period = static_cast<int>(std::clamp<long long>(static_cast<long long>(channel.period) + amount, 1,
                                                                 0x3FFFFFFF));
    }
}

void TrackerRules::tonePortamento(Channel& channel)
{
    if (channel.period == 0 || channel.targetPeriod == 0) {
        return;
    }
    const int speed = channel.portamentoSpeed;
    if (channel.period < channel.targetPeriod) {
        // Down: toward a longer period.
        const int moved = amigaPitch_ ? slideAmigaPitch(channel.period, speed) : channel.period + speed;
        channel.period = std::min(moved, channel.targetPeriod);
    } else if (channel.period > channel.targetPeriod) {
        const int moved = amigaPitch_ ? slideAmigaPitch(channel.period, -speed) : channel.period - speed;
        channel.period = std::max(moved, channel.targetPeriod);
    }
}

int TrackerRules::waveValue(int waveform, int position) const
{
    position &= 63;
    switch (waveform & 3) {
    case 1:   // ramp: from 0 down to the trough, then from the crest down to 0 again
        return position < 32 ? -position * 8 : 255 - (position - 32) * 8;
    case 2:   // square
        return position < 32 ? 255 : -255;
    case 3:   // random: the generator's last value
        return static_cast<int>(random_ >> 7 & 0x1FF) - 256;
    default: {
        const int quarter = position & 15;
        const int magnitude = (position & 16) ? sineQuarter[16 - quarter] : sineQuarter[quarter];
        return position < 32 ? magnitude : -magnitude;
    }
    }
}

void TrackerRules::vibrato(Channel& channel, int shift, bool advance, int sign)
{
    channel.periodDelta =
        sign * waveValue(channel.vibratoWaveform, channel.vibratoPosition) * channel.vibratoDepth / (1 << shift);
    if (advance) {
        channel.vibratoPosition = (channel.vibratoPosition + channel.vibratoSpeed) & 63;
    }
}

void TrackerRules::tremolo(Channel& channel, int shift, bool advance, int sign)
{
    channel.volumeDelta =
        sign * waveValue(channel.tremoloWaveform, channel.tremoloPosition) * channel.tremoloDepth / (1 << shift);
    if (advance) {
        channel.tremoloPosition = (channel.tremoloPosition + channel.tremoloSpeed) & 63;
    }
}

void TrackerRules::panbrello(Channel& channel)
{
    // IT's panbrello moves a quarter as fast as its vibrato, over 256 steps.
    channel.panningDelta = waveValue(channel.panbrelloWaveform, channel.panbrelloPosition >> 2) *
                           channel.panbrelloDepth >> 5;
    channel.panbrelloPosition = (channel.panbrelloPosition + channel.panbrelloSpeed) & 255;
}

void TrackerRules::tremor(Channel& channel, int parameter)
{
    // On for x + 1 ticks, then off for y + 1, counting across rows.
    const int on = (parameter >> 4) + 1;
    const int off = (parameter & 0x0F) + 1;
    channel.tremorCount %= on + off;
    channel.tremorMuted = channel.tremorCount >= on;
    ++channel.tremorCount;
}

void TrackerRules::retrigger(int index, Channel& channel, int parameter, bool fiveEighths)
{
    // Every tick counts, the row's first too; a note starts the count again.
    const int interval = parameter & 0x0F;
    if (interval == 0) {
        return;
    }
    if (channel.retriggerCount++ < interval) {
        return;
    }
    channel.retriggerCount = 1;
    int& volume = channel.volume;
    switch (parameter >> 4) {
    case 1: volume -= 1; break;
    case 2: volume -= 2; break;
    case 3: volume -= 4; break;
    case 4: volume -= 8; break;
    case 5: volume -= 16; break;
    case 6: volume = fiveEighths ? volume * 5 / 8 : volume * 2 / 3; break;
    case 7: volume /= 2; break;
    case 9: volume += 1; break;
    case 0xA: volume += 2; break;
    case 0xB: volume += 4; break;
    case 0xC: volume += 8; break;
    case 0xD: volume += 16; break;
    case 0xE: volume = volume * 3 / 2; break;
    case 0xF: volume *= 2; break;
    default: break;
    }
    volume = std::clamp(volume, 0, 64);
    // A note that was cut stays cut.
    if (channel.period != 0 && sampleOf(channel) && channel.voice >= 0) {
        // A retriggered note replaces itself, whatever its new-note action.
        const int action = channel.newNoteAction;
        channel.newNoteAction = static_cast<int>(NewNoteAction::Cut);
        startVoice(index, channel, 0);
        channel.newNoteAction = action;
        channel.retriggerCount = 1;
    }
}

void TrackerRules::patternLoop(Channel& channel, int value, bool startAfterLoop)
{
    if (value == 0) {
        channel.loopRow = song_.row();
    } else if (channel.loopCount == 0) {
        channel.loopCount = value;
        song_.loopToRow(channel.loopRow);
    } else if (--channel.loopCount > 0) {
        song_.loopToRow(channel.loopRow);
    } else if (startAfterLoop) {
        channel.loopRow = song_.row() + 1;
    }
}

int TrackerRules::pitchOfFrequency(double hertz)
{
    const double pitch = (4608.0 - 768.0 * std::log2(std::max(hertz, 1.0) / 8363.0)) * pitchSteps;
    return static_cast<int>(std::lround(std::clamp(pitch, 1.0, 2.0e9)));
}

std::uint64_t TrackerRules::frequencyOfPitch(int pitch)
{
    // 8,363 Hz times 2 to the octaves above C-5: whole octaves by shifting, the rest from
    // the table, between its entries by a straight line (closer than 1e-7).
    constexpr int octave = 768 * pitchSteps;
    const int above = 4608 * pitchSteps - pitch;
    const int octaves = above >= 0 ? above / octave : -((-above + octave - 1) / octave);
    const int rest = above - octaves * octave;
    const std::size_t step = static_cast<std::size_t>(rest / pitchSteps);
    const std::uint64_t low = octaveTable()[step];
    const std::uint64_t high = step + 1 < octaveTable().size() ? octaveTable()[step + 1] : 131072;
    const std::uint64_t factor = low + (high - low) * static_cast<std::uint64_t>(rest % pitchSteps) / pitchSteps;
    std::uint64_t frequency = (std::uint64_t{8363} << 16) * factor >> 16;
    if (octaves > 0) {
        frequency <<= std::min(octaves, 20);
    } else if (octaves < 0) {
        frequency >>= std::min(-octaves, 63);
    }
    return frequency;
}

int TrackerRules::notePitch(int note, std::uint32_t c5Speed)
{
    return pitchOfFrequency(std::floor(static_cast<double>(c5Speed) * std::exp2((note - noteMiddleC) / 12.0)));
}

int TrackerRules::slideAmigaPitch(int pitch, int amount)
{
    constexpr double clock = 14317456.0;   // 8,363 Hz at Scream Tracker's period of 1,712
    const double period = clock * 65536.0 / static_cast<double>(frequencyOfPitch(pitch)) + amount;
    return pitchOfFrequency(clock / std::max(period, 1.0));
}

std::uint64_t TrackerRules::frequencyOf(int period, const Sample& sample) const
{
    if (period <= 0) {
        return 0;
    }
    if (module_.linearSlides) {
        // C-5 at the period of 4,608 plays at the base rate.
        const std::uint64_t base = module_.format == ModuleFormat::Xm ? 8363 : sample.c5Speed;
        return scaleBySemitones(base << 16, 4608 - period);
    }
    // Amiga-style: 1,712 at C-5 for the base rate of 8,363 Hz.
    return (std::uint64_t{14317456} << 16) / static_cast<std::uint64_t>(period);
}

void TrackerRules::advanceEnvelopes(Voice& voice)
{
    const Instrument* instrument = instrumentOf(voice.instrument);
    if (!instrument) {
        return;
    }
    const bool xm = module_.format == ModuleFormat::Xm;
    if (envelopeOn(instrument->volumeEnvelope, voice.volumeEnvelopeOn)) {
        stepEnvelope(instrument->volumeEnvelope, voice.volumeEnvelope, voice.released, xm);
    }
    if (envelopeOn(instrument->panningEnvelope, voice.panningEnvelopeOn)) {
        stepEnvelope(instrument->panningEnvelope, voice.panningEnvelope, voice.released, xm);
    }
    if (envelopeOn(instrument->pitchEnvelope, voice.pitchEnvelopeOn)) {
        stepEnvelope(instrument->pitchEnvelope, voice.pitchEnvelope, voice.released, xm);
    }
    if (voice.fading) {
        voice.fadeVolume = std::max(voice.fadeVolume - instrument->fadeout, 0);
    }
}

int TrackerRules::autoVibrato(Voice& voice, const Sample& sample)
{
    const AutoVibrato& vibrato = sample.vibrato;
    if (vibrato.depth == 0) {
        return 0;
    }
    int depth = vibrato.depth * 256;
    if (module_.format == ModuleFormat::Xm) {
        // The depth grows over the sweep's ticks from the note's start.
        if (vibrato.sweep > 0 && voice.vibratoSweep < vibrato.sweep) {
            depth = depth * voice.vibratoSweep / vibrato.sweep;
            ++voice.vibratoSweep;
        }
    } else {
        // IT: the depth grows by the rate, in 1/256, each tick.
        voice.vibratoSweep = std::min(voice.vibratoSweep + vibrato.sweep, depth);
        depth = vibrato.sweep > 0 ? voice.vibratoSweep : depth;
    }
    const int position = voice.vibratoPosition >> 2 & 63;
    int wave = 0;
    switch (vibrato.waveform) {
    case 1:
        wave = position < 32 ? 255 : -255;
        break;
    case 2:
        wave = 255 - position * 8;
        break;
    case 3:
        wave = position * 8 - 255;
        break;
    case 4:
        wave = nextRandom() % 511 - 255;
        break;
    default:
        wave = waveValue(0, position);
        break;
    }
    voice.vibratoPosition = (voice.vibratoPosition + vibrato.speed) & 255;
    // In 1/64 semitones: a depth of 64 (IT's deepest) swings a semitone either way.
    return wave * depth >> 16;
}

void TrackerRules::updateVoices()
{
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        Voice& voice = voices_[i];
        const int number = static_cast<int>(i);
        if (voice.channel < 0) {
            continue;
        }
        Channel& channel = channels_[static_cast<std::size_t>(voice.channel)];
        const bool foreground = !voice.background && channel.voice == number;
        if (!voice.playing || !mixer_.active(number)) {
            // The sample has run out: the voice is free again.
            if (!foreground) {
                voice = Voice{};
            } else {
                voice.playing = false;
            }
            if (!foreground || !mixer_.audible(number)) {
                continue;
            }
        }
        if (voice.sample < 1 || voice.sample > static_cast<int>(module_.samples.size())) {
            continue;
        }
        const Sample& sample = module_.samples[static_cast<std::size_t>(voice.sample - 1)];
        if (foreground) {
            voice.period = channel.period;
            voice.volume = channel.tremorMuted ? 0 : std::clamp(channel.volume + channel.volumeDelta, 0, 64);
            voice.panning = std::clamp(channel.panning + channel.panningDelta, 0, 256);
        }
        advanceEnvelopes(voice);
        const Instrument* instrument = instrumentOf(voice.instrument);

        // Pitch: the period with vibrato, then arpeggio, the pitch envelope and the
        // sample's vibrato in 1/64 semitones.
        int period = voice.period + (foreground ? channel.periodDelta : 0);
        int units = foreground ? channel.arpeggio * 64 : 0;
        const int vibrato = autoVibrato(voice, sample);
        if (module_.format == ModuleFormat::Xm && module_.linearSlides) {
            period -= vibrato;
        } else {
            units += vibrato;
        }
        // The pitch envelope glides between its points; switched off for a note (S7B), it
        // holds where it stands.
        if (instrument && envelopeOn(instrument->pitchEnvelope, true) && !instrument->pitchEnvelope.filter) {
            units += voice.pitchEnvelope.fine / 8;
        }
        std::uint64_t frequency = frequencyOf(std::max(period, 1), sample);
        if (units != 0) {
            frequency = scaleBySemitones(frequency, units);
        }
        voice.frequency = voice.period > 0 ? static_cast<std::uint32_t>(frequency >> 16) : 0;
        mixer_.setStep(number, voice.period > 0 ? mixer_.frequencyStep(frequency) : 0);

        // Volume: the note's, the channel's, the sample's and instrument's, the envelope,
        // the fade and the song's, each in its own range, down to 0 to 16,384.
        std::int64_t volume = voice.volume * 256;
        volume = volume * channel.channelVolume / 64;
        volume = volume * sample.globalVolume / 64;
        if (instrument) {
            volume = volume * instrument->globalVolume / 128;
            if (envelopeOn(instrument->volumeEnvelope, voice.volumeEnvelopeOn)) {
                volume = volume * std::clamp(voice.volumeEnvelope.value, 0, 64) / 64;
            }
            volume = volume * voice.fadeVolume >> 16;
        }
        volume = volume * std::clamp(song_.globalVolume, 0, 128) / 128;
        if (channel.muted) {
            volume = 0;
        }
        voice.finalVolume = static_cast<int>(volume);

        int panning = voice.panning;
        if (instrument && envelopeOn(instrument->panningEnvelope, voice.panningEnvelopeOn)) {
            panning += voice.panningEnvelope.value * (128 - std::abs(panning - 128)) / 32;
        }
        panning = module_.stereo ? std::clamp(panning, 0, 256) : 128;
        std::int64_t left = volume * (256 - panning) * master_ >> 16;
        std::int64_t right = volume * panning * master_ >> 16;
        if (squareRootPanning_) {
            // FastTracker 2 pans by power: each side at the square root of its share.
            static const std::array<std::int32_t, 257> roots = [] {
                std::array<std::int32_t, 257> values{};
                for (std::size_t i = 0; i < values.size(); ++i) {
                    values[i] = static_cast<std::int32_t>(std::lround(std::sqrt(static_cast<double>(i) * 256.0)));
                }
                return values;
            }();
            left = volume * roots[static_cast<std::size_t>(256 - panning)] * master_ >> 16;
            right = volume * roots[static_cast<std::size_t>(panning)] * master_ >> 16;
        }
        if (channel.surround && foreground) {
            right = -right;
        }
        mixer_.setGain(number, static_cast<std::int32_t>(left), static_cast<std::int32_t>(right));
        updateFilter(number, voice);

        // A background voice that can no longer be heard gives its place up.
        const bool silentForGood = voice.fadeVolume == 0 ||
                                   (instrument && envelopeOn(instrument->volumeEnvelope, voice.volumeEnvelopeOn) &&
                                    voice.volumeEnvelope.ended && voice.volumeEnvelope.value == 0);
        if (silentForGood) {
            mixer_.cut(number);
            voice.playing = false;
            if (!foreground) {
                voice = Voice{};
            }
        }
    }
}

int TrackerRules::voicesSounding() const
{
    int count = 0;
    for (std::size_t i = 0; i < voices_.size(); ++i) {
        count += voices_[i].channel >= 0 && voices_[i].playing && mixer_.active(static_cast<int>(i)) ? 1 : 0;
    }
    return count;
}

ChannelTrace TrackerRules::channel(int index) const
{
    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    ChannelTrace trace;
    trace.sample = channel.sample;
    trace.instrument = module_.instruments.empty() ? 0 : channel.instrument;
    trace.note = channel.note;
    trace.period = channel.period + channel.periodDelta;
    trace.volume = std::clamp(channel.volume + channel.volumeDelta, 0, 64);
    trace.panning = std::min(channel.panning, 255);
    if (channel.voice >= 0) {
        const Voice& voice = voices_[static_cast<std::size_t>(channel.voice)];
        if (voice.channel == index && voice.sample >= 1 && voice.sample <= static_cast<int>(module_.samples.size())) {
            trace.frequency = voice.frequency;
            trace.finalVolume = voice.finalVolume;
            const Instrument* instrument = instrumentOf(voice.instrument);
            if (instrument) {
                trace.volumeEnvelope = instrument->volumeEnvelope.enabled ? voice.volumeEnvelope.tick : -1;
                trace.panningEnvelope = instrument->panningEnvelope.enabled ? voice.panningEnvelope.tick : -1;
                trace.pitchEnvelope = instrument->pitchEnvelope.enabled ? voice.pitchEnvelope.tick : -1;
            }
            trace.position = mixer_.position(channel.voice);
            trace.active = mixer_.active(channel.voice);
        }
    }
    return trace;
}
