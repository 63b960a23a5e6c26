// Writes the bar's picture: the site's name in large white letters across the top of a
// dark blue field, a thin light-blue rule under it and a small caption on the thousand
// hits below, 256 x 256 pixels in 16 colours.
//
//     make_banner OUTPUT.bmp
//
// The show draws only the top 15 % of the picture (rows 0 to 38), stretched to 250 x 40
// pixels, so the name and the rule sit within those rows; the caption and the rest are
// for anyone who opens the picture itself.
#include <cmath>
#include <stdexcept>
#include <string>

#include "show/site.h"
#include "tools/assets/picture.h"
#include "tools/assets/typeface.h"

namespace {

using namespace picture;

constexpr int side = 256;
const std::string fonts = "/usr/share/fonts/truetype/dejavu/";

// The name fills rows nameTop to nameBottom - 1 and at most nameWidth columns.
constexpr int nameTop = 2;
constexpr int nameBottom = 34;
constexpr int nameWidth = 238;
constexpr int ruleRow = 36;
constexpr int captionBaseline = 58;
constexpr int captionRuleRow = 68;

const Colour fieldTop{0.05, 0.08, 0.30};
const Colour fieldBottom{0.03, 0.05, 0.20};
const Colour white{1.0, 1.0, 1.0};
const Colour lightBlue{0.56, 0.76, 1.0};
const Colour captionBlue{0.72, 0.80, 0.96};
const Colour watermark{0.08, 0.12, 0.40};

// The blue field, a little lighter behind the name. Texture filtering blends the top row
// with the bottom one and the left column with the right one, so the field's edges are
// kept close in colour.
Colour field(int x, int y)
{
    const double down = std::sin(3.141592653589793 * (y + 0.5) / side);
    Colour colour = mix(fieldTop, fieldBottom, down);
    const double across = (x + 0.5) / side - 0.5;
    const double behindName = std::exp(-across * across / 0.08) * std::exp(-std::pow((y - 18.0) / 22.0, 2.0));
    return add(colour, scale(Colour{0.02, 0.03, 0.08}, behindName));
}

// Sets `face` to the largest size at which `text` fits `width` x `height` pixels, in
// half-pixel steps, and returns where its ink lies from a pen at (0, 0).
InkBox fit(Typeface& face, const std::u32string& text, int width, int height)
{
    for (double size = 2.0 * height; size > 8.0; size -= 0.5) {
        face.setSize(size);
        const InkBox box = setLine(face, text, 0, 0, Hinting::Light, nullptr);
        if (box.width() <= width && box.height() <= height) {
            return box;
        }
    }
    throw std::runtime_error("the text does not fit at any size");
}

// Sets `text`, whose ink lies in `box` from a pen at (0, 0), centred on the column
// `centreX` on the baseline `baseline`.
void centred(Typeface& face, const std::u32string& text, int centreX, const InkBox& box, int baseline, Mask& ink)
{
    setLine(face, text, centreX - box.width() / 2 - box.left, baseline, Hinting::Light, &ink);
}

std::vector<std::uint8_t> makeBanner()
{
    Typeface nameFace(fonts + "DejaVuSans-Bold.ttf", "fonts-dejavu-core");
    Typeface captionFace(fonts + "DejaVuSans.ttf", "fonts-dejavu-core");

    // The name, as large as the top rows allow, centred in them.
    const std::u32string name = U"" THOUSAND_SITE_NAME;
    Mask nameInk(side, side);
    const InkBox nameBox = fit(nameFace, name, nameWidth, nameBottom - nameTop);
    const int nameBaseline = nameTop + (nameBottom - nameTop - nameBox.height()) / 2 - nameBox.top;
    centred(nameFace, name, side / 2, nameBox, nameBaseline, nameInk);

    const std::u32string caption = U"1000 hits \u2013 thank you";
    Mask captionInk(side, side);
    captionFace.setSize(12.0);
    const InkBox captionBox = setLine(captionFace, caption, 0, 0, Hinting::Light, nullptr);
    centred(captionFace, caption, side / 2, captionBox, captionBaseline, captionInk);

    // Below, faint and large, the number itself.
    Typeface numberFace(fonts + "DejaVuSerif-Bold.ttf", "fonts-dejavu-core");
    const std::u32string number = U"1000";
    Mask numberInk(side, side);
    const InkBox numberBox = fit(numberFace, number, 208, 96);
    centred(numberFace, number, side / 2, numberBox, 216 - numberBox.bottom, numberInk);

    Image image(side, side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            Colour colour = field(x, y);
            // The rule, fading out towards its ends.
            const double across = std::fabs((x + 0.5) / side - 0.5) * 2.0;
            if (y == ruleRow) {
                colour = mix(colour, lightBlue, 0.9 * (1.0 - smoothstep(0.75, 0.95, across)));
            }
            // A short second rule closing the caption.
            if (y == captionRuleRow) {
                colour = mix(colour, lightBlue, 0.45 * (1.0 - smoothstep(0.25, 0.4, across)));
            }
            colour = mix(colour, watermark, numberInk.at(x, y));
            colour = mix(colour, captionBlue, captionInk.at(x, y));
            colour = mix(colour, white, nameInk.at(x, y));
            image.at(x, y) = colour;
        }
    }

    // The field's shades, the ramp from the field to the name's white and the ramp to the
    // rule's light blue.
    Palette palette = ramp({fieldBottom, watermark}, 4);
    for (int step = 1; step <= 7; ++step) {
        palette.push_back(mix(fieldTop, white, step / 7.0));
    }
    for (int step = 1; step <= 5; ++step) {
        palette.push_back(mix(fieldTop, lightBlue, step / 5.0));
    }
    return encodeIndexed(side, side, 4, palette, diffuse(image, palette));
}

} // namespace

int main(int argc, char** argv)
{
    return generate(argc, argv, "make_banner", makeBanner);
}
