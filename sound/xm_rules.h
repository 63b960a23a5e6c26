#pragma once

#include "sound/tracker_rules.h"

// FastTracker 2's channels: instruments with volume and panning envelopes, fade-out and
// vibrato of their own, a volume column, key-off, and linear or Amiga frequencies.
class XmRules final : public TrackerRules {
public:
    XmRules(const Module& module, Song& song, const PlayerOptions& options);

private:
    void playCell(int index, Channel& channel, const Cell& cell) override;
    void tickEffects(int index, Channel& channel) override;
    int periodOf(int note, const Sample& sample, const Channel& channel) const override;
    std::uint64_t frequencyOf(int period, const Sample& sample) const override;

    void startCell(int index, Channel& channel, const Cell& cell);
    void resetInstrument(Channel& channel);
    void keyOff(Channel& channel);
    void volumeColumn(Channel& channel, bool firstTick);
    void rowEffect(int index, Channel& channel);
    void extendedEffect(int index, Channel& channel, bool firstTick);
    void volumeSlide(Channel& channel);

    static int rampSign(int waveform);

    const bool fastTracker_;   // saved by FastTracker 2, and played by its quirks
    const bool modplug_;       // saved by ModPlug Tracker
};
