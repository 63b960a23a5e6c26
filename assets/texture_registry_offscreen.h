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
// script compiles in: swirl.bmp (103), cloud.bmp (104), burst.bmp (105), glyphs.bmp
// (111) and banner.bmp (113). False if one cannot be read.
bool addProgramBitmaps(const std::string& folder);
