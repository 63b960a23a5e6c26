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
    int sample = 0;            // 1 to 31 of the sample playing, 0 for none
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

    // Mixes up to `frames` interleaved stereo frames into out (2 * frames values) and
    // returns how many it wrote: fewer only when a song that does not loop has ended.
    std::size_t render(std::int16_t* out, std::size_t frames);

    // Plays one tick of the song without making sound, for traces and for measuring.
    void advanceTick();

    bool ended() const { return ended_; }
    // How many times the song has come back to a place it has already played.
    int passes() const { return passes_; }

    int order() const { return order_; }
    int row() const { return row_; }
    int tick() const { return tick_; }         // within the row, counting the pattern delay
    int speed() const { return speed_; }
    int tempo() const { return tempo_; }
    ModChannelTrace channel(int index) const;

private:
    struct Channel;
    // (defined in mod_player.cpp)
    const ModModule& module_;
    ModPlayerOptions options_;
    ModMixer mixer_;
    std::vector<Channel> channels_;
    int order_ = 0;
    int row_ = 0;
    int tick_ = 0;
    int speed_ = 6;
    int tempo_ = 125;
    bool ended_ = false;
    int passes_ = 0;
    std::size_t tickFramesLeft_ = 0;
};

// The length of one pass through the song in seconds, found by playing it silently
// until it comes back to a place already played or ends. The scan ends on every input:
// songs that never come back are cut off after `limitSeconds`.
double modSongSeconds(const ModModule& module, double limitSeconds = 3600.0);
