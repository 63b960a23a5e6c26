#pragma once

#include <cstdint>
#include <vector>

#include "sound/mixer.h"
#include "sound/player.h"

// Where an envelope stands for one voice.
struct EnvelopePosition {
    int tick = 0;              // ticks from the envelope's start
    int point = 0;             // the point at or before `tick`
    int value = 0;             // the value at `tick`, in the envelope's units
    int fine = 0;              // the same in 1/256 of them, between points
    bool ended = false;        // past the last point, with no loop to return to
};

// What Scream Tracker 3, FastTracker 2 and Impulse Tracker share: channels that play
// notes at frequencies taken from a period (Amiga-style, or linear in 1/64 semitones),
// with samples or instruments, their envelopes, fade-out and vibrato, and voices that
// may go on playing in the background after their channel has moved on. Each format's
// own rules (S3mRules, XmRules, ItRules) read the cells and run the effects; this class
// turns what the channels hold into what the mixer plays, tick by tick.
class TrackerRules : public FormatRules {
public:
    ~TrackerRules() override;

    void playRow(int pattern, int row) override;
    void repeatRow() override;
    void playTick() override;
    void updateVoices() override;
    ChannelTrace channel(int index) const override;
    int voicesSounding() const override;
    Mixer& mixer() override { return mixer_; }

    // How many voices may play in the background (IT's new-note actions) at most.
    static constexpr int maxBackgroundVoices = 64;

protected:
    // A note that sounds: in its channel, or in the background after a new-note action.
    struct Voice {
        int channel = -1;          // the channel it plays for; -1 when free
        bool background = false;
        int sample = 0;            // 1-based
        int instrument = 0;        // 1-based; 0 when the cells name samples
        int note = 0;              // the note played, after the instrument's key map
        int period = 0;            // held from the channel while in the foreground
        int volume = 0;            // the note's volume after tremolo and the like, 0 to 64
        int panning = 128;         // 0 to 256
        bool released = false;     // key-off: sustain ends
        bool fading = false;       // the fade volume falls each tick
        int fadeVolume = 65536;
        EnvelopePosition volumeEnvelope;
        EnvelopePosition panningEnvelope;
        EnvelopePosition pitchEnvelope;
        int vibratoPosition = 0;   // the sample's own vibrato
        int vibratoSweep = 0;      // XM: ticks into the sweep; IT: the depth reached, in 1/256
        int finalVolume = 0;       // 0 to 16,384, as last handed to the mixer
        std::uint32_t frequency = 0;   // Hz, as last handed to the mixer
        int cutoff = -1;           // IT's filter, 0 to 127; -1 (with resonance 0): none
        int resonance = 0;
        bool volumeEnvelopeOn = true;    // IT's S77 to S7C switch the envelopes off and on
        bool panningEnvelopeOn = true;
        bool pitchEnvelopeOn = true;
        bool playing = false;      // started in the mixer and not yet stopped
        std::uint64_t started = 0; // when, counting the notes started
    };

    // One channel's state between ticks.
    struct Channel {
        Cell cell;                 // the row's cell, whose effect runs on every tick
        int note = 0;              // the last note played, as written (before the key map)
        int instrument = 0;        // the last instrument (or sample) number given
        int sample = 0;            // the sample whose settings are loaded, 1-based
        int volume = 0;            // 0 to 64
        int channelVolume = 64;    // IT, 0 to 64
        int panning = 128;         // 0 to 256
        bool surround = false;
        bool muted = false;        // switched off in the file: its effects run, unheard
        int period = 0;            // the note's period, moved by slides; 0 for none
        int targetPeriod = 0;      // tone portamento's goal
        int portamentoSpeed = 0;
        int voice = -1;            // the voice in the foreground, or -1

        // What this tick's effects add on top; reset every tick.
        int periodDelta = 0;       // vibrato, in period units
        int arpeggio = 0;          // semitones
        int volumeDelta = 0;       // tremolo
        int panningDelta = 0;      // panbrello
        bool tremorMuted = false;
        void clearDeltas()
        {
            periodDelta = 0;
            arpeggio = 0;
            volumeDelta = 0;
            panningDelta = 0;
        }

        // Parameter memories.
        int lastVolumeSlide = 0;
        int lastPortamentoUp = 0;
        int lastPortamentoDown = 0;
        int lastFinePortamentoUp = 0;
        int lastFinePortamentoDown = 0;
        int lastExtraFineUp = 0;
        int lastExtraFineDown = 0;
        int lastFineVolumeUp = 0;
        int lastFineVolumeDown = 0;
        int lastOffset = 0;
        int lastRetrigger = 0;
        int lastTremor = 0;
        int lastArpeggio = 0;
        int lastPanningSlide = 0;
        int lastChannelVolumeSlide = 0;
        int lastGlobalVolumeSlide = 0;
        int lastSpecial = 0;
        int lastVolumeColumnSlide = 0;
        int lastTempoSlide = 0;
        int lastTonePortamento = 0;
        int highOffset = 0;        // IT's SAx: 64 kB steps added to the sample offset

        int vibratoSpeed = 0;
        int vibratoDepth = 0;
        int vibratoWaveform = 0;   // 0 sine, 1 ramp down, 2 square, 3 random; +4: not reset by notes
        int vibratoPosition = 0;   // 0 to 63 (S3M, XM) or 0 to 255 (IT)
        int tremoloSpeed = 0;
        int tremoloDepth = 0;
        int tremoloWaveform = 0;
        int tremoloPosition = 0;
        int panbrelloSpeed = 0;
        int panbrelloDepth = 0;
        int panbrelloWaveform = 0;
        int panbrelloPosition = 0;
        int tremorCount = 0;
        int retriggerCount = 0;
        int loopRow = 0;           // a pattern loop's start
        int loopCount = 0;         // its repeats still to come; 0 when none runs
        bool glissando = false;
        int finetune = 0;          // XM's E5x, in 1/128 semitone; S3M's S2x, a base rate in Hz
        bool delayed = false;      // the row's note waits for a note delay
        int cutoff = -1;           // IT's filter as the instrument or Zxx set it; -1: none
        int resonance = 0;
        int filterMacro = 0;       // IT's SFx: what Z00 to Z7F set
        int newNoteAction = -1;    // IT's S73 to S76 for the playing note; -1: the instrument's
    };

    TrackerRules(const Module& module, Song& song, const PlayerOptions& options, int voices);

    // An XM file saved by FastTracker 2 itself, which plays by its quirks.
    static bool playsAsFastTracker2(const Module& module);

    // Reads a row's cell into the channel and runs its first tick.
    virtual void playCell(int index, Channel& channel, const Cell& cell) = 0;
    // The effects of every tick that does not read the row.
    virtual void tickEffects(int index, Channel& channel) = 0;
    // The first tick of a pattern delay's repeats: by default the row's first-tick effects
    // are not run again, only what every tick does.
    virtual void repeatEffects(int index, Channel& channel) { tickEffects(index, channel); }

    // The period of a note (1 to 120) played with sample `sample` (1-based), in the
    // format's units.
    virtual int periodOf(int note, const Sample& sample, const Channel& channel) const = 0;
    // The frequency of a period, in 1/65,536 Hz, for the voice's sample.
    virtual std::uint64_t frequencyOf(int period, const Sample& sample) const;
    // What the song's panning, volume and instrument do to a voice before it is mixed.
    virtual void advanceEnvelopes(Voice& voice);
    // The sample's own vibrato, in period units.
    virtual int autoVibrato(Voice& voice, const Sample& sample);
    // What the voice's new-note action does when its channel starts another note.
    virtual void moveToBackground(int /*index*/, Channel& channel) { cutVoice(channel); }
    // The voice's filter for this tick, after its envelopes have moved.
    virtual void updateFilter(int /*number*/, const Voice& /*voice*/) {}
    // Whether an envelope of the voice's instrument applies now.
    bool envelopeOn(const Envelope& envelope, bool switchedOn) const
    {
        return envelope.enabled && switchedOn && !envelope.points.empty();
    }

    // Starts `note` on the channel with its current instrument or sample; `offset`
    // frames into the sample.
    void startVoice(int index, Channel& channel, std::uint32_t offset);
    // The instrument's key map: the note played and the 1-based sample for a note given.
    void mapNote(int instrument, int note, int& played, int& sample) const;
    // Ends the channel's voice at once (with the mixer's short fade).
    void cutVoice(Channel& channel);
    // Releases the voice's sustain: envelopes go on past their sustain, sustain loops end.
    void releaseVoice(Voice& voice);
    // A voice to use, freeing the one that gives way when all are busy: the quietest
    // background voice, the oldest of equals.
    int takeVoice(int channel);

    Voice* voiceOf(Channel& channel);
    const Sample* sampleOf(const Channel& channel) const;
    const Instrument* instrumentOf(int number) const;

    // Effects most of the formats share.
    void slideVolume(Channel& channel, int amount);            // clamped to 0..64
    // S3M's and IT's Dxy: up by x or down by y on every tick but the first (on the first
    // too when `plainOnFirstTick`); DxF and DFy once, on the first.
    void lettersVolumeSlide(Channel& channel, int parameter, bool firstTick, bool plainOnFirstTick = false);
    // An arpeggio's other notes at their periods from the format's table, not by the
    // semitone's ratio: Amiga-style periods are not in equal temperament.
    void tableArpeggio(Channel& channel, int semitones);
    // Toward longer periods (lower notes) for positive amounts: in Scream Tracker's
    // periods when the channels keep Impulse Tracker's pitch with Amiga slides.
    void slidePeriod(Channel& channel, int amount);
    void tonePortamento(Channel& channel);
    // Vibrato and tremolo at the wave's place, their depth scaled down by `shift` bits and
    // turned by `sign`; `advance` moves the place on (the row's first tick leaves it).
    void vibrato(Channel& channel, int shift, bool advance = true, int sign = 1);
    void tremolo(Channel& channel, int shift, bool advance = true, int sign = 1);
    void panbrello(Channel& channel);
    void tremor(Channel& channel, int parameter);
    // Qxy and XM's Rxy: restarts the note every y ticks, changing its volume by x's rule
    // (its 6, two thirds, is five eighths in Scream Tracker).
    void retrigger(int index, Channel& channel, int parameter, bool fiveEighths = false);
    // SBx and E6x: x 0 marks the loop's start, x 1 to 15 plays the stretch x more times.
    // Impulse Tracker starts the next loop of the row after a finished one.
    void patternLoop(Channel& channel, int value, bool startAfterLoop);
    int waveValue(int waveform, int position) const;           // -64..64 for positions 0..63
    // Impulse Tracker's pitch. It plays each note at a whole number of hertz (the
    // sample's C-5 rate moved by equal temperament, the fraction dropped) and slides
    // either in linear steps or as Amiga periods. Both are kept as one value that, like
    // a period, falls as the pitch rises: 1/16,384 semitone steps below C-5 at 8,363 Hz.
    static constexpr int pitchSteps = 256;   // steps to 1/64 semitone
    static int pitchOfFrequency(double hertz);
    static std::uint64_t frequencyOfPitch(int pitch);   // in 1/65,536 Hz
    static int notePitch(int note, std::uint32_t c5Speed);
    // The pitch moved as Scream Tracker's period (4 to the Amiga's) by `amount`.
    static int slideAmigaPitch(int pitch, int amount);

    const Module& module_;
    Song& song_;
    PlayerOptions options_;
    Mixer mixer_;
    std::vector<Channel> channels_;
    std::vector<Voice> voices_;
    std::int32_t master_;          // 0 to 256, less for modules with many channels
    std::uint32_t random_ = 0x1234567;   // for the random waveforms and IT's random volume
    std::uint64_t notesStarted_ = 0;
    bool amigaPitch_ = false;      // periods hold Impulse Tracker's pitch, slid as Amiga periods
    bool squareRootPanning_ = false;   // pan by power rather than by amplitude
    int nextRandom();
};
