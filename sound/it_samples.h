#pragma once

#include <cstddef>
#include <cstdint>

// Impulse Tracker's compressed sample data (IT 2.14, and IT 2.15 which integrates the
// decoded values twice). A channel's frames come in blocks of at most 0x8000 (8-bit)
// or 0x4000 (16-bit) frames; each block is a 16-bit little-endian byte count and then
// a bit stream, least significant bit first, of deltas whose bit width changes along
// the way. Widths 1 to 6, 7 to 8 (or 16) and 9 (or 17) each signal a change of width
// in their own way.
//
// Each block starts again at the widest width with its sums at zero.
constexpr std::uint32_t itBlockFrames8 = 0x8000;
constexpr std::uint32_t itBlockFrames16 = 0x4000;

// Decodes `frames` frames of one channel from the `size` bytes at `data` into
// out[0], out[stride], out[2 * stride], ...; 8-bit values are stored at 256 times
// their value, as the module keeps them. On success `used` holds the bytes taken, so
// that a stereo sample's right channel can follow from there. Returns false, having
// read nothing past `size`, when a block's length runs past the data, its bits run out
// before its frames do, or a width change names a width outside the scheme.
bool decompressItSample(const std::uint8_t* data, std::size_t size, std::size_t& used, bool sixteenBit,
                        bool it215, std::int16_t* out, std::uint32_t frames, int stride);
