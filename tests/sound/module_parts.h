#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "sound/module.h"

// Small pieces for building a Module in code, shared by the test modules, the end-to-end
// XM, the fuzzing corpus and the benchmarks.

// Each writes one column of a cell (note and instrument, effect, volume column) and
// leaves the others as they are.
void put(Module& module, int pattern, int row, int channel, int note, int instrument);
void effect(Module& module, int pattern, int row, int channel, Effect command, int parameter);
void volume(Module& module, int pattern, int row, int channel, VolumeCommand command, int value);

// An enabled envelope through `points`; sustained() and looped() add a sustain loop
// (XM: a sustain point, start == end) and a loop between two of its points.
Envelope envelope(std::initializer_list<Envelope::Point> points);
Envelope sustained(Envelope result, std::uint8_t start, std::uint8_t end);
Envelope looped(Envelope result, std::uint8_t start, std::uint8_t end);

// An instrument that plays `sample` on every key, at the key's own note.
Instrument instrumentOf(const std::string& name, int sample);

// A small deterministic noise source from -1 to 1, so that drums are the same on every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed) {}

    double next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(static_cast<std::int32_t>(state_)) / 2147483648.0;
    }

private:
    std::uint32_t state_;
};
