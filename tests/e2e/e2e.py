#!/usr/bin/env python3
"""End-to-end scenarios: the real program under Wine on a private Xvfb display.

Each scenario starts its own X server, runs thousand.exe in the e2e Wine prefix, drives
it from outside with xdotool (keys, pointer), looks at it with screenshots, xwininfo and
the Win32 helper winctl.exe, and reads the exit code of its Wine process. Only the
processes started here are ended, by their ids.

    e2e.py SCENARIO --program thousand.exe --helper winctl.exe --output DIR --prefix DIR
           [--modrender modrender --module thousand.mod]

Wine gets no sound device unless a scenario asks for one: then an ALSA configuration in
a home of the scenario's own sends the default device to a WAV file, which the scenario
compares with modrender's render of the same module.
"""

import argparse
import array
import math
import operator
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

TITLE = "Dolven Quarn - http://www.dolvenquarn.org"
QUESTION = "FullScreen..."
QUESTION_TEXT = "Want to see it BIG ?"
REFUSAL = "Tenvo GL"
REFUSAL_TEXT = ("The Requested Fullscreen Mode Is Not Supported By\n"
                "Your Video Card. Use Windowed Mode Instead?")
CLOSING = "ERROR"
CLOSING_TEXT = "Program Will Now Close."

SCREEN_SIZE = (1024, 768)
CLIENT_SIZE = (640, 480)
# The frame's clear colour in 8 bits, and how far a channel may stray from it.
CLEAR_COLOUR = (42, 58, 128)
TOLERANCE = 3
# The exit code after Escape: the character message of the Escape key itself.
ESCAPE_EXIT_CODE = 27

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

# Wine's audio drivers: all of them off for the silent show; ALSA alone when a scenario
# captures the sound, so that a sound server on the machine cannot take it.
NO_SOUND_DRIVERS = "mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv="
ALSA_ONLY = "mscoree,mshtml,winepulse.drv,wineoss.drv="

ROOT = Path(__file__).resolve().parents[2]
WINE = ROOT / "tools" / "wine.sh"


class Failure(Exception):
    pass


def log(message):
    print(message, flush=True)


def check(condition, message):
    """Records a passed check, or fails the scenario with the message."""
    if not condition:
        raise Failure(message)
    log(f"ok: {message}")


def wait_for(what, probe, timeout, interval=0.1):
    """Polls probe until it returns something true, for at most timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def ere_escape(text):
    """Escapes text for the extended regular expressions of xdotool search."""
    return re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", text)


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


class Session:
    """One private X server and the Wine programs of one scenario."""

    def __init__(self, args, scenario, with_gl=True):
        self.with_gl = with_gl
        self.program = Path(args.program).resolve()
        self.helper_exe = Path(args.helper).resolve()
        self.prefix = Path(args.prefix).resolve()
        self.output = Path(args.output).resolve() / scenario
        self.output.mkdir(parents=True, exist_ok=True)
        for old in self.output.iterdir():
            # A sound scenario leaves the home it gave Wine.
            if old.is_dir():
                shutil.rmtree(old)
            else:
                old.unlink()
        self.processes = []
        self.xvfb = None
        self.env = dict(os.environ)
        self.env.update(THOUSAND_WINEPREFIX=str(self.prefix), WINEPREFIX=str(self.prefix),
                        WINEARCH="win32", WINEDLLOVERRIDES=NO_SOUND_DRIVERS,
                        WINEDEBUG="-all")
        self.modrender = Path(args.modrender).resolve() if args.modrender else None
        self.module = Path(args.module).resolve() if args.module else None

    # Start and end.

    def __enter__(self):
        # A server left from an earlier run of this prefix would still use its display.
        self.wait_for_wineserver()
        read_end, write_end = os.pipe()
        without_gl = [] if self.with_gl else ["-extension", "GLX"]
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{SCREEN_SIZE[0]}x{SCREEN_SIZE[1]}x24", "-nolisten", "tcp", *without_gl],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        # Xvfb writes the display number it chose once it accepts clients.
        ready = threading.Timer(10, lambda: self.xvfb.kill())
        ready.start()
        with os.fdopen(read_end) as numbers:
            display = numbers.readline().strip()
        ready.cancel()
        if not display:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = f":{display}"
        log(f"Xvfb on display :{display}, Wine prefix {self.prefix}")
        self.ensure_prefix()
        return self

    def __exit__(self, kind, error, trace):
        if isinstance(error, Exception):
            self.save_failure_screenshot()
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=5)
        # Let the prefix's Wine session wind down before the display goes away.
        self.wait_for_wineserver()
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait(timeout=5)
        return False

    def ensure_prefix(self):
        if (self.prefix / "system.reg").exists():
            return
        log("creating the Wine prefix")
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["wineboot", "--init"], env=self.env, timeout=180,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_for_wineserver(timeout=60)

    def wait_for_wineserver(self, timeout=30):
        try:
            subprocess.run(["wineserver", "--wait"], env=self.env, timeout=timeout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            log(f"warning: the Wine session of {self.prefix} did not end within {timeout} s")

    def save_failure_screenshot(self):
        try:
            path = self.save_picture(self.capture(), "failure.png")
            log(f"screenshot at the failure: {path}")
        except (Failure, OSError, subprocess.SubprocessError) as problem:
            log(f"no screenshot: {problem}")

    # Wine programs.

    def start(self, arguments, log_name, debug="-all", native=False):
        """Starts a Windows program under Wine, or with native an X program of the host,
        its output going to a log file."""
        env = dict(self.env, WINEDEBUG=debug)
        command = list(arguments) if native else [str(WINE), *arguments]
        with open(self.output / log_name, "wb") as output:
            process = subprocess.Popen(command, env=env, stdout=output,
                                       stderr=subprocess.STDOUT)
        self.processes.append(process)
        return process

    def start_show(self, debug="-all"):
        return self.start([str(self.program)], "wine.log", debug)

    def helper(self, *arguments, desktop=None, timeout=30):
        """Runs winctl.exe and returns its exit code and its output line."""
        command = [str(WINE), str(self.helper_exe)]
        if desktop:
            command += ["--desktop", desktop]
        result = subprocess.run(command + list(arguments), env=self.env, timeout=timeout,
                                capture_output=True)
        text = result.stdout.decode(errors="replace").replace("\r\n", "\n")
        return result.returncode, text[:-1] if text.endswith("\n") else text

    def helper_numbers(self, *arguments, desktop=None):
        code, text = self.helper(*arguments, desktop=desktop)
        if code != 0:
            raise Failure(f"winctl {' '.join(arguments)} failed ({code})")
        return tuple(int(field) for field in text.split())

    def box_text(self, caption):
        code, text = self.helper("text", caption)
        if code != 0:
            raise Failure(f"no message box captioned {caption!r} to read")
        return text

    def process_id(self, title):
        """The Wine process id, in hex as Wine's traces write it, of a window's program."""
        code, text = self.helper("find", title)
        if code != 0:
            raise Failure(f"no window titled {title!r}")
        return text.split()[1]

    def wait_exit(self, process, what, timeout=30):
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{what} did not end within {timeout} s") from None

    # The X side.

    def x(self, *command, timeout=10):
        try:
            return subprocess.run(command, env=self.env, timeout=timeout, capture_output=True)
        except subprocess.TimeoutExpired:
            return subprocess.CompletedProcess(command, -1, b"", b"timed out")

    def find_windows(self, title, visible=True):
        """X windows with exactly this title; xdotool fails now and then while windows
        come and go, which counts as none found."""
        command = ["xdotool", "search"] + (["--onlyvisible"] if visible else [])
        result = self.x(*command, "--name", f"^{ere_escape(title)}$")
        if result.returncode != 0:
            return []
        return [int(line) for line in result.stdout.split()]

    def wait_window(self, title, timeout=30):
        windows = wait_for(f"a window titled {title!r}", lambda: self.find_windows(title),
                           timeout)
        log(f"ok: a window titled {title!r} is shown")
        return windows[0]

    def geometry(self, window):
        """Absolute x, y, width, height of a viewable X window, or None."""
        result = self.x("xwininfo", "-id", str(window))
        text = result.stdout.decode(errors="replace")
        if result.returncode != 0 or "IsViewable" not in text:
            return None
        value = {}
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            found = re.search(rf"{key}:\s+(-?\d+)", text)
            if not found:
                return None
            value[key] = int(found.group(1))
        return tuple(value.values())

    def child_geometries(self, window):
        """Absolute x, y, width, height of each child window of an X window."""
        result = self.x("xwininfo", "-children", "-id", str(window))
        pattern = re.compile(r"^\s+0x[0-9a-f]+ .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$")
        children = []
        for line in result.stdout.decode(errors="replace").splitlines():
            found = pattern.match(line)
            if found:
                w, h, x, y = (int(v) for v in found.groups())
                children.append((x, y, w, h))
        return children

    def focus(self, window):
        wait_for(f"the keyboard focus on X window {window}",
                 lambda: self.x("xdotool", "windowfocus", "--sync", str(window),
                                timeout=5).returncode == 0, 10)

    def press(self, window, keys):
        """Focuses a window and presses keys there, as a person at the keyboard would."""
        self.focus(window)
        result = self.x("xdotool", "key", keys)
        if result.returncode != 0:
            raise Failure(f"xdotool could not press {keys}")
        log(f"pressed {keys}")

    def key_down(self, window, key):
        """Focuses a window and puts a key down there, until key_up."""
        self.focus(window)
        if self.x("xdotool", "keydown", key).returncode != 0:
            raise Failure(f"xdotool could not put {key} down")
        log(f"{key} down")

    def key_up(self, key):
        """Releases a key, in whichever window has the focus now."""
        if self.x("xdotool", "keyup", key).returncode != 0:
            raise Failure(f"xdotool could not release {key}")
        log(f"{key} up")

    def hold(self, window, key, seconds=0.3):
        """Focuses a window and holds a key down there for a while. The show looks at
        the keys' states between frames, and a press whose release also arrives within
        one frame goes unseen there: a person's press lasts longer than a frame."""
        self.key_down(window, key)
        time.sleep(seconds)
        self.key_up(key)

    def tap(self, window, key):
        """Focuses a window and sends a key's press and release back to back, the
        shortest press there is: both may arrive within one frame of the show."""
        self.focus(window)
        if self.x("xdotool", "key", "--delay", "0", key).returncode != 0:
            raise Failure(f"xdotool could not tap {key}")
        log(f"tapped {key}")

    def pointer(self):
        result = self.x("xdotool", "getmouselocation", "--shell")
        fields = dict(line.split("=", 1) for line in result.stdout.decode().split() if "=" in line)
        if "X" not in fields or "Y" not in fields:
            raise Failure("xdotool could not tell where the pointer is")
        return int(fields["X"]), int(fields["Y"])

    def move_pointer(self, x, y):
        self.x("xdotool", "mousemove", str(x), str(y))

    def capture(self):
        result = self.x("import", "-window", "root", "-depth", "8", "ppm:-", timeout=20)
        if result.returncode != 0:
            raise Failure("import could not capture the screen")
        return Picture(result.stdout)

    def read_text(self, picture, region, black=40):
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

    def save_picture(self, picture, name):
        path = self.output / name
        subprocess.run(["convert", "ppm:-", str(path)], input=picture.ppm, timeout=20,
                       check=True)
        return path

    def wait_screen(self, what, judge, timeout=15):
        """Waits until judge accepts a screenshot; returns that screenshot. On a timeout
        the last screenshot judged is saved beside the logs."""
        seen = []

        def probe():
            seen[:] = [self.capture()]
            return seen[0] if judge(seen[0]) else None

        try:
            picture = wait_for(what, probe, timeout, interval=0.3)
        except Failure:
            path = self.save_picture(seen[0], "judged.png")
            raise Failure(f"{what}: not seen (last screenshot {path})") from None
        log(f"ok: {what}")
        return picture

    # Steps that several scenarios share.

    def answer_question(self, key):
        """Waits for the start-up question, reads it and answers it with a key."""
        box = self.wait_window(QUESTION, timeout=60)
        text = self.box_text(QUESTION)
        check(text == QUESTION_TEXT, f"the start-up question reads {QUESTION_TEXT!r} ({text!r})")
        # The same reading of a box must tell one message from another.
        check(text != REFUSAL_TEXT, "the start-up question does not read as the refusal")
        self.press(box, key)
        return box

    def answer_refusal(self, key):
        box = self.wait_window(REFUSAL)
        text = self.box_text(REFUSAL)
        check(text == REFUSAL_TEXT, f"the refused mode is explained ({text!r})")
        self.press(box, key)

    def check_windowed_picture(self):
        """The window's client area: its size, where X shows it, and its colour."""
        window = self.wait_window(TITLE)
        width, height, left, top = wait_for(
            "the client area", lambda: self.client_area(), 10)
        check((width, height) == CLIENT_SIZE, f"the client area is 640 x 480 ({width} x {height})")
        region = (left, top, width, height)
        # Without a window manager Wine draws the window itself; the client area is the
        # titled X window or a child of it.
        geometries = [self.geometry(window)] + self.child_geometries(window)
        check(region in geometries,
              f"an X window of the program covers exactly the client area {region} ({geometries})")
        picture = self.wait_screen("the client area shows the title or the main phase",
                                   lambda p: shows_the_show(p, region))
        check(not shows(picture, OUTSIDE_WINDOW, CLEAR_COLOUR),
              f"the screen outside the window is not the clear colour "
              f"({picture.mean(OUTSIDE_WINDOW)})")
        return window, region

    def start_in_desktop(self, debug="-all"):
        """Starts the show inside a Wine virtual desktop of the screen's size, through
        explorer, which runs the helper, which runs the show and reports its exit code and
        the display mode it left; returns explorer's process and the desktop's X window
        once the start-up question shows."""
        self.desktop_result = self.output / "result.txt"
        explorer = self.start(
            ["explorer", f"/desktop={DESKTOP},{SCREEN_SIZE[0]}x{SCREEN_SIZE[1]}",
             windows_path(self.helper_exe), "run", windows_path(self.desktop_result),
             windows_path(self.program)], "wine.log", debug)
        desktop = self.wait_window(f"{DESKTOP} - Wine desktop", timeout=60)
        self.wait_window(QUESTION, timeout=60)
        return explorer, desktop

    def escape_desktop(self, window, explorer):
        """Escape in the show of start_in_desktop: exit code 27, and the desktop's mode
        1024 x 768 again."""
        self.hold(window, "Escape")
        self.wait_exit(explorer, "the virtual desktop after Escape")
        if not self.desktop_result.exists():
            raise Failure("the helper did not report the show's exit code")
        code, width, height, bits = (int(v) for v in self.desktop_result.read_text().split())
        log(f"explorer's own exit status: {explorer.returncode}")
        check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")
        check((width, height) == SCREEN_SIZE,
              f"the mode is 1024 x 768 again after the show ({width} x {height} x {bits})")

    def start_main_phase(self):
        """The show in its window, No to the question, some seconds into the main phase,
        when the water has risen into view; returns the show's process, its X window and
        its client area."""
        show = self.start_show()
        self.answer_question("n")
        window = self.wait_window(TITLE)
        width, height, left, top = wait_for("the client area", lambda: self.client_area(), 10)
        client = (left, top, width, height)
        self.wait_screen("the main phase", lambda p: shows_main_phase(p, client), timeout=30)
        time.sleep(MAIN_PHASE_SETTLE)
        return show, window, client

    def check_overlay(self, picture, client, when=""):
        """The main phase's overlay in a screenshot: the separator and the tinted panel,
        the bar with the banner's lettering, the address in the show's font."""
        check(shows_main_phase(picture, client), f"the separator and the panel show{when}")
        bar = picture.share(within(client, BAR_AREA), CLEAR_COLOUR)
        check(bar < 0.05, f"the bar covers the top left{when} ({bar:.0%} is the clear colour)")
        lettering = self.read_text(picture, within(client, BAR_AREA))
        check(lettering == "Dolven Quarn", f"the bar reads 'Dolven Quarn'{when} ({lettering!r})")
        caption = self.read_text(picture, within(client, CAPTION_AREA))
        check("dolvenquarn" in caption.lower(),
              f"the address is printed at the bottom left{when} ({caption!r})")

    def client_area(self):
        code, text = self.helper("client", TITLE)
        return tuple(int(v) for v in text.split()) if code == 0 else None

    # Sound.

    def give_sound_device(self):
        """From now on Wine's default sound device writes everything it plays to a WAV
        file; returns the file's path. Call before the first Wine program starts."""
        home = self.output / "home"
        home.mkdir(exist_ok=True)
        capture = self.output / "capture.wav"
        (home / ".asoundrc").write_text(
            "pcm.!default {\n"
            "    type file\n"
            "    slave.pcm \"null\"\n"
            f"    file \"{capture}\"\n"
            "    format \"wav\"\n"
            "}\n")
        self.env.update(HOME=str(home), WINEDLLOVERRIDES=ALSA_ONLY)
        return capture

    def render_reference(self, rate, seconds):
        """modrender's render of the show's module at the given rate."""
        if not self.modrender or not self.modrender.exists():
            raise Failure(f"modrender is needed to compare the sound ({self.modrender}); "
                          "build the host tree first")
        if not self.module or not self.module.exists():
            raise Failure(f"the show's module is needed to compare the sound ({self.module})")
        path = self.output / "reference.wav"
        result = subprocess.run([str(self.modrender), "--rate", str(rate), "--seconds",
                                 f"{seconds:.3f}", str(self.module), str(path)],
                                capture_output=True, timeout=120)
        if result.returncode != 0:
            raise Failure(f"modrender failed: {result.stderr.decode(errors='replace')}")
        return Sound.read(path)


class Sound:
    """Sound read from a WAV file, as floats between -1 and 1, channels interleaved."""

    def __init__(self, rate, channels, samples):
        self.rate, self.channels, self.samples = rate, channels, samples

    @staticmethod
    def read(path):
        """Reads PCM of 8 to 32 bits or 32-bit floats, whatever the file's header says.
        A data chunk whose length was never filled in runs to the end of the file."""
        data = Path(path).read_bytes()
        if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
            raise Failure(f"{path} is not a WAV file")
        offset, form, pcm = 12, None, None
        while offset + 8 <= len(data):
            name, size = data[offset:offset + 4], struct.unpack_from("<I", data, offset + 4)[0]
            body = offset + 8
            if name == b"fmt ":
                tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", data, body)
                if tag == 0xFFFE:   # WAVE_FORMAT_EXTENSIBLE: the real tag leads the sub-format
                    tag = struct.unpack_from("<H", data, body + 24)[0]
                form = (tag, channels, rate, bits)
            elif name == b"data":
                end = body + size if 0 < size <= len(data) - body else len(data)
                pcm = data[body:end]
                break
            offset = body + size + (size & 1)
        if not form or pcm is None:
            raise Failure(f"{path} has no format or no data")
        tag, channels, rate, bits = form
        log(f"{Path(path).name}: format tag {tag}, {channels} channels, {rate} Hz, {bits} bits")
        if tag == 1 and bits == 16:
            values = array.array("h")
            values.frombytes(pcm[:len(pcm) // 2 * 2])
            samples = [v / 32768.0 for v in values]
        elif tag == 1 and bits in (8, 24, 32):
            width = bits // 8
            if bits == 8:
                samples = [(b - 128) / 128.0 for b in pcm]
            else:
                scale = float(1 << (bits - 1))
                samples = [int.from_bytes(pcm[i:i + width], "little", signed=True) / scale
                           for i in range(0, len(pcm) - width + 1, width)]
        elif tag == 3 and bits == 32:
            values = array.array("f")
            values.frombytes(pcm[:len(pcm) // 4 * 4])
            samples = list(values)
        else:
            raise Failure(f"{path}: sample format tag {tag} with {bits} bits is not handled")
        samples = samples[:len(samples) // channels * channels]
        return Sound(rate, channels, samples)

    def frames(self):
        return len(self.samples) // self.channels

    def seconds(self):
        return self.frames() / self.rate

    def mono(self):
        c = self.channels
        if c == 1:
            return self.samples
        return [sum(self.samples[i:i + c]) / c for i in range(0, len(self.samples), c)]

    def first_sound(self, threshold=1e-4):
        """The first frame with any channel above the threshold, or None."""
        for i, value in enumerate(self.samples):
            if abs(value) > threshold:
                return i // self.channels
        return None

    def stereo_frames(self, start, count):
        """count frames from frame start as (left, right) lists, mono repeated."""
        c = self.channels
        part = self.samples[start * c:(start + count) * c]
        if c == 1:
            return part, part
        return part[0::c], part[1::c]


def rms(values):
    return math.sqrt(sum(map(operator.mul, values, values)) / len(values)) if values else 0.0


def envelope(mono, window):
    """RMS in consecutive windows."""
    return [rms(mono[i:i + window]) for i in range(0, len(mono) - window + 1, window)]


def correlation(a, b):
    """Pearson's correlation of two equally long sequences; 0 when either is flat."""
    n = min(len(a), len(b))
    if n == 0:
        return 0.0
    a, b = a[:n], b[:n]
    mean_a, mean_b = sum(a) / n, sum(b) / n
    da = [x - mean_a for x in a]
    db = [y - mean_b for y in b]
    norm = math.sqrt(sum(map(operator.mul, da, da)) * sum(map(operator.mul, db, db)))
    return sum(map(operator.mul, da, db)) / norm if norm else 0.0


def best_lag(captured, reference, lags):
    """The lag of captured against reference (captured[i + lag] ~ reference[i]) with the
    highest correlation, and that correlation."""
    best = (None, -2.0)
    for lag in lags:
        if lag >= 0:
            value = correlation(captured[lag:], reference)
        else:
            value = correlation(captured, reference[-lag:])
        if value > best[1]:
            best = (lag, value)
    return best


def inserted_silences(captured, reference, lag, tolerance):
    """Walks the captured sound along the reference from the lag on. Where the captured
    sound is digital silence while the reference plays, the device ran dry and inserted
    silence: the lag grows by its length. Returns those gaps as (frame, length) and the
    frame where the walk ended: the end, or the first difference that is no gap."""
    gaps = []
    k, n = lag, len(captured)
    while k < n and k - lag < len(reference):
        if abs(captured[k] - reference[k - lag]) <= tolerance:
            k += 1
            continue
        end = k
        while end < n and captured[end] == 0.0:
            end += 1
        if end == k:
            break
        gaps.append((k, end - k))
        lag += end - k
        k = end
    return gaps, k


def stretched(values, factor):
    """The sequence played factor times as fast, by nearest sample."""
    return [values[int(i * factor)] for i in range(int(len(values) / factor))]


class WineLog:
    """A Wine trace that a running program writes; it is read as it grows."""

    def __init__(self, path):
        self.path = path

    def size(self):
        return self.path.stat().st_size

    def lines(self, pid, start=0, end=None):
        """The trace lines of one process between two byte offsets."""
        with open(self.path, "rb") as trace:
            trace.seek(start)
            data = trace.read(None if end is None else end - start)
        prefix = f"{pid}:".encode()
        return [line.decode(errors="replace") for line in data.splitlines()
                if line.startswith(prefix)]

    def count_during(self, pid, marker, seconds):
        """How many trace lines of the process contain marker within the next seconds."""
        start = self.size()
        time.sleep(seconds)
        return sum(marker in line for line in self.lines(pid, start, self.size()))


# The scenarios.

def scenario_windowed(session):
    """No to the question: a 640 x 480 window in the clear colour, the pointer hidden and
    held at (320, 240), Escape ends with 27 after showing the pointer again."""
    show = session.start_show(debug="+pid,+cursor,warn+ntdll")

    # While the question waits, nothing holds or hides the pointer: the checks that the
    # show passes below fail here.
    session.wait_window(QUESTION, timeout=60)
    session.move_pointer(100, 100)
    time.sleep(0.5)
    check(session.pointer() == (100, 100), "before the show the pointer stays where it is put")
    showing, _, _ = session.helper_numbers("cursor")
    check(showing == 1, "before the show the pointer is visible")

    session.answer_question("n")
    window, region = session.check_windowed_picture()
    pid = session.process_id(TITLE)

    showing, x, y = session.helper_numbers("cursor")
    check(showing == 0, "the pointer is hidden during the show")
    check((x, y) == (320, 240), f"Win32 puts the pointer at (320, 240) ({x}, {y})")
    # Wine learns of pointer motion only over its own windows, so the pointer is moved
    # to points inside the window; the show puts it back on its next pass.
    for point in ((100, 100), (600, 400)):
        session.move_pointer(*point)
        wait_for(f"the pointer to come back from {point}",
                 lambda: session.pointer() == (320, 240), 5)
        log(f"ok: the pointer moved to {point} comes back to (320, 240)")

    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")

    # Wine traces every ShowCursor with the display counter it leaves: the pointer is
    # visible while the counter is not negative.
    counters = [int(found.group(2)) for found in
                (re.search(r"NtUserShowCursor (\d), count=(-?\d+)", line)
                 for line in WineLog(session.output / "wine.log").lines(pid)) if found]
    check(counters and counters[0] < 0, f"the show hid the pointer (counters {counters})")
    check(counters[-1] >= 0, f"the pointer was visible again before the exit (counters {counters})")

    # Wine warns of every SetThreadExecutionState with its flags: the show asks for the
    # display (2) continuously (0x80000000), and gives it back when it ends.
    states = [found.group(1) for found in
              (re.search(r"NtSetThreadExecutionState \((0x[0-9a-f]+)",
                         line) for line in WineLog(session.output / "wine.log").lines(pid))
              if found]
    check(states == ["0x80000002", "0x80000000"],
          f"the display is kept on while the show runs, and given back at its end ({states})")


def scenario_close(session):
    """No to the question, then a close request to the window: exit code 0."""
    show = session.start_show()
    session.answer_question("n")
    window, _ = session.check_windowed_picture()
    session.press(window, "alt+F4")
    code = session.wait_exit(show, "the show after Alt+F4")
    check(code == 0, f"closing the window ends the show with exit code 0 ({code})")


DESKTOP = "thousand-e2e"


def windows_path(path):
    """A host path as Wine's Z: drive shows it."""
    return "Z:" + str(path).replace("/", "\\")


def scenario_fullscreen(session):
    """Yes to the question inside a Wine virtual desktop: the display mode becomes
    640 x 480 x 32 and shows the clear colour; Escape restores 1024 x 768, exit code 27."""
    explorer, desktop = session.start_in_desktop()

    # Before the answer the mode is the desktop's own: the checks below fail here.
    check(session.geometry(desktop) != (0, 0, 640, 480),
          f"before the answer the desktop is not 640 x 480 ({session.geometry(desktop)})")
    mode = session.helper_numbers("mode", desktop=DESKTOP)
    check(mode == (1024, 768, 32), f"before the answer the mode is 1024 x 768 x 32 ({mode})")

    box = session.find_windows(QUESTION)[0]
    session.press(box, "y")
    wait_for("the desktop to become 640 x 480",
             lambda: session.geometry(desktop) == (0, 0, 640, 480), 15)
    log("ok: the desktop's X window is now 640 x 480")
    mode = session.helper_numbers("mode", desktop=DESKTOP)
    check(mode == (640, 480, 32), f"the display mode is 640 x 480 x 32 ({mode})")

    window = session.wait_window(TITLE)
    check(session.geometry(window) == (0, 0, 640, 480),
          f"the show's window covers the screen ({session.geometry(window)})")
    picture = session.wait_screen("the screen shows the title or the main phase",
                                  lambda p: shows_the_show(p, (0, 0) + CLIENT_SIZE))
    check(not shows(picture, OUTSIDE_WINDOW, CLEAR_COLOUR),
          "the X screen beyond the shrunken desktop is not the clear colour")

    session.escape_desktop(window, explorer)


def scenario_refused_yes(session):
    """Yes to the question on a display that refuses the mode, Yes to going on windowed:
    the normal window. F1 asks for fullscreen again, and the refusal and the closing
    message that follow No show the pointer that the show hides; the user's No ends the
    program with 0."""
    show = session.start_show()
    session.answer_question("y")
    session.answer_refusal("y")
    window, _ = session.check_windowed_picture()
    mode = session.helper_numbers("mode")
    check(mode[:2] == SCREEN_SIZE, f"the display mode is left as it was ({mode})")
    showing, _, _ = session.helper_numbers("cursor")
    check(showing == 0, "the pointer is hidden during the show")

    session.hold(window, "F1")
    session.wait_window(REFUSAL)
    showing, _, _ = session.helper_numbers("cursor")
    check(showing == 1, "the pointer shows over the refusal that F1 brings")
    session.answer_refusal("n")
    box = session.wait_window(CLOSING)
    check(session.box_text(CLOSING) == CLOSING_TEXT, f"the program says {CLOSING_TEXT!r}")
    showing, _, _ = session.helper_numbers("cursor")
    check(showing == 1, "the pointer shows over the closing message")
    session.press(box, "Return")
    code = session.wait_exit(show, "the program after the last message")
    check(code == 0, f"the user's No ends the program with exit code 0 ({code})")


def scenario_no_gl(session):
    """No to the question on a display without OpenGL: the window finds no pixel
    format, the program says so and ends with a failure's exit code, not 0."""
    show = session.start_show()
    session.answer_question("n")
    box = session.wait_window(CLOSING)
    text = session.box_text(CLOSING)
    check(text == "Can't Find A Suitable PixelFormat.", f"the failure is explained ({text!r})")
    session.press(box, "Return")
    code = session.wait_exit(show, "the program after the failure")
    check(code != 0, f"the failed start ends with a non-zero exit code ({code})")


def scenario_refused_no(session):
    """Yes to the question on a display that refuses the mode, No to going on windowed:
    the program says it will close, ends with 0, and never opens its window."""
    show = session.start_show(debug="+pid,+win")

    # Any window with the show's title, even an unmapped one, for as long as it runs.
    sightings = []
    stop = threading.Event()

    def watch():
        while not stop.is_set():
            sightings.extend(session.find_windows(TITLE, visible=False))
            stop.wait(0.1)

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        session.wait_window(QUESTION, timeout=60)
        pid = session.process_id(QUESTION)
        session.answer_question("y")
        session.answer_refusal("n")
        box = session.wait_window(CLOSING)
        text = session.box_text(CLOSING)
        check(text == CLOSING_TEXT, f"the program says {CLOSING_TEXT!r} ({text!r})")
        session.press(box, "Return")
        code = session.wait_exit(show, "the program after the last message")
    finally:
        stop.set()
        watcher.join()
    check(code == 0, f"the program ends with exit code 0 ({code})")
    check(not sightings, f"no window titled {TITLE!r} was seen on the X screen")

    # Wine traces every window it creates: the three message boxes, never the show's.
    created = [line for line in WineLog(session.output / "wine.log").lines(pid)
               if "WIN_CreateWindowEx" in line]
    boxes = [line for line in created if "#8002" in line]
    check(len(boxes) == 3, f"the trace shows the three message boxes created ({len(boxes)})")
    check(not [line for line in created if 'L"OpenGL"' in line],
          "the trace shows no window of the show's class created")


def scenario_minimise(session):
    """No to the question, then minimise: no frame is drawn while the window is
    minimised, and drawing resumes after it is restored."""
    show = session.start_show(debug="+pid,+wgl")
    session.answer_question("n")
    window, region = session.check_windowed_picture()
    pid = session.process_id(TITLE)
    trace = WineLog(session.output / "wine.log")
    swaps = "glxdrv_wglSwapBuffers"

    # Every frame ends with a buffer swap, which Wine's wgl channel traces.
    normal = trace.count_during(pid, swaps, 1.0)
    check(normal >= 5, f"frames are drawn while the window is shown ({normal} in 1 s)")

    code, _ = session.helper("minimize", TITLE)
    check(code == 0, "the window is told to minimise")
    wait_for("the window to be minimised", lambda: session.helper("iconic", TITLE)[1] == "1", 10)
    log("ok: the window is minimised")
    wait_for("the drawing to stop", lambda: trace.count_during(pid, swaps, 0.3) == 0, 10, interval=0)
    minimised = trace.count_during(pid, swaps, 1.5)
    check(minimised == 0, f"no frame is drawn while the window is minimised ({minimised} in 1.5 s)")

    code, _ = session.helper("restore", TITLE)
    check(code == 0, "the window is told to restore")
    wait_for("the window to be restored", lambda: session.helper("iconic", TITLE)[1] == "0", 10)
    wait_for("the drawing to resume", lambda: trace.count_during(pid, swaps, 0.3) > 0, 10, interval=0)
    resumed = trace.count_during(pid, swaps, 1.0)
    check(resumed >= 5, f"frames are drawn again after the restore ({resumed} in 1 s)")
    session.wait_screen("the restored client area shows the show",
                        lambda p: shows_the_show(p, region))

    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")


# How long the show plays into the capture, in seconds of the show's own time.
PLAY_SECONDS = 6
# Agreement of the captured waveform with the render: Wine hands 16-bit PCM at the
# program's own rate to ALSA untouched, so the two should be the same samples; where
# Wine resamples, the waveforms still agree closely but not exactly.
SAME_RATE_AGREEMENT = 0.99
RESAMPLED_AGREEMENT = 0.9


def scenario_sound(session):
    """With a sound device that writes to a file: the show plays its module as modrender
    renders it, from the first note, at the rendered level; Escape ends with 27."""
    capture = session.give_sound_device()
    show = session.start_show()
    session.answer_question("n")
    window, _ = session.check_windowed_picture()
    time.sleep(PLAY_SECONDS)
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")

    check(capture.exists(), "the sound device wrote what it played to a file")
    sound = Sound.read(capture)
    check(sound.seconds() >= 3, f"at least 3 s of sound were played ({sound.seconds():.2f} s)")
    check(sound.first_sound() is not None, "the captured sound is not silence")
    reference = session.render_reference(sound.rate, sound.seconds() + 5)
    compare_with_reference(sound, reference)


def compare_with_reference(sound, reference):
    """Aligns the captured sound with the render by the cross-correlation of their RMS
    envelopes, then to the frame, and checks waveform agreement and level."""
    rate = sound.rate
    window = rate // 100
    captured_mono, reference_mono = sound.mono(), reference.mono()
    captured_envelope = envelope(captured_mono, window)
    reference_envelope = envelope(reference_mono, window)
    # The music starts within a few seconds of the device's first sound.
    most = min(300, len(captured_envelope) // 3)
    compared = len(captured_envelope) - most
    lag, agreement = best_lag(captured_envelope, reference_envelope[:compared], range(0, most + 1))
    check(agreement > 0.9, f"the RMS envelopes agree at a lag of {lag * 10} ms ({agreement:.4f})")

    # To the frame, on the music's first notes: any gap further on must not move the start.
    start = reference.first_sound() or 0
    stretch = reference_mono[start:start + 4096]
    lags = range(max(0, (lag - 2) * window), (lag + 2) * window + 1)
    nearby = captured_mono[start:start + lags[-1] + len(stretch) + 1]
    frame_lag, fine = best_lag(nearby, stretch, lags)
    log(f"the captured sound starts {frame_lag} frames ({1000 * frame_lag / rate:.1f} ms) "
        f"after the render, frame correlation {fine:.5f}")
    check(frame_lag < rate, f"the music starts within a second of the sound ({frame_lag} frames)")

    if rate == 44100:
        # Wine's device here consumes faster than real time, and when the program's
        # buffers are not back in time it plays a period of silence: take such gaps out
        # (and count them) before comparing, so that the music after one still lines up.
        gaps, walked = inserted_silences(captured_mono, reference_mono, frame_lag, 2 / 32768)
        inserted = sum(length for _, length in gaps)
        log(f"the walk along the render got to {walked / rate:.2f} s of {sound.seconds():.2f} s; "
            f"gaps of inserted silence: {[(round(at / rate, 3), length) for at, length in gaps]}")
        check(inserted <= 0.02 * sound.frames(),
              f"the device inserted silence for at most 2 % of the time ({inserted} frames)")
        keep = bytearray(b"\x01") * sound.frames()
        for at, length in gaps:
            keep[at:at + length] = bytes(length)
        c = sound.channels
        sound = Sound(rate, c, [v for i, v in enumerate(sound.samples) if keep[i // c]])
        captured_mono = [v for i, v in enumerate(captured_mono) if keep[i]]

    frames = min(sound.frames() - frame_lag, reference.frames())
    check(frames >= 2 * rate, f"at least 2 s of music to compare ({frames / rate:.2f} s)")
    needed = SAME_RATE_AGREEMENT if rate == 44100 else RESAMPLED_AGREEMENT
    captured_left, captured_right = sound.stereo_frames(frame_lag, frames)
    reference_left, reference_right = reference.stereo_frames(0, frames)
    for name, got, want in (("left", captured_left, reference_left),
                            ("right", captured_right, reference_right)):
        value = correlation(got, want)
        check(value > needed, f"the {name} channel matches the render over {frames / rate:.2f} s "
                              f"({value:.5f}, needed {needed})")
        level = rms(got) / rms(want)
        check(0.9 < level < 1.1, f"the {name} channel has the render's level ({level:.3f})")
    same = sum(map(operator.eq, sound.samples[frame_lag * sound.channels:],
                   reference.samples[:frames * sound.channels]))
    log(f"{same / (frames * sound.channels):.2%} of the samples are identical to the render's")
    # The same measure must reject a render played 1 % too fast.
    fast = stretched(reference_mono, 1.01)
    wrong = correlation(captured_mono[frame_lag:frame_lag + frames], fast[:frames])
    check(wrong < 0.5, f"a render 1 % too fast does not match ({wrong:.5f})")


def scenario_silent(session):
    """No sound device: the program asks for one, finds none, and runs the show silently;
    no message appears, and Escape ends with 27."""
    show = session.start_show(debug="+pid,+winmm")
    session.answer_question("n")
    window, _ = session.check_windowed_picture()
    pid = session.process_id(TITLE)
    time.sleep(2)
    check(not session.find_windows(CLOSING), "no error message is shown")
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the silent show with exit code 27 ({code})")

    calls = [line for line in WineLog(session.output / "wine.log").lines(pid)
             if "trace:winmm:waveOut" in line]
    check(any("waveOutOpen" in line for line in calls), "the program asked for a sound device")
    started = [line for line in calls if re.search(r"waveOut(Restart|Write|Pause)", line)]
    check(not started, f"with no device nothing is ever played or paused ({started[:3]})")


def scenario_escape_title(session):
    """Escape at once, while the title shows: the output is paused before the show's
    window is destroyed, and the device is reset and closed only after that, as the
    program ends; exit code 27."""
    session.give_sound_device()
    show = session.start_show(debug="+pid,+winmm,+win")
    session.answer_question("n")
    window = session.wait_window(TITLE)
    shown = time.monotonic()
    code, text = session.helper("find", TITLE)
    check(code == 0, "the show's window is found from inside Wine")
    handle, pid = int(text.split()[0], 16), text.split()[1]
    session.hold(window, "Escape")
    log(f"Escape pressed {time.monotonic() - shown:.1f} s after the window appeared")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")

    lines = WineLog(session.output / "wine.log").lines(pid)

    def first(pattern, after=-1):
        for index in range(after + 1, len(lines)):
            if pattern in lines[index]:
                return index
        raise Failure(f"the trace has no {pattern!r} after line {after}")

    restart = first("trace:winmm:waveOutRestart")
    pause = first("trace:winmm:waveOutPause", restart)
    # The handle as Wine's trace writes it: (0x10064).
    destroy = first(f"NtUserDestroyWindow ({handle:#x})")
    reset = first("trace:winmm:waveOutReset")
    close = first("trace:winmm:waveOutClose")
    log(f"trace lines: restart {restart}, pause {pause}, window destroyed {destroy}, "
        f"reset {reset}, close {close}")
    check(restart < pause < destroy, "the output is paused before the show's window is destroyed")
    check(destroy < reset < close, "the device is reset and closed only after the window is gone")


# How long the title scenario watches the screen after its answer, in seconds: the
# window's opening and the set-up, then the title's 4.4 s and some of the main phase.
TITLE_WATCH_SECONDS = 8


def scenario_title(session):
    """No to the question: the site's name is revealed in its three stages, in order and
    at the show's pace, under the group's name, printed with the program's glyph grid and
    legible to OCR; nothing is printed between the texts; the main phase follows."""
    show = session.start_show()
    session.answer_question("n")
    # Screenshots as fast as they come from the answer on, judged afterwards: reading
    # them takes longer than the title lasts.
    started = time.monotonic()
    shots = []
    while time.monotonic() - started < TITLE_WATCH_SECONDS:
        before = time.monotonic()
        picture = session.capture()
        shots.append(((before + time.monotonic()) / 2 - started, picture))
    log(f"{len(shots)} screenshots in {TITLE_WATCH_SECONDS} s")
    width, height, left, top = wait_for("the client area", lambda: session.client_area(), 10)
    client = (left, top, width, height)

    # Each title screenshot's stage, told by how far right the name's bright letters
    # reach: the ghost copies underneath are too faint to count, and OCR alone misreads
    # a letter now and then where they cross the text.
    stages = []
    main_from = None
    for at, picture in shots:
        if shows_title(picture, client):
            # Only while the text is at full strength: as it fades its letters' edges
            # drop below the mark and it seems to shorten.
            area = within(client, SITE_NAME_TEXT)
            extent = picture.red_extent(area, 200)
            if picture.count(area, 250) >= 20:
                stage = min(range(3), key=lambda s: abs(SITE_NAME_EXTENTS[s] - extent))
                log(f"{at:5.2f} s: the site's name reaches {extent} px, stage {stage + 1}")
                stages.append((at, stage, picture))
        elif shows_main_phase(picture, client):
            main_from = at
            log(f"{at:5.2f} s: the main phase")
            break
    order = [stage for _, stage, _ in stages]
    check(order == sorted(order), f"the stages come in order ({order})")
    check(set(order) == {0, 1, 2}, f"all three stages are seen ({sorted(set(order))})")
    # Each stage reads as its text in at least one of its screenshots.
    # The last stage's screenshots are tried from the end: once the fade has taken the
    # ghosts away the text is clear, before it fades too far itself.
    for stage, text in enumerate(TITLE_STAGES):
        shown = [p for _, s, p in stages if s == stage]
        reads = []
        for picture in (reversed(shown) if stage == 2 else shown):
            reads.append(session.read_text(picture, within(client, SITE_NAME_AREA)))
            if reads_as(reads[-1], text) or len(reads) == 10:
                break
        check(reads_as(reads[-1], text), f"stage {stage + 1} reads {text!r} ({reads})")
    # The second stage begins at 1 s of the show's clock, the third at 2.5 s, the main
    # phase at 4.4 s; screenshots come a fraction of a second apart.
    first = {stage: next(at for at, s, _ in stages if s == stage) for stage in (1, 2)}
    check(abs(first[2] - first[1] - 1.5) < 0.5,
          f"the last stage follows the second after about 1.5 s "
          f"({first[2] - first[1]:.2f} s)")
    check(main_from is not None, "the main phase follows the title")
    check(abs(main_from - first[1] - 3.4) < 0.6,
          f"the main phase begins about 3.4 s after the second stage ({main_from - first[1]:.2f} s)")

    # The texts themselves, in a screenshot of the last stage.
    picture = next(p for _, stage, p in stages if stage == 2)
    session.save_picture(picture, "title.png")
    group = session.read_text(picture, within(client, GROUP_NAME_AREA))
    check(group == "Velmora", f"the group's name reads 'Velmora' ({group!r})")
    # OCR reads shapes into an empty area too, so that one is judged by its pixels.
    check(shows(picture, within(client, BLANK_AREA), CLEAR_COLOUR),
          f"nothing is printed between the texts ({picture.mean(within(client, BLANK_AREA))})")

    window = session.wait_window(TITLE)
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")


# How long into the main phase the water has risen into view and rings spread, and the
# time between the two screenshots that see the credits move, in seconds.
MAIN_PHASE_SETTLE = 8
CREDITS_INTERVAL = 2.0


def credits_shift(earlier, later, client, most):
    """How many pixels up the credits' white rows moved from one screenshot to the
    other: the shift that best lays the later row profile over the earlier one."""
    area = within(client, CREDITS_AREA)
    a = earlier.row_profile(area, 250)
    b = later.row_profile(area, 250)

    def mismatch(shift):
        pairs = [(a[y + shift], b[y]) for y in range(len(b) - most)]
        return sum(abs(p - q) for p, q in pairs) / max(1, sum(p + q for p, q in pairs))

    return min(range(most + 1), key=mismatch), sum(a)


def scenario_main_phase(session):
    """No to the question, then the main phase: the water and the sphere left of the
    black line, the tinted panel right of it with credits rising at 15 pixels per second,
    the bar with the banner's lettering and the address; Escape ends with 27."""
    show, window, client = session.start_main_phase()

    before = time.monotonic()
    earlier = session.capture()
    earlier_at = (before + time.monotonic()) / 2
    time.sleep(CREDITS_INTERVAL)
    before = time.monotonic()
    later = session.capture()
    later_at = (before + time.monotonic()) / 2
    session.save_picture(earlier, "main-phase.png")
    session.save_picture(later, "main-phase-later.png")

    picture = earlier
    check(shows_main_phase(picture, client), "the separator and the panel stay")
    water = picture.share(within(client, WATER_AREA), CLEAR_COLOUR)
    check(water < 0.5, f"the water covers the lower left ({water:.0%} is the clear colour)")
    scene = picture.count(within(client, SCENE_AREA), 235)
    check(scene > 150, f"the sphere's bright middle shows left of the line ({scene} pixels)")
    session.check_overlay(picture, client)

    # The credits follow the clock: about 15 pixels for every second between the shots.
    expected = CREDITS_SPEED * (later_at - earlier_at)
    shift, white = credits_shift(earlier, later, client, int(expected * 2))
    check(white > 120, f"credit lines show in the panel ({white} white pixels)")
    check(abs(shift - expected) <= 0.2 * expected + 3,
          f"the credits rose {shift} pixels in {later_at - earlier_at:.2f} s "
          f"(about {expected:.0f} expected)")

    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")


def scene_clear(picture, client):
    """The share of the scene's area left of the line that shows only the clear colour."""
    return picture.share(within(client, SCENE_AREA), CLEAR_COLOUR)


# The scene counts as out of sight when all of its area is the clear colour, and in
# sight again when a hundredth of it is not.
OUT_OF_SIGHT = 1.0
IN_SIGHT = 0.99
WELL_IN_SIGHT = 0.9


def scenario_keys(session):
    """No to the question, then in the main phase: the arrows and Page Up and Down move
    the eye, so that the scene left of the line changes from the next frames on while
    the panel, the bar and the address stay; B changes nothing that is seen; an arrow
    held while another window takes the focus stops, and behind that window the pointer
    is free; a lone Alt and F10 leave the show drawing; a tap of Escape shorter than a
    frame ends it with 27."""
    show, window, client = session.start_main_phase()
    picture = session.capture()
    clear = scene_clear(picture, client)
    check(clear < 0.5, f"from the set-up's eye the water fills the scene ({clear:.0%} clear)")

    def walk(key, what, judge):
        """Holds a key in the show until the scene is judged so; releases it."""
        session.key_down(window, key)
        try:
            picture = session.wait_screen(what, lambda p: judge(scene_clear(p, client)), timeout=20)
        finally:
            session.key_up(key)
        log(f"the scene is {scene_clear(picture, client):.1%} clear")
        return picture

    # Down walks the eye back, at the water's level, until everything is beyond the far
    # plane; Page Up brings it back along -z, Page Down takes it away again.
    picture = walk("Down", "walking back, the scene goes out of sight", lambda c: c >= OUT_OF_SIGHT)
    session.check_overlay(picture, client, " after walking")
    walk("Prior", "Page Up brings the scene back into sight", lambda c: c < IN_SIGHT)
    picture = walk("Next", "Page Down takes it out of sight again", lambda c: c >= OUT_OF_SIGHT)
    session.check_overlay(picture, client, " after the page keys")

    # B with the scene far out of sight (a second's more walk beyond the far plane,
    # where nothing of it is left even within the tolerance): the left part then holds
    # only still things (the frame colour, the bar, the address, the line) and stays the
    # same to the byte.
    session.hold(window, "Down", 1.0)
    still = within(client, (0, 0, 288, 480))
    before = session.capture()
    session.hold(window, "b")
    time.sleep(0.5)
    after = session.capture()
    changed = [(x // 3, y) for y, (a, b) in enumerate(zip(before.rows(still), after.rows(still)))
               for x in range(0, len(a), 3) if a[x:x + 3] != b[x:x + 3]]
    if changed:
        session.save_picture(before, "before-b.png")
        session.save_picture(after, "after-b.png")
    check(not changed, f"B changes no pixel of the show's still part ({len(changed)} changed, "
                       f"the first at {changed[:1]})")

    # Well back into sight. Down pressed and released in the show walks a little and
    # stops: the scene stays in sight.
    walk("Prior", "Page Up brings the scene well into sight", lambda c: c < WELL_IN_SIGHT)
    session.hold(window, "Down", 0.1)
    time.sleep(2.0)
    clear = scene_clear(session.capture(), client)
    check(clear < OUT_OF_SIGHT, f"after Down is released the eye stays put ({clear:.1%} clear)")

    # Down held while another window takes the focus: its release goes to that window,
    # and the show lets go of every key as it loses the focus, so the eye stops. Behind
    # the other window the show leaves the pointer where it is put, even over itself.
    other = session.start(["xmessage", "-geometry", "+700+600", "another window"], "xmessage.log",
                          native=True)
    try:
        other_window = session.wait_window("xmessage")
        session.key_down(window, "Down")
        time.sleep(0.1)
        session.focus(other_window)
        session.key_up("Down")
        log("Down released in the other window")
        time.sleep(2.0)
        clear = scene_clear(session.capture(), client)
        check(clear < OUT_OF_SIGHT, f"the eye stops when the show loses the focus ({clear:.1%} clear)")
        session.move_pointer(100, 100)
        time.sleep(1.0)
        check(session.pointer() == (100, 100),
              f"behind another window the pointer stays where it is put ({session.pointer()})")
    finally:
        other.terminate()
        other.wait(10)

    # Back in the show's window, a click gives it the focus again. On Windows a lone Alt
    # or F10 would put the window into its menu mode, which stops the drawing and takes
    # the next Escape for itself; the show refuses it (Wine's X11 driver ignores the
    # request on its own, so here this only shows that the show goes on). Then a tap of
    # Escape shorter than a frame still ends the show.
    session.focus(window)
    session.x("xdotool", "click", "1")
    session.hold(window, "alt")
    session.hold(window, "F10")
    panel = within(client, CREDITS_AREA)
    earlier = list(session.capture().rows(panel))
    time.sleep(0.5)
    check(list(session.capture().rows(panel)) != earlier,
          "after a lone Alt and F10 the show goes on drawing: the credits move")
    session.tap(window, "Escape")
    code = session.wait_exit(show, "the show after a tap of Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")


def scenario_mode_switch(session):
    """In a Wine virtual desktop, No to the question, then F1 in the main phase, held
    past the keyboard's repeat delay: one switch, and the display mode becomes 640 x 480
    x 32 with the show on the whole screen; F1 again gives
    back 1024 x 768 and the window at the origin. After each switch the show has its
    textures, its font and its panel as before. Escape ends with 27."""
    explorer, desktop = session.start_in_desktop(debug="+pid,+win")
    session.press(session.find_windows(QUESTION)[0], "n")
    def windows_made():
        """How many windows of the show's class Wine's trace has seen created."""
        lines = (session.output / "wine.log").read_bytes().splitlines()
        return sum(b'L"OpenGL"' in line and b"WIN_CreateWindowEx" in line for line in lines)

    def client_area():
        code, text = session.helper("client", TITLE, desktop=DESKTOP)
        return tuple(int(v) for v in text.split()) if code == 0 else None

    def main_phase_in(client, when):
        picture = session.wait_screen(f"the main phase{when}",
                                      lambda p: shows_main_phase(p, client), timeout=30)
        time.sleep(1.0)
        picture = session.capture()
        session.check_overlay(picture, client, when)
        return picture

    window = session.wait_window(TITLE)
    width, height, left, top = wait_for("the client area", client_area, 10)
    client = (left, top, width, height)
    check((width, height) == CLIENT_SIZE, f"the window's client area is 640 x 480 ({width} x {height})")
    session.save_picture(main_phase_in(client, " in the window"), "windowed.png")

    # Held for longer than the keyboard's repeat delay: one press, one switch.
    made = windows_made()
    session.hold(window, "F1", 1.5)
    wait_for("the desktop to become 640 x 480",
             lambda: session.geometry(desktop) == (0, 0, 640, 480), 15)
    mode = session.helper_numbers("mode", desktop=DESKTOP)
    check(mode == (640, 480, 32), f"F1 switches the display mode to 640 x 480 x 32 ({mode})")
    time.sleep(1.0)
    check(windows_made() == made + 1,
          f"F1 held for 1.5 s switches once ({windows_made() - made} windows made)")
    window = session.wait_window(TITLE)
    session.save_picture(main_phase_in((0, 0) + CLIENT_SIZE, " after the switch to fullscreen"),
                         "fullscreen.png")

    session.hold(window, "F1")
    wait_for("the desktop to become 1024 x 768 again",
             lambda: session.geometry(desktop) == (0, 0) + SCREEN_SIZE, 15)
    mode = session.helper_numbers("mode", desktop=DESKTOP)
    check(mode == SCREEN_SIZE + (32,), f"F1 again gives back the desktop's mode ({mode})")
    window = session.wait_window(TITLE)
    width, height, left, top = wait_for("the client area", client_area, 10)
    check((width, height) == CLIENT_SIZE, f"the window's client area is 640 x 480 again ({width} x {height})")
    session.save_picture(main_phase_in((left, top, width, height), " back in the window"),
                         "windowed-again.png")

    session.escape_desktop(window, explorer)


def scenario_bare(session):
    """The program built without its pictures and its music, with a sound device: the
    show goes on with what is left, the frame colour, the separator and the tinted panel,
    the untextured water, sphere and letters, plays only silence, and Escape ends with
    27."""
    capture = session.give_sound_device()
    show = session.start_show()
    session.answer_question("n")
    window = session.wait_window(TITLE)
    width, height, left, top = wait_for("the client area", lambda: session.client_area(), 10)
    client = (left, top, width, height)
    # The separator, above the caption's letters: without their glyphs they are whole
    # cells, and the last one reaches the line.
    def separator(picture):
        return any(shows(picture, within(client, (x, 50, 1, 380)), BLACK)
                   for x in SEPARATOR_COLUMNS)

    picture = session.wait_screen("the main phase's separator", separator, timeout=30)
    session.save_picture(picture, "bare.png")
    panel = picture.mean(within(client, PANEL_AREA))
    check(panel[2] > CLEAR_COLOUR[2] + 40, f"the panel is tinted ({panel})")
    bar = picture.share(within(client, BAR_AREA), CLEAR_COLOUR)
    check(bar < 0.05, f"the bar covers the top left ({bar:.0%} is the clear colour)")
    water = picture.share(within(client, WATER_AREA), CLEAR_COLOUR)
    check(water < 0.5, f"the untextured water covers the lower left ({water:.0%} is the clear colour)")
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")
    if capture.exists():
        sound = Sound.read(capture)
        check(sound.first_sound() is None, f"only silence was played ({sound.seconds():.1f} s)")
    else:
        log("ok: nothing was played")


SCENARIOS = {
    "windowed": scenario_windowed,
    "no-gl": scenario_no_gl,
    "close": scenario_close,
    "fullscreen": scenario_fullscreen,
    "refused-yes": scenario_refused_yes,
    "refused-no": scenario_refused_no,
    "minimise": scenario_minimise,
    "sound": scenario_sound,
    "silent": scenario_silent,
    "escape-title": scenario_escape_title,
    "title": scenario_title,
    "main-phase": scenario_main_phase,
    "keys": scenario_keys,
    "mode-switch": scenario_mode_switch,
    "bare": scenario_bare,
}


# The scenarios whose X server has no OpenGL.
WITHOUT_GL = {"no-gl"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("scenario", choices=SCENARIOS)
    parser.add_argument("--program", required=True, help="thousand.exe")
    parser.add_argument("--helper", required=True, help="winctl.exe")
    parser.add_argument("--output", required=True, help="folder for logs and screenshots")
    parser.add_argument("--prefix", required=True, help="the Wine prefix to use")
    parser.add_argument("--modrender", help="the host's modrender, for the sound's reference")
    parser.add_argument("--module", help="the module that the program carries")
    args = parser.parse_args()

    started = time.monotonic()
    try:
        with Session(args, args.scenario, with_gl=args.scenario not in WITHOUT_GL) as session:
            log(f"scenario {args.scenario}: {' '.join(SCENARIOS[args.scenario].__doc__.split())}")
            SCENARIOS[args.scenario](session)
    except Failure as failure:
        log(f"FAILED: {failure}")
        log(f"logs in {Path(args.output).resolve() / args.scenario}")
        return 1
    log(f"passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
