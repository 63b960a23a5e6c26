#include "sound/it_samples.h"

#include <algorithm>

namespace {

// Reads values of a few bits at a time, least significant bit first, from one block;
// it refuses to read a bit past the block's end.
class BitStream {
public:
    BitStream(const std::uint8_t* data, std::size_t size) : data_(data), bits_(size * 8) {}

    bool read(int width, std::uint32_t& value)
    {
        const std::size_t count = static_cast<std::size_t>(width);
        if (count > bits_ - position_) {
            return false;
        }
        value = 0;
        int got = 0;
        while (got < width) {
            const unsigned shift = static_cast<unsigned>(position_ & 7);
            const int take = std::min(8 - static_cast<int>(shift), width - got);
            const std::uint32_t part = (data_[position_ >> 3] >> shift) & ((1u << take) - 1);
            value |= part << got;
            got += take;
            position_ += static_cast<std::size_t>(take);
        }
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

// The value of the low `width` bits of v as a two's complement number.
std::int32_t signExtend(std::uint32_t v, int width)
{
    const std::uint32_t sign = 1u << (width - 1);
    const std::uint32_t low = v & ((sign << 1) - 1);
    return static_cast<std::int32_t>(low ^ sign) - static_cast<std::int32_t>(sign);
}

// Decodes one block of `frames` frames from its bit stream; false when the stream is
// damaged.
bool decodeBlock(BitStream& bits, bool sixteenBit, bool it215, std::int16_t* out, std::uint32_t frames, int stride)
{
    // The widest width carries a whole sample value plus a flag bit above it.
    const int valueBits = sixteenBit ? 16 : 8;
    const int widest = valueBits + 1;
    const int widthFieldBits = sixteenBit ? 4 : 3;
    const std::uint32_t valueMask = (1u << valueBits) - 1;
    // Widths 7 up to valueBits give up this many codes around the middle of their range
    // to name a new width.
    const std::uint32_t middleCodes = sixteenBit ? 16 : 8;

    int width = widest;
    std::uint32_t sum = 0;       // the deltas integrated once
    std::uint32_t sumOfSums = 0; // and twice, for IT 2.15
    std::uint32_t done = 0;
    while (done < frames) {
        std::uint32_t v = 0;
        if (!bits.read(width, v)) {
            return false;
        }
        int newWidth = 0;
        if (width <= 6) {
            // A lone top bit is not a value but announces a width in the next few bits.
            if (v == 1u << (width - 1)) {
                std::uint32_t field = 0;
                if (!bits.read(widthFieldBits, field)) {
                    return false;
                }
                newWidth = static_cast<int>(field) + 1;
                newWidth = newWidth < width ? newWidth : newWidth + 1;
            }
        } else if (width < widest) {
            const std::uint32_t border = (valueMask >> (widest - width)) - middleCodes / 2;
            if (v > border && v <= border + middleCodes) {
                newWidth = static_cast<int>(v - border);
                newWidth = newWidth < width ? newWidth : newWidth + 1;
            }
        } else if (v & (1u << valueBits)) {
            // At the widest width the flag bit marks a change; its low byte names the
            // width less one, and may name one the scheme does not have.
            newWidth = static_cast<int>(v & 0xFF) + 1;
        }
        if (newWidth != 0) {
            if (newWidth > widest) {
                return false;
            }
            width = newWidth;
            continue;
        }

        const std::int32_t delta = signExtend(v, std::min(width, valueBits));
        sum = (sum + static_cast<std::uint32_t>(delta)) & valueMask;
        sumOfSums = (sumOfSums + sum) & valueMask;
        const std::uint32_t value = it215 ? sumOfSums : sum;
        const std::int32_t sample = signExtend(value, valueBits);
        out[static_cast<std::size_t>(done) * static_cast<std::size_t>(stride)] =
            static_cast<std::int16_t>(sixteenBit ? sample : sample * 256);
        ++done;
    }
    return true;
}

} // namespace

bool decompressItSample(const std::uint8_t* data, std::size_t size, std::size_t& used, bool sixteenBit,
                        bool it215, std::int16_t* out, std::uint32_t frames, int stride)
{
    const std::uint32_t blockFrames = sixteenBit ? itBlockFrames16 : itBlockFrames8;
    std::size_t position = 0;
    std::uint32_t done = 0;
    while (done < frames) {
        if (size - position < 2) {
            return false;
        }
        const std::size_t blockBytes = static_cast<std::size_t>(data[position] | data[position + 1] << 8);
        position += 2;
        if (blockBytes > size - position) {
            return false;
        }
        const std::uint32_t count = std::min(frames - done, blockFrames);
        BitStream bits(data + position, blockBytes);
        std::int16_t* blockOut = out + static_cast<std::size_t>(done) * static_cast<std::size_t>(stride);
        if (!decodeBlock(bits, sixteenBit, it215, blockOut, count, stride)) {
            return false;
        }
        // Whatever bits the block holds past its last frame are padding.
        position += blockBytes;
        done += count;
    }
    used = position;
    return true;
}
