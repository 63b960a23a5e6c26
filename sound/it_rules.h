#pragma once

#include "sound/tracker_rules.h"

// Impulse Tracker's channels: samples or instruments with volume, panning and pitch
// (or filter) envelopes, new-note actions that leave notes playing in the background,
// duplicate checks, channel, sample and instrument volumes, the resonant filter under
// the default MIDI macros, and the "old effects" and "compatible Gxx" switches.
class ItRules final : public TrackerRules {
public:
    ItRules(const Module& module, Song& song, const PlayerOptions& options);

private:
    void playCell(int index, Channel& channel, const Cell& cell) override;
    void tickEffects(int index, Channel& channel) override;
    int periodOf(int note, const Sample& sample, const Channel& channel) const override;
    std::uint64_t frequencyOf(int period, const Sample& sample) const override;
    void advanceEnvelopes(Voice& voice) override;
    void moveToBackground(int index, Channel& channel) override;

    void startCell(int index, Channel& channel, const Cell& cell);
    void startNote(int index, Channel& channel, const Cell& cell, int played, int sample);
    void checkDuplicates(int index, Channel& channel, int played, int sample);
    void applyAction(Voice& voice, int action);
    void keyOff(Voice& voice);
    void volumeColumn(Channel& channel, bool firstTick);
    void rowEffect(int index, Channel& channel);
    void specialEffect(int index, Channel& channel, bool firstTick);
    void portamento(Channel& channel, int parameter, bool down, bool firstTick);
    void vibratoTick(Channel& channel);
    void itTremor(Channel& channel, int parameter);
    void updateFilter(int number, const Voice& voice) override;
    int remember(int& memory, int parameter) const;

    int& portamentoMemory(Channel& channel);

    const int unit_;   // what one step of a pitch slide moves the period by
    const bool modplugPitch_;   // notes at Scream Tracker's periods, as ModPlug Tracker played
};
