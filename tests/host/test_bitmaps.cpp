#include "tests/host/test_bitmaps.h"

namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

} // namespace

std::vector<std::uint8_t> TestBitmap::bytes() const
{
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    const std::size_t headers = (fileHeader ? 14 : 0) + 40 + palette.size() * 4;

    std::vector<std::uint8_t> out;
    if (fileHeader) {
        out.push_back('B');
        out.push_back('M');
        put(out, static_cast<std::uint32_t>(headers + rowBytes * static_cast<std::size_t>(height)), 4);
        put(out, 0, 4);
        put(out, static_cast<std::uint32_t>(headers), 4);
    }
    put(out, 40, 4);
    put(out, static_cast<std::uint32_t>(width), 4);
    put(out, static_cast<std::uint32_t>(topDown ? -height : height), 4);
    put(out, 1, 2);
    put(out, static_cast<std::uint32_t>(bits), 2);
    put(out, 0, 4);  // BI_RGB
    put(out, static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(height)), 4);
    put(out, 0, 4);
    put(out, 0, 4);
    put(out, static_cast<std::uint32_t>(palette.size()), 4);
    put(out, 0, 4);
    for (std::uint32_t colour : palette) {
        put(out, colour & 0xFFFFFF, 4);  // blue, green, red, reserved
    }

    for (int stored = 0; stored < height; ++stored) {
        const int y = topDown ? stored : height - 1 - stored;
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            if (bits == 24) {
                row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<std::uint8_t>(v);
                row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(v >> 8);
                row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<std::uint8_t>(v >> 16);
            } else {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                row[static_cast<std::size_t>(x / perByte)] |= static_cast<std::uint8_t>(v << shift);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<std::uint32_t> greyPalette()
{
    std::vector<std::uint32_t> palette;
    for (std::uint32_t i = 0; i < 256; ++i) {
        palette.push_back(i * 0x010101u);
    }
    return palette;
}
