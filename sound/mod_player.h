#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/mod_mixer.h"
#include "sound/mod_module.h"

// Replays a ModModule the way ProTracker does: the song advances by rows and ticks,
// each channel by row and tick through its effect, and the mixer turns the channels
// into 16-bit stereo. Nothing here knows about output devices.
//
// Not thread-safe: one thread at a time may call a player.

struct ModPlayerOptions {
    int rate = 44100;          // output frames per second
    bool loop = true;          // at the song's end, or on a jump backwards, play on from there
    bool ramp = true;          // ramp volumes over a few milliseconds so that nothing clicks
    bool interpolate = true;   // linear interpolation between sample points
};

// What one channel plays during the current tick.
struct ModChannelTrace {
    int sample = 0;            // 1 to 31: the sample whose settings the channel holds; 0 for none
    int period = 0;            // the period heard in this tick, after arpeggio and vibrato
    int volume = 0;            // 0 to 64, after tremolo
    int panning = 0;           // 0 (left) to 255 (right)
    std::uint32_t position = 0;   // in bytes within the sample
    bool active = false;       // false once the voice has run out or been cut
};

class ModPlayer {
public:
    // The module must outlive the player.
    explicit ModPlayer(const ModModule& module, ModPlayerOptions options = {});
    ~ModPlayer();

    // Mixes up to `frames` interleaved stereo frames into out (2 * frames values) and
    // returns how many it wrote: fewer only once the song has ended, because it does not
    // loop or because no order of it names a stored pattern.
    std::size_t render(std::int16_t* out, std::size_t frames);

    // Plays one tick of the song without making sound, for traces and for measuring.
    void advanceTick();

    bool ended() const { return ended_; }
    // How many times the song has come back to a place it has already played.
    int passes() const { return passes_; }

    // The order and row being played.
    int order() const { return playedOrder_; }
    int row() const { return playedRow_; }
    int tick() const { return rowTick_; }      // within the row, counting the pattern delay
    int tempo() const { return tempo_; }
    ModChannelTrace channel(int index) const;

private:
    struct Channel;

    void playRow();
    void playCell(int index, Channel& channel, const ModCell& cell);
    void loadSample(Channel& channel, int number);
    void triggerNote(int index, Channel& channel);
    void setTonePortamento(Channel& channel);
    void rowEffects(int index, Channel& channel);
    void tickEffects(int index, Channel& channel);
    void extendedEffects(int index, Channel& channel);
    void sampleOffset(Channel& channel);
    void slidePeriod(Channel& channel, int amount);
    void tonePortamento(Channel& channel);
    void vibrato(Channel& channel);
    void tremolo(Channel& channel);
    void volumeSlide(Channel& channel);
    void arpeggio(Channel& channel);
    void invertLoop(Channel& channel);
    void endRow();
    void nextPosition();
    std::size_t framesOfTick();
    void updateVoices();

    const ModModule& module_;
    ModPlayerOptions options_;
    SampleBank samples_;           // a copy: the invert-loop effect rewrites sample bytes
    ModMixer mixer_;
    std::vector<Channel> channels_;

    // The song position, as ProTracker keeps it: the row to read next.
    int order_ = 0;
    int row_ = 0;
    // The row being played, and the ticks since it was read, its pattern-delay repeats
    // included; what order(), row() and tick() report.
    int playedOrder_ = 0;
    int playedRow_ = 0;
    int rowTick_ = 0;
    // The tick within the current play of the row: 0 when the row is read and again at
    // each pattern-delay repeat, the row (or repeat) ending when it reaches the speed.
    // The effects go by this one.
    int repeatTick_ = 0;
    int speed_ = 6;
    int tempo_ = 125;
    int patternDelay_ = 0;         // set by EEx on the row
    int patternDelayLeft_ = 0;     // repeats of the row still to come
    int breakRow_ = 0;             // where the next pattern (or a pattern loop) starts
    int jumpOrder_ = -1;           // the order a position jump named, -1 for none
    bool loopJump_ = false;        // a pattern loop jumps back at the end of the row
    bool positionJump_ = false;    // Bxx or Dxx: move to another order at the end of the row
    bool wrapped_ = false;         // the next row read starts another pass
    bool ended_ = false;
    int passes_ = 0;

    std::size_t tickFramesLeft_ = 0;
    std::uint64_t tickRemainder_ = 0;
};

// The length of one pass through the song in seconds, found by playing it silently
// until it comes back to a place already played or ends. The scan ends on every input:
// songs that never come back are cut off after `limitSeconds`.
double modSongSeconds(const ModModule& module, double limitSeconds = 3600.0);
