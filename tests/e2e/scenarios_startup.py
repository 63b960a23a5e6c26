"""The scenarios of the start-up and the window: the question answered either way, the
refused mode, a display without OpenGL, closing, minimising, the pointer and the
display's keep-alive."""

import re
import threading
import time

from checks import check, log, wait_for
from harness import (CLIENT_SIZE, CLOSING, CLOSING_TEXT, DESKTOP, ESCAPE_EXIT_CODE, QUESTION, REFUSAL, SCREEN_SIZE,
                     TITLE, WineLog)
from pictures import CLEAR_COLOUR, OUTSIDE_WINDOW, shows, shows_the_show


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
