#include "assets/dib_picture.h"

namespace {

constexpr std::size_t fileHeaderBytes = 14;
constexpr std::size_t infoHeaderBytes = 40;
// Far beyond any picture of the show, and small enough that no size below overflows.
constexpr std::int32_t largestSide = 16384;

std::uint32_t read16(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t read32(const std::uint8_t* p)
{
    return read16(p) | read16(p + 2) << 16;
}

// The index of pixel x in a row of palette indices `bits` wide, most significant first.
std::uint32_t paletteIndex(const std::uint8_t* row, int x, int bits)
{
    const int perByte = 8 / bits;
    const int shift = 8 - bits * (x % perByte + 1);
    return static_cast<std::uint32_t>(row[x / perByte] >> shift) & ((1u << bits) - 1u);
}

bool decode(const std::uint8_t* data, std::size_t size, std::size_t headerAt, std::size_t pixelsAt,
            bool pixelsFollowPalette, DibPicture& picture)
{
    if (headerAt > size || size - headerAt < infoHeaderBytes) {
        return false;
    }
    const std::uint8_t* header = data + headerAt;
    const std::uint32_t headerSize = read32(header);
    const auto width = static_cast<std::int32_t>(read32(header + 4));
    const auto storedHeight = static_cast<std::int32_t>(read32(header + 8));
    const std::uint32_t planes = read16(header + 12);
    const auto bits = static_cast<int>(read16(header + 14));
    const std::uint32_t compression = read32(header + 16);
    const std::uint32_t coloursUsed = read32(header + 32);

    if (headerSize < infoHeaderBytes || headerSize > size - headerAt || planes != 1 || compression != 0) {
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        return false;
    }
    // A negative height marks rows stored top row first.
    const bool topDown = storedHeight < 0;
    if (width <= 0 || width > largestSide || storedHeight == 0 || storedHeight < -largestSide ||
        storedHeight > largestSide) {
        return false;
    }
    const std::int32_t height = topDown ? -storedHeight : storedHeight;

    std::size_t entries = coloursUsed;
    if (bits <= 8) {
        const std::size_t full = std::size_t{1} << bits;
        if (entries == 0 || entries > full) {
            entries = full;
        }
    } else if (entries > 256) {
        return false;
    }
    const std::size_t paletteAt = headerAt + headerSize;
    if (entries * 4 > size - paletteAt) {
        return false;
    }
    if (pixelsFollowPalette) {
        pixelsAt = paletteAt + entries * 4;
    }

    const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    if (pixelsAt > size || (size - pixelsAt) / rowBytes < static_cast<std::size_t>(height)) {
        return false;
    }

    picture.width = width;
    picture.height = height;
    picture.bitCount = bits;
    picture.palette.assign(data + paletteAt, data + paletteAt + entries * 4);
    picture.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);

    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t stored = topDown ? y : height - 1 - y;
        const std::uint8_t* row = data + pixelsAt + static_cast<std::size_t>(stored) * rowBytes;
        std::uint8_t* out = picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            if (bits >= 24) {
                const std::uint8_t* source = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8);
                out[0] = source[0];
                out[1] = source[1];
                out[2] = source[2];
                continue;
            }
            // An index past the colour table shows as black.
            const std::uint32_t index = paletteIndex(row, x, bits);
            const bool known = index < entries;
            for (int c = 0; c < 3; ++c) {
                out[c] = known ? picture.palette[index * 4 + static_cast<std::size_t>(c)] : 0;
            }
        }
    }
    return true;
}

} // namespace

bool readDib(const std::uint8_t* data, std::size_t size, DibPicture& picture)
{
    picture = DibPicture{};
    bool decoded = false;
    if (size >= fileHeaderBytes && data[0] == 'B' && data[1] == 'M') {
        // A file says where its pixels start.
        decoded = decode(data, size, fileHeaderBytes, read32(data + 10), false, picture);
    } else {
        // A resource's pixels follow its colour table directly.
        decoded = decode(data, size, 0, 0, true, picture);
    }
    if (!decoded) {
        picture = DibPicture{};
    }
    return decoded;
}
