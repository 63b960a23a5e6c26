"""The scenarios of what the show shows: the title's stages, the main phase with its
rising credits, and the program built without its pictures and its music."""

import time

from checks import check, log, wait_for
from harness import ESCAPE_EXIT_CODE, TITLE
from pictures import (BAR_AREA, BLACK, BLANK_AREA, CLEAR_COLOUR, CREDITS_AREA, CREDITS_SPEED, GROUP_NAME_AREA,
                      PANEL_AREA, SCENE_AREA, SEPARATOR_COLUMNS, SITE_NAME_AREA, SITE_NAME_EXTENTS, SITE_NAME_TEXT,
                      TITLE_STAGES, WATER_AREA, read_text, reads_as, shows, shows_main_phase, shows_title, within)
from sound import Sound


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
            reads.append(read_text(picture, within(client, SITE_NAME_AREA)))
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
    group = read_text(picture, within(client, GROUP_NAME_AREA))
    check(group == "Velmora", f"the group's name reads 'Velmora' ({group!r})")
    # OCR reads shapes into an empty area too, so that one is judged by its pixels.
    check(shows(picture, within(client, BLANK_AREA), CLEAR_COLOUR),
          f"nothing is printed between the texts ({picture.mean(within(client, BLANK_AREA))})")

    window = session.wait_window(TITLE)
    session.hold(window, "Escape")
    code = session.wait_exit(show, "the show after Escape")
    check(code == ESCAPE_EXIT_CODE, f"Escape ends the show with exit code 27 ({code})")

# The time between the two screenshots that see the credits move, in seconds.
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
