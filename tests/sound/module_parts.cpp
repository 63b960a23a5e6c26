#include "tests/sound/module_parts.h"

void put(Module& module, int pattern, int row, int channel, int note, int instrument)
{
    Cell& cell = module.cell(pattern, row, channel);
    cell.note = static_cast<std::uint8_t>(note);
    cell.instrument = static_cast<std::uint8_t>(instrument);
}

void effect(Module& module, int pattern, int row, int channel, Effect command, int parameter)
{
    Cell& cell = module.cell(pattern, row, channel);
    cell.effect = command;
    cell.parameter = static_cast<std::uint8_t>(parameter);
}

void volume(Module& module, int pattern, int row, int channel, VolumeCommand command, int value)
{
    Cell& cell = module.cell(pattern, row, channel);
    cell.volumeCommand = command;
    cell.volumeValue = static_cast<std::uint8_t>(value);
}

Envelope envelope(std::initializer_list<Envelope::Point> points)
{
    Envelope result;
    result.points = points;
    result.enabled = true;
    return result;
}

Envelope sustained(Envelope result, std::uint8_t start, std::uint8_t end)
{
    result.sustain = true;
    result.sustainStart = start;
    result.sustainEnd = end;
    return result;
}

Envelope looped(Envelope result, std::uint8_t start, std::uint8_t end)
{
    result.loop = true;
    result.loopStart = start;
    result.loopEnd = end;
    return result;
}

Instrument instrumentOf(const std::string& name, int sample)
{
    Instrument instrument;
    instrument.name = name;
    for (std::size_t key = 0; key < instrument.keys.size(); ++key) {
        instrument.keys[key] = {static_cast<std::uint8_t>(key + 1), static_cast<std::uint16_t>(sample)};
    }
    return instrument;
}
