#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// Device-independent bitmaps made in memory, as a bitmap resource holds them (or as a
// .bmp file, with the file header in front), for the tests of what reads them.
struct TestBitmap {
    int width = 1;
    int height = 1;
    int bits = 24;              // 1, 4, 8 or 24
    std::vector<std::uint32_t> palette;  // 0xRRGGBB per entry, for 8 bits or fewer
    bool topDown = false;       // rows stored top row first, with a negative height
    bool fileHeader = false;    // a .bmp file rather than a resource
    // What pixel (x, y), counted from the top-left as seen, holds: a palette index, or
    // 0xRRGGBB for 24 bits.
    std::function<std::uint32_t(int x, int y)> value = [](int, int) { return 0u; };

    std::vector<std::uint8_t> bytes() const;
};

// A palette of the 256 grey levels, entry i grey i.
std::vector<std::uint32_t> greyPalette();
