#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A device-independent bitmap decoded to 24-bit pixels, the picture's top row first:
// what the host reads in place of the system's bitmap loading, and what tests and tools
// use to look at the committed pictures.
struct DibPicture {
    int width = 0;
    // Always positive, whichever way the rows were stored.
    int height = 0;
    // 1, 4, 8, 24 or 32, as stored.
    int bitCount = 0;
    // The colour table as stored: blue, green, red and a reserved byte per entry.
    std::vector<std::uint8_t> palette;
    // Blue, green, red per pixel, width * 3 bytes per row with no padding, top row first.
    std::vector<std::uint8_t> pixels;

    // The blue, green and red of a pixel counted from the top-left corner as seen.
    const std::uint8_t* pixel(int x, int y) const
    {
        return &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
    }
};

// Reads an uncompressed bitmap, either as a bitmap resource holds it (from the
// BITMAPINFOHEADER on) or as a .bmp file does (with the 14-byte "BM" file header in
// front). Every offset and length is checked: anything else, or a damaged bitmap,
// gives false and leaves `picture` empty.
bool readDib(const std::uint8_t* data, std::size_t size, DibPicture& picture);
