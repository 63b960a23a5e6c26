#pragma once

#include <vector>

#include "sound/mixer.h"
#include "sound/player.h"

// ProTracker's channels: each plays one sample at an Amiga period, through ProTracker's
// effects with their quirks (the invert loop that rewrites sample bytes, sample numbers
// that change a playing voice's loop, arpeggios that run into the next finetune's
// periods), on the Amiga's hard-panned voices.
class ProTrackerRules final : public FormatRules {
public:
    ProTrackerRules(const Module& module, Song& song, const PlayerOptions& options);
    ~ProTrackerRules() override;

    void playRow(int pattern, int row) override;
    void repeatRow() override;
    void playTick() override;
    void updateVoices() override;
    ChannelTrace channel(int index) const override;
    int voicesSounding() const override;
    Mixer& mixer() override { return mixer_; }
    std::size_t tickFrames(int rate, int tempo, std::uint64_t& remainder) const override;
    bool tempoBeforeTick() const override { return true; }

    static constexpr int stereoSeparation = 50;   // percent of the Amiga's hard panning

private:
    struct Channel;

    void playCell(int index, Channel& channel, const Cell& cell);
    void loadSample(Channel& channel, int number);
    void triggerNote(int index, Channel& channel);
    void setLoop(int index, const Channel& channel);
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

    const Module& module_;
    Song& song_;
    std::vector<Sample> samples_;   // a copy: the invert-loop effect rewrites sample data
    Mixer mixer_;
    std::int32_t master_;           // 0 to 256, less for modules with many channels
    std::vector<Channel> channels_;
};
