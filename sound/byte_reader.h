#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

// A bounds-checked view of a module file for the loaders. `has` says whether a range
// lies inside the file; the readers assume the caller asked first. Little-endian words
// for the PC trackers, big-endian for the Amiga's.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

    std::size_t size() const { return size_; }
    bool has(std::size_t offset, std::size_t length) const
    {
        return offset <= size_ && length <= size_ - offset;
    }

    std::uint8_t byte(std::size_t offset) const { return data_[offset]; }
    std::uint32_t bigWord(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(data_[offset] << 8 | data_[offset + 1]);
    }
    std::uint32_t word(std::size_t offset) const
    {
        return static_cast<std::uint32_t>(data_[offset] | data_[offset + 1] << 8);
    }
    std::uint32_t dword(std::size_t offset) const
    {
        return word(offset) | word(offset + 2) << 16;
    }
    // Text of at most `length` bytes, ending at the first zero byte.
    std::string text(std::size_t offset, std::size_t length) const
    {
        const char* start = reinterpret_cast<const char*>(data_ + offset);
        return std::string(start, strnlen(start, length));
    }
    bool matches(std::size_t offset, const char* signature) const
    {
        const std::size_t length = std::strlen(signature);
        return has(offset, length) && std::memcmp(data_ + offset, signature, length) == 0;
    }
    const std::uint8_t* at(std::size_t offset) const { return data_ + offset; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};
