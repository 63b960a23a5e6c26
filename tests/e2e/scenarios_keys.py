"""The scenarios of the keys: moving the eye, B, the focus's loss, a short Escape, and
F1's switch of the display mode in a Wine virtual desktop."""

import time

from checks import check, log, wait_for
from harness import CLIENT_SIZE, DESKTOP, ESCAPE_EXIT_CODE, QUESTION, SCREEN_SIZE, TITLE
from pictures import CLEAR_COLOUR, SCENE_AREA, shows_main_phase, within


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
    is free; a tap of Escape shorter than a frame ends it with 27."""
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

    # Back in the show's window, a click gives it the focus again; a tap of Escape
    # shorter than a frame still ends the show.
    session.focus(window)
    session.x("xdotool", "click", "1")
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
