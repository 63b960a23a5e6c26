"""The scenarios of the sound: the show's music as the device plays it, the silent show
without a device, and the device's order of calls when Escape comes during the title."""

import re
import time

from checks import Failure, check, log
from harness import CLOSING, ESCAPE_EXIT_CODE, TITLE, WineLog
from sound import Sound, compare_with_reference


# How long the show plays into the capture, in seconds of the show's own time.
PLAY_SECONDS = 6
# Wine's device takes the sound faster than real time: 4 s of the show capture about 15 s,
# the XM's whole song of 12.8 s and its return to the turnaround.
XM_PLAY_SECONDS = 4


def play_and_compare(session, seconds):
    """With a sound device that writes to a file: the show in its window, ended by Escape
    with 27 after some seconds, has played its module as modrender renders it."""
    capture = session.give_sound_device()
    show = session.start_show()
    session.answer_question("n")
    window, _ = session.check_windowed_picture()
    time.sleep(seconds)
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")

    check(capture.exists(), "the sound device wrote what it played to a file")
    sound = Sound.read(capture)
    check(sound.seconds() >= 3, f"at least 3 s of sound were played ({sound.seconds():.2f} s)")
    check(sound.first_sound() is not None, "the captured sound is not silence")
    reference = session.render_reference(sound.rate, sound.seconds() + 5)
    compare_with_reference(sound, reference)


def scenario_sound(session):
    """With a sound device that writes to a file: the show plays its module as modrender
    renders it, from the first note, at the rendered level; Escape ends with 27."""
    play_and_compare(session, PLAY_SECONDS)


def scenario_sound_xm(session):
    """The program built with a FastTracker 2 module in place of its soundtrack
    (thousand_xm, from tests/e2e/xm.rc): with a sound device that writes to a file, it
    plays the XM as modrender renders it, envelopes, key-offs, fades and 16-bit samples
    included; Escape ends with 27."""
    module = session.module.read_bytes() if session.module and session.module.exists() else b""
    check(module.startswith(b"Extended Module: ") and module in session.program.read_bytes(),
          f"the program carries the XM that its sound is compared with ({session.module})")
    play_and_compare(session, XM_PLAY_SECONDS)


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
