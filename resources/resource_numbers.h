// The numbers of the program's resources, read both by the resource compiler (the .rc
// scripts include this file, and see only its #define lines: the resource compilers
// define RC_INVOKED and understand the preprocessor, not C++) and by the C++ code that
// loads them.
#ifndef THOUSAND_RESOURCE_NUMBERS_H
#define THOUSAND_RESOURCE_NUMBERS_H

// Bitmaps: the swirl of the sphere and a panel layer, the cloud that is the sphere's
// environment map, the water's burst, the font's glyphs, and the banner of the
// top-left bar.
#define THOUSAND_SWIRL_BITMAP 103
#define THOUSAND_CLOUD_BITMAP 104
#define THOUSAND_BURST_BITMAP 105
#define THOUSAND_GLYPHS_BITMAP 111
#define THOUSAND_BANNER_BITMAP 113
// The soundtrack, of type "MUSIC".
#define THOUSAND_SOUNDTRACK_MUSIC 116
// The icon group, which the window class also asks for.
#define THOUSAND_ICON_GROUP 117

#ifndef RC_INVOKED
constexpr int swirlBitmap = THOUSAND_SWIRL_BITMAP;
constexpr int cloudBitmap = THOUSAND_CLOUD_BITMAP;
constexpr int burstBitmap = THOUSAND_BURST_BITMAP;
constexpr int glyphsBitmap = THOUSAND_GLYPHS_BITMAP;
constexpr int bannerBitmap = THOUSAND_BANNER_BITMAP;
constexpr int soundtrackMusic = THOUSAND_SOUNDTRACK_MUSIC;
constexpr int iconGroup = THOUSAND_ICON_GROUP;
#endif

#endif
