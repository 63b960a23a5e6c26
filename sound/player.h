#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "sound/module.h"

// Replays a Module as its tracker did. The player advances the song by rows and ticks
// (the order list, pattern breaks and jumps, pattern loops and delays, speed and tempo),
// which the four formats share; each format's rules (FormatRules) advance the channels
// by row and tick through their effects and hand the mixer what to play. Nothing here
// knows about output devices.
//
// Not thread-safe: one thread at a time may call a player.

struct PlayerOptions {
    int rate = 44100;          // output frames per second
    bool loop = true;          // at the song's end, or on a jump backwards, play on from there
    bool ramp = true;          // ramp volumes over a few milliseconds so that nothing clicks
    bool interpolate = true;   // linear interpolation between sample points
    bool voices = true;        // false: follow the song's course only, for measuring its length
};

// What one channel plays during the current tick.
struct ChannelTrace {
    int sample = 0;            // the sample whose settings the channel holds, 1-based; 0 for none
    int instrument = 0;        // XM and IT: the instrument, 1-based; 0 for none
    int note = 0;              // the note last played, as in a cell
    int period = 0;            // the period heard in this tick, in the format's own units
                               // (Amiga periods for MOD, S3M and XM's Amiga mode)
    std::uint32_t frequency = 0;   // Hz heard in this tick
    int volume = 0;            // 0 to 64 before the song's and instrument's scaling
    int finalVolume = 0;       // 0 to 16,384: everything that scales the voice together
    int panning = 0;           // 0 (left) to 255 (right)
    int volumeEnvelope = -1;   // ticks into each envelope, -1 when it is off
    int panningEnvelope = -1;
    int pitchEnvelope = -1;
    std::uint32_t position = 0;   // in frames within the sample
    bool active = false;       // false once the voice has run out or been cut
};

// The song's place and the commands that move it. The player keeps it; a format's
// rules read it and ask for its changes.
class Song {
public:
    int order() const { return order_; }
    int row() const { return row_; }               // the row being read
    int tick() const { return repeatTick_; }       // 0 on a row's first tick and each repeat's
    bool firstTick() const { return repeatTick_ == 0; }
    int speed() const { return speed_; }
    int tempo() const { return tempo_; }

    void setSpeed(int speed);
    void setTempo(int tempo);
    // At the end of the row: go on at the start of `order` (Bxx).
    void jumpToOrder(int order);
    // At the end of the row: go on at `row` of the next pattern, or of the one jumped to.
    void breakToRow(int row);
    // At the end of the row: go back to `row` of this pattern (a pattern loop).
    void loopToRow(int row);
    // Plays the row `repeats` more times, without reading its notes again. Ignored in a
    // delay's own repeats.
    void delayRow(int repeats);
    // Lengthens this play of the row by `ticks` ticks (IT's fine pattern delay).
    void extendRow(int ticks);

    int globalVolume = 128;   // 0 to 128, for the formats that have one

private:
    friend class Player;

    // The song position: the order and the row to read next.
    int order_ = 0;
    int row_ = 0;
    int repeatTick_ = 0;
    int speed_ = 6;
    int tempo_ = 125;
    int patternDelay_ = 0;         // set on the row: its repeats
    int patternDelayLeft_ = 0;     // repeats of the row still to come
    int extraTicks_ = 0;           // ticks added to this play of the row
    int breakRow_ = 0;             // where the next pattern (or a pattern loop) starts
    int jumpOrder_ = -1;           // the order a position jump named, -1 for none
    bool loopJump_ = false;        // a pattern loop jumps back at the end of the row
    bool positionJump_ = false;    // a jump or break: move to another order at the end of the row
};

class Mixer;

// One format's behaviour: its channels, effects, instruments and voices.
class FormatRules {
public:
    virtual ~FormatRules() = default;

    // A row's first tick: the channels read their cells of `row` in `pattern`.
    virtual void playRow(int pattern, int row) = 0;
    // The first tick of each of a pattern delay's repeats, which read no cells.
    virtual void repeatRow() = 0;
    // Every other tick.
    virtual void playTick() = 0;
    // After the tick's effects and the song's moves: what the voices play until the next.
    virtual void updateVoices() = 0;

    virtual ChannelTrace channel(int index) const = 0;
    // How many voices sound now, in the background (IT's new-note actions) or not.
    virtual int voicesSounding() const = 0;
    virtual Mixer& mixer() = 0;

    // The frames of the next tick at `tempo`. The PC trackers mixed whole frames per tick,
    // dropping the fraction; `remainder` is for rules that carry it over instead.
    virtual std::size_t tickFrames(int rate, int tempo, std::uint64_t& remainder) const;
    // Whether a tick lasts as the tempo stood before the tick's effects (ProTracker) rather
    // than after them (the PC trackers).
    virtual bool tempoBeforeTick() const { return false; }
};

class Player {
public:
    // The module must outlive the player.
    explicit Player(const Module& module, PlayerOptions options = {});
    ~Player();

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Mixes up to `frames` interleaved stereo frames into out (2 * frames values) and
    // returns how many it wrote: fewer only once the song has ended, because it does not
    // loop or because no order of it names a stored pattern.
    std::size_t render(std::int16_t* out, std::size_t frames);

    // Plays one tick of the song without making sound, for traces and for measuring;
    // the frames that the tick lasts, which render() would mix.
    std::size_t advanceTick();

    bool ended() const { return ended_; }
    // How many times the song has come back to a place it has already played.
    int passes() const { return passes_; }

    // The order and row being played.
    int order() const { return playedOrder_; }
    int row() const { return playedRow_; }
    int tick() const { return rowTick_; }      // within the row, counting the pattern delay
    int tempo() const { return song_.tempo_; }
    int globalVolume() const { return song_.globalVolume; }
    ChannelTrace channel(int index) const;
    int voicesSounding() const { return rules_->voicesSounding(); }

private:
    void playRow();
    void endRow();
    void nextPosition();
    std::size_t framesOfTick();
    int rowsOf(int order) const;

    const Module& module_;
    PlayerOptions options_;
    Song song_;
    std::unique_ptr<FormatRules> rules_;

    // The row being played, and the ticks since it was read, its pattern-delay repeats
    // included; what order(), row() and tick() report.
    int playedOrder_ = 0;
    int playedRow_ = 0;
    int rowTick_ = 0;
    bool wrapped_ = false;         // the next row read starts another pass
    bool ended_ = false;
    int passes_ = 0;

    std::size_t tickFramesLeft_ = 0;
    std::uint64_t tickRemainder_ = 0;
};

// The length of one pass through the song in seconds, found by playing it silently
// until it comes back to a place already played or ends. The scan ends on every input:
// songs that never come back are cut off after `limitSeconds`.
double songSeconds(const Module& module, double limitSeconds = 3600.0);
// The same in frames as render() mixes them at `rate`, whose ticks are whole frames.
std::size_t songFrames(const Module& module, int rate, double limitSeconds = 3600.0);
