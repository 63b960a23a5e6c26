#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/module.h"

// The fields that S3M, XM and IT files share, for the writers of those files and for the
// tests and the fuzzing corpus that build or damage them byte by byte. Numbers are
// little-endian words and double words. Offsets go through std::vector::at, so that a
// field written or read past a file's end throws rather than going unnoticed.

inline std::uint32_t littleWord(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

inline std::uint32_t littleDword(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    return littleWord(bytes, offset) | littleWord(bytes, offset + 2) << 16;
}

// Writes the low 16 bits of `value`.
inline void putLittleWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    bytes.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

inline void putLittleDword(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    putLittleWord(bytes, offset, value & 0xFFFF);
    putLittleWord(bytes, offset + 2, value >> 16);
}

// Appends the low 16 bits of `value`.
inline void appendLittleWord(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
}

inline void appendLittleDword(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    appendLittleWord(bytes, value & 0xFFFF);
    appendLittleWord(bytes, value >> 16);
}

// A name in a field of `length` bytes that the file has zeroed: at most length - 1
// characters, so that the last byte stays zero, as Scream Tracker and Impulse Tracker
// end their names.
inline void putName(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::string& name, std::size_t length)
{
    const std::size_t count = std::min(name.size(), length - 1);
    std::copy_n(name.begin(), count, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The effects that S3M's and IT's command numbers 1 to 26, the letters A to Z, stand for.
inline constexpr std::array<Effect, 26> commandLetters = {
    Effect::SetSpeed,          Effect::JumpToOrder,      Effect::BreakToRow,
    Effect::VolumeSlideS3m,    Effect::PortamentoDownS3m, Effect::PortamentoUpS3m,
    Effect::TonePortamentoS3m, Effect::VibratoS3m,       Effect::TremorS3m,
    Effect::ArpeggioS3m,       Effect::VibratoVolumeS3m, Effect::TonePortamentoVolumeS3m,
    Effect::ChannelVolume,     Effect::ChannelVolumeSlide, Effect::SampleOffsetS3m,
    Effect::PanningSlideS3m,   Effect::RetriggerS3m,     Effect::TremoloS3m,
    Effect::Special,           Effect::SetTempo,         Effect::FineVibrato,
    Effect::GlobalVolumeS3m,   Effect::GlobalVolumeSlideS3m, Effect::SetPanning,
    Effect::Panbrello,         Effect::MidiMacro,
};

// The command number (1 for A) of an S3M or IT effect, 0 for any other.
inline std::uint8_t commandNumber(Effect effect)
{
    for (std::size_t i = 0; i < commandLetters.size(); ++i) {
        if (commandLetters[i] == effect) {
            return static_cast<std::uint8_t>(i + 1);
        }
    }
    return 0;
}
