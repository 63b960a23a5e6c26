// Bitmaps on the host: decoded from the table that tests and tools fill, and scaled to
// the texture's square by taking the nearest pixel. The program's own pictures are
// squares of the texture's side, which come through unscaled.
#include <fstream>
#include <iterator>

#include "assets/dib_picture.h"
#include "assets/texture_registry.h"
#include "assets/texture_registry_offscreen.h"
#include "resources/resource_numbers.h"

std::map<int, std::vector<std::uint8_t>>& offscreenBitmaps()
{
    // Made on first use: the registry is constructed during static construction.
    static std::map<int, std::vector<std::uint8_t>> bitmaps;
    return bitmaps;
}

bool addOffscreenBitmap(int number, const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    offscreenBitmaps()[number].assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

bool addProgramBitmaps(const std::string& folder)
{
    const struct {
        int number;
        const char* file;
    } pictures[] = {{swirlBitmap, "swirl.bmp"},   {cloudBitmap, "cloud.bmp"},   {burstBitmap, "burst.bmp"},
                    {glyphsBitmap, "glyphs.bmp"}, {bannerBitmap, "banner.bmp"}};
    bool all = true;
    for (const auto& picture : pictures) {
        all = addOffscreenBitmap(picture.number, folder + "/" + picture.file) && all;
    }
    return all;
}

GLuint TextureRegistry::loadBitmap(int number)
{
    const auto found = offscreenBitmaps().find(number & 0xFFFF);
    DibPicture picture;
    if (found == offscreenBitmaps().end() || !readDib(found->second.data(), found->second.size(), picture)) {
        return 0;
    }
    const int side = textureSide(picture.width < picture.height ? picture.width : picture.height);
    if (side == 0) {
        return 0;
    }

    const std::size_t rowBytes = paddedRowBytes(side);
    std::vector<std::uint8_t> pixels(rowBytes * static_cast<std::size_t>(side));
    for (int y = 0; y < side; ++y) {
        const int sourceY = static_cast<int>(static_cast<long long>(y) * picture.height / side);
        for (int x = 0; x < side; ++x) {
            const int sourceX = static_cast<int>(static_cast<long long>(x) * picture.width / side);
            const std::uint8_t* source = picture.pixel(sourceX, sourceY);
            std::uint8_t* target = &pixels[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x) * 3];
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
        }
    }
    return createTexture(side, pixels.data());
}
