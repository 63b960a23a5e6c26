#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The host's stand-in for the program's bitmap resources: bitmaps by resource number,
// as .bmp files or as resources hold them, which tests and tools fill in.
std::map<int, std::vector<std::uint8_t>>& offscreenBitmaps();

// Reads the .bmp file at `path` into offscreenBitmaps() under `number`; false if it
// cannot be read.
bool addOffscreenBitmap(int number, const std::string& path);
