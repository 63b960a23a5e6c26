"""The scenarios' harness: one private Xvfb display and the Wine programs of a scenario,
driven from outside with xdotool, looked at with screenshots, xwininfo and the Win32
helper winctl.exe, and the Wine traces that the programs write. Only the processes
started here are ended, by their ids.

Wine gets no sound device unless a scenario asks for one: then an ALSA configuration in
a home of the scenario's own sends the default device to a WAV file.
"""

import os
import re
import shutil
import subprocess
import threading
import time
from pathlib import Path

from checks import Failure, check, log, wait_for
from pictures import (BAR_AREA, CAPTION_AREA, CLEAR_COLOUR, OUTSIDE_WINDOW, Picture, read_text, shows,
                      shows_main_phase, shows_the_show, within)
from sound import Sound


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

# The exit code after Escape: the character message of the Escape key itself.
ESCAPE_EXIT_CODE = 27

# Wine's audio drivers: all of them off for the silent show; ALSA alone when a scenario
# captures the sound, so that a sound server on the machine cannot take it.
NO_SOUND_DRIVERS = "mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv="
ALSA_ONLY = "mscoree,mshtml,winepulse.drv,wineoss.drv="

ROOT = Path(__file__).resolve().parents[2]
WINE = ROOT / "tools" / "wine.sh"

DESKTOP = "thousand-e2e"

# How long into the main phase the water has risen into view and rings spread, in seconds.
MAIN_PHASE_SETTLE = 8


def windows_path(path):
    """A host path as Wine's Z: drive shows it."""
    return "Z:" + str(path).replace("/", "\\")


def ere_escape(text):
    """Escapes text for the extended regular expressions of xdotool search."""
    return re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", text)


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
        lettering = read_text(picture, within(client, BAR_AREA))
        check(lettering == "Dolven Quarn", f"the bar reads 'Dolven Quarn'{when} ({lettering!r})")
        caption = read_text(picture, within(client, CAPTION_AREA))
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
