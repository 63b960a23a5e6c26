"""What the scenarios see: screenshots of the X screen, where the show's parts lie in its
client area and what colours they have, and the text that OCR reads in a region."""

import re
import subprocess

from checks import Failure


# The frame's clear colour in 8 bits, and how far a channel may stray from it.
CLEAR_COLOUR = (42, 58, 128)
TOLERANCE = 3

# A region of the screen that no window of the show covers in windowed mode.
OUTSIDE_WINDOW = (700, 100, 300, 600)

# Where the title prints, relative to the client area's top-left corner: the group's
# name at (40, 40) and the site's name at (350, 400), in glyphs 16 pixels high. The
# regions leave some room around the texts; the band between them stays clear.
GROUP_NAME_AREA = (30, 32, 120, 32)
SITE_NAME_AREA = (340, 392, 240, 32)
BLANK_AREA = (30, 200, 240, 32)
TITLE_FREE_BAND = (0, 80, 640, 300)
# The rows of the site's name from its first glyph on, and how far right its letters
# reach at each stage: 11 pixels a character, the last one's ink inside 10.
SITE_NAME_TEXT = (350, 400, 240, 16)
SITE_NAME_EXTENTS = (64, 130, 185)
# The site's name as the title reveals it, stage by stage.
TITLE_STAGES = ("Dolven", "Dolven Quarn", "Dolven Quarn 1000")

# The main phase, relative to the client area. The separator runs down the left edge of
# pixel column 289, and a GL may blacken either column beside that edge; the panel is
# tinted right of it. The bar holds the top of the banner, whose lettering reads the
# site's name; the address is printed at (0, 450). The credits are the panel's white.
BLACK = (0, 0, 0)
SEPARATOR_COLUMNS = (288, 289)
PANEL_AREA = (300, 60, 330, 400)
CREDITS_AREA = (295, 0, 341, 480)
BAR_AREA = (10, 0, 250, 40)
CAPTION_AREA = (0, 444, 290, 28)
SCENE_AREA = (0, 44, 286, 400)
WATER_AREA = (0, 300, 286, 140)
CREDITS_SPEED = 15.0


def within(region, area):
    """An area given relative to a region's top-left corner, in screen coordinates."""
    return (region[0] + area[0], region[1] + area[1], area[2], area[3])


class Picture:
    """A screenshot of the whole X screen, 8 bits per channel."""

    def __init__(self, ppm):
        # A binary PPM: "P6", width, height, maximum, one whitespace, then RGB bytes.
        fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if not fields or int(fields.group(3)) != 255:
            raise Failure("the screenshot is not an 8-bit PPM")
        self.ppm = ppm
        self.width, self.height = int(fields.group(1)), int(fields.group(2))
        self.pixels = ppm[fields.end():]

    def rows(self, region):
        x, y, w, h = region
        if x < 0 or y < 0 or x + w > self.width or y + h > self.height:
            raise Failure(f"region {region} lies outside the {self.width}x{self.height} screen")
        for row in range(y, y + h):
            start = (row * self.width + x) * 3
            yield self.pixels[start:start + 3 * w]

    def share(self, region, colour, tolerance=TOLERANCE):
        """The share of the region's pixels whose every channel is within tolerance."""
        x, y, w, h = region
        exact = bytes(colour) * w
        low = [c - tolerance for c in colour]
        high = [c + tolerance for c in colour]
        good = 0
        for line in self.rows(region):
            if line == exact:
                good += w
                continue
            for i in range(0, len(line), 3):
                if (low[0] <= line[i] <= high[0] and low[1] <= line[i + 1] <= high[1]
                        and low[2] <= line[i + 2] <= high[2]):
                    good += 1
        return good / (w * h)

    def count(self, region, low):
        """How many of the region's pixels have every channel at least low."""
        found = 0
        for line in self.rows(region):
            found += sum(1 for i in range(0, len(line), 3)
                         if line[i] >= low and line[i + 1] >= low and line[i + 2] >= low)
        return found

    def row_profile(self, region, low):
        """For each row of the region, how many of its pixels have every channel at least
        low."""
        return [sum(1 for i in range(0, len(line), 3)
                    if line[i] >= low and line[i + 1] >= low and line[i + 2] >= low)
                for line in self.rows(region)]

    def red_extent(self, region, low):
        """How far right of the region's left edge its last pixel with red at least low
        lies, in pixels; -1 for none."""
        extent = -1
        for line in self.rows(region):
            for i in range(len(line) - 3, 3 * extent, -3):
                if line[i] >= low:
                    extent = i // 3
                    break
        return extent

    def mean(self, region):
        sums = [0, 0, 0]
        for line in self.rows(region):
            for channel in range(3):
                sums[channel] += sum(line[channel::3])
        count = region[2] * region[3]
        return tuple(round(s / count, 1) for s in sums)


def shows(picture, region, colour, share=1.0):
    """Whether at least share of the region has the colour, within the tolerance."""
    return picture.share(region, colour) >= share


def reads_as(read, text):
    """Whether what OCR read is the text, word by word. The glyphs' zero has a dot
    inside, which OCR takes for 0, 6 or 8 in turn, so in a number of the text those
    digits count as zeros; a stray point after a word is dropped."""
    words = [word.rstrip(".,") for word in read.split()]
    wanted = text.split()
    if len(words) != len(wanted):
        return False
    for word, want in zip(words, wanted):
        if want.isdigit() and word.isdigit():
            word = re.sub("[68]", "0", word)
        if word != want:
            return False
    return True


def shows_title(picture, client):
    """The title phase: the clear colour all across the band between the texts."""
    return shows(picture, within(client, TITLE_FREE_BAND), CLEAR_COLOUR)


def shows_main_phase(picture, client):
    """The main phase: a black separator down the client area and the tinted panel."""
    separator = any(shows(picture, within(client, (x, 50, 1, 420)), BLACK)
                    for x in SEPARATOR_COLUMNS)
    panel = picture.mean(within(client, PANEL_AREA))
    return separator and panel[2] > CLEAR_COLOUR[2] + 40 and panel[0] > CLEAR_COLOUR[0] + 20


def shows_the_show(picture, client):
    """The show's frame in either phase, where the client area is."""
    return shows_title(picture, client) or shows_main_phase(picture, client)


def read_text(picture, region, black=40):
    """The text that OCR reads in a region of a screenshot: light text on a darker
    ground, with every grey up to `black` per cent taken as black (which leaves out
    the title's faint ghost copies), turned to dark on light and enlarged four times
    for tesseract."""
    x, y, w, h = region
    crop = subprocess.run(
        ["convert", "ppm:-", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-colorspace", "gray",
         "-level", f"{black}%,100%", "-negate", "-scale", "400%", "png:-"],
        input=picture.ppm, capture_output=True, timeout=20, check=True).stdout
    # Page segmentation 7: the region holds a single line of text.
    result = subprocess.run(["tesseract", "-", "-", "--psm", "7"], input=crop,
                            capture_output=True, timeout=30)
    if result.returncode != 0:
        raise Failure(f"tesseract failed: {result.stderr.decode(errors='replace')}")
    return " ".join(result.stdout.decode(errors="replace").split())
