#!/usr/bin/env python3
"""End-to-end scenarios: the real program under Wine on a private Xvfb display.

Each scenario starts its own X server, runs thousand.exe in the e2e Wine prefix, drives
it from outside with xdotool (keys, pointer), looks at it with screenshots, xwininfo and
the Win32 helper winctl.exe, and reads the exit code of its Wine process. Only the
processes started here are ended, by their ids.

    e2e.py SCENARIO --program thousand.exe --helper winctl.exe --output DIR --prefix DIR
           [--modrender modrender --module thousand.mod]
    e2e.py --list

The scenarios live in scenarios_*.py, by what they look at; harness.py has the session
(the X server, Wine, xdotool, winctl), pictures.py the screenshots and where the show's
parts are, sound.py the captured sound and its comparison, checks.py the reporting.

Wine gets no sound device unless a scenario asks for one: then an ALSA configuration in
a home of the scenario's own sends the default device to a WAV file, which the scenario
compares with modrender's render of the same module.
"""

import argparse
import sys
import time
from pathlib import Path

# The WAV reader that the sound tests share.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "common"))

import scenarios_keys
import scenarios_show
import scenarios_sound
import scenarios_startup
from checks import Failure, log
from harness import Session

# Every scenario, in the order that CTest runs them (tests.cmake reads this table
# through --list).
SCENARIOS = {
    "windowed": scenarios_startup.scenario_windowed,
    "close": scenarios_startup.scenario_close,
    "fullscreen": scenarios_startup.scenario_fullscreen,
    "refused-yes": scenarios_startup.scenario_refused_yes,
    "refused-no": scenarios_startup.scenario_refused_no,
    "no-gl": scenarios_startup.scenario_no_gl,
    "minimise": scenarios_startup.scenario_minimise,
    "sound": scenarios_sound.scenario_sound,
    "sound-xm": scenarios_sound.scenario_sound_xm,
    "silent": scenarios_sound.scenario_silent,
    "escape-title": scenarios_sound.scenario_escape_title,
    "title": scenarios_show.scenario_title,
    "main-phase": scenarios_show.scenario_main_phase,
    "keys": scenarios_keys.scenario_keys,
    "mode-switch": scenarios_keys.scenario_mode_switch,
    "bare": scenarios_show.scenario_bare,
}


# The scenarios whose X server has no OpenGL.
WITHOUT_GL = {"no-gl"}

# The build target whose program each scenario runs as --program: the show, except
# where a scenario needs another build of it.
PROGRAMS = {"bare": "thousand_bare", "sound-xm": "thousand_xm"}
DEFAULT_PROGRAM = "thousand"


class ListScenarios(argparse.Action):
    """--list: one line a scenario, its name and the build target of its program."""

    def __init__(self, option_strings, dest, **kwargs):
        super().__init__(option_strings, dest, nargs=0, default=argparse.SUPPRESS, **kwargs)

    def __call__(self, parser, namespace, values, option_string=None):
        for scenario in SCENARIOS:
            print(scenario, PROGRAMS.get(scenario, DEFAULT_PROGRAM))
        parser.exit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action=ListScenarios,
                        help="print each scenario with the build target of its program, and exit")
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
