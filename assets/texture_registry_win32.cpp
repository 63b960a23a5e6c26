// Bitmap resources read through GDI: the system loads the picture as a DIB section,
// scales it to the texture's square and converts it to 24-bit pixels against the
// screen's device context, palette pictures expanded through their colour tables.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "assets/texture_registry.h"

GLuint TextureRegistry::loadBitmap(int number)
{
    const HINSTANCE module = GetModuleHandleA(nullptr);
    const LPCSTR resource = MAKEINTRESOURCEA(static_cast<WORD>(number & 0xFFFF));

    // First at its natural size, only to learn the size.
    const HANDLE natural = LoadImageA(module, resource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (natural == nullptr) {
        return 0;
    }
    DIBSECTION section = {};
    GetObjectA(natural, sizeof section, &section);
    DeleteObject(natural);
    // A top-down picture reports a negative height.
    const LONG width = section.dsBmih.biWidth;
    const LONG height = std::labs(section.dsBmih.biHeight);
    const int side = textureSide(static_cast<int>(width < height ? width : height));
    if (side == 0) {
        return 0;
    }

    // Then scaled by the system to the square; a square power of two stays as it is.
    const HANDLE sized = LoadImageA(module, resource, IMAGE_BITMAP, side, side, LR_CREATEDIBSECTION);
    if (sized == nullptr) {
        return 0;
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side; // top row first: t = 0 is the top of the picture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(side * side * 3);

    // Rows padded to 4 bytes, as GetDIBits writes them even for sides below 4.
    std::vector<std::uint8_t> pixels(paddedRowBytes(side) * static_cast<std::size_t>(side));
    GetDIBits(screenDC, static_cast<HBITMAP>(sized), 0, static_cast<UINT>(side), pixels.data(), &info,
              DIB_RGB_COLORS);

    const GLuint name = createTexture(side, pixels.data());
    DeleteObject(sized);
    return name;
}
