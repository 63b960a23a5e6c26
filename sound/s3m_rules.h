#pragma once

#include "sound/tracker_rules.h"

// Scream Tracker 3's channels: samples at Amiga-style periods four times finer than
// ProTracker's, one parameter memory shared by most effects, and no instruments.
class S3mRules final : public TrackerRules {
public:
    S3mRules(const Module& module, Song& song, const PlayerOptions& options);

private:
    void playCell(int index, Channel& channel, const Cell& cell) override;
    void tickEffects(int index, Channel& channel) override;
    int periodOf(int note, const Sample& sample, const Channel& channel) const override;
    std::uint64_t frequencyOf(int period, const Sample& sample) const override;

    void startCell(int index, Channel& channel, const Cell& cell);
    void rowEffect(int index, Channel& channel);
    void specialEffect(int index, Channel& channel, bool firstTick);
    void volumeSlide(Channel& channel, bool firstTick);
    void portamento(Channel& channel, bool down, bool firstTick);
    void vibratoTick(Channel& channel, int shift, bool advance = true);
    int remembered(Channel& channel);
    void clampPeriod(Channel& channel) const;
};
