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

// Reads the program's five pictures from a folder holding the files that the resource
// script compiles in, under their numbers (resources/resource_numbers.h): swirl.bmp,
// cloud.bmp, burst.bmp, glyphs.bmp and banner.bmp. False if one cannot be read.
bool addProgramBitmaps(const std::string& folder);
