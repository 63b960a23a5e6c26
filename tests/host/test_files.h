#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The whole of a file, or nothing when it cannot be read.
inline std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
        std::fclose(file);
    }
    return bytes;
}
