#!/usr/bin/env python3
"""modrender's command line: what it refuses and why, and the files it writes.

Runs modrender on the comparison's test modules (written by make_test_modules) and on
files made here, and checks exit codes, messages, WAV headers and lengths.
"""

import argparse
import pathlib
import resource
import shutil
import signal
import subprocess
import sys
import wave

# How far a pass may overrun: modrender ends it on the frame.
OVERRUN_FRAMES = 1


class Checks:
    def __init__(self):
        self.failures = 0

    def expect(self, condition, label, detail=""):
        print(f"{'ok  ' if condition else 'FAIL'} {label}{': ' + detail if detail and not condition else ''}")
        if not condition:
            self.failures += 1


def run(modrender, *args):
    return subprocess.run([str(modrender), *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def read(path):
    with wave.open(str(path), "rb") as f:
        return f.getnchannels(), f.getsampwidth(), f.getframerate(), f.readframes(f.getnframes())


def frames_of(path):
    channels, width, _, data = read(path)
    return len(data) // (channels * width)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--modrender", required=True, type=lambda p: pathlib.Path(p).resolve())
    parser.add_argument("--make-modules", required=True, type=lambda p: pathlib.Path(p).resolve())
    parser.add_argument("--work", required=True, type=pathlib.Path)
    args = parser.parse_args()
    work = args.work
    work.mkdir(parents=True, exist_ok=True)
    subprocess.run([str(args.make_modules), str(work)], check=True, stdout=subprocess.DEVNULL)
    melody = work / "melody.mod"
    flow = work / "flow.mod"
    text = work / "not_a_module.mod"
    text.write_text("This is a text file, long enough to be read as a header. " * 40)
    cut = work / "cut.mod"
    cut.write_bytes(melody.read_bytes()[:2000])
    out = work / "out.wav"
    checks = Checks()

    # Refusals: (arguments, exit code, text that the message must hold).
    refusals = [
        ([], 2, "usage:"),
        ([melody], 2, "expected an input module and an output WAV file"),
        ([melody, out, "extra"], 2, "expected an input module"),
        (["--rate", "5", melody, out], 2, "--rate needs"),
        (["--rate", "44100x", melody, out], 2, "--rate needs"),
        (["--rate"], 2, "--rate needs"),
        (["--seconds", "0", melody, out], 2, "--seconds needs"),
        (["--seconds", "-1", melody, out], 2, "--seconds needs"),
        (["--seconds", "nan", melody, out], 2, "--seconds needs"),
        (["--loops", "0", melody, out], 2, "--loops needs"),
        (["--seconds", "1", "--loops", "2", melody, out], 2, "not both"),
        (["--bogus", melody, out], 2, "unknown option --bogus"),
        ([work / "missing.mod", out], 1, "cannot read"),
        ([text, out], 1, "not a module in a known format"),
        ([cut, out], 1, "the file ends inside its patterns"),
        ([melody, work / "no" / "such" / "folder.wav"], 1, "cannot write"),
        ([melody, "/dev/full"], 1, "cannot write"),
    ]
    for arguments, code, message in refusals:
        result = run(args.modrender, *arguments)
        label = "modrender " + " ".join(str(a).replace(str(work) + "/", "") for a in arguments)
        checks.expect(result.returncode == code and message in result.stderr, f"{label} -> exit {code}, '{message}'",
                      f"exit {result.returncode}, stderr {result.stderr!r}")

    # A write that fails part of the way (a file size limit, its signal ignored so that
    # the write reports it) leaves nothing under the output's name, nor beside it.
    def small_files():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, 100_000))

    failing = work / "failing"
    shutil.rmtree(failing, ignore_errors=True)
    failing.mkdir()
    result = subprocess.run([str(args.modrender), str(melody), str(failing / "cut.wav")], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, preexec_fn=small_files)
    checks.expect(result.returncode == 1 and "cannot write" in result.stderr and not any(failing.iterdir()),
                  "a write that fails part of the way leaves no file",
                  f"exit {result.returncode}, {sorted(p.name for p in failing.iterdir())}")

    help_result = run(args.modrender, "--help")
    checks.expect(help_result.returncode == 0 and help_result.stdout.startswith("usage:"), "--help prints the usage")

    # One pass of a song of known length: (module, rate, seconds of one pass).
    for module, rate, seconds in ((melody, 44100, 23.04), (flow, 44100, 24.12), (melody, 22050, 23.04)):
        result = run(args.modrender, "--rate", rate, module, out)
        channels, width, wav_rate, _ = read(out)
        frames = frames_of(out)
        expected = round(seconds * rate)
        checks.expect(result.returncode == 0 and (channels, width, wav_rate) == (2, 2, rate),
                      f"{module.name} at {rate} Hz is 16-bit stereo at {rate} Hz", f"{channels}, {width}, {wav_rate}")
        checks.expect(expected <= frames < expected + OVERRUN_FRAMES, f"{module.name} at {rate} Hz lasts one pass",
                      f"{frames} frames, expected {expected}")
    # The length check itself must be able to fail: two passes are not one.
    run(args.modrender, "--loops", "2", melody, out)
    two = frames_of(out)
    one = round(23.04 * 44100)
    checks.expect(not (one <= two < one + OVERRUN_FRAMES), "two passes fail the one-pass length check")
    checks.expect(2 * one <= two < 2 * one + 2 * OVERRUN_FRAMES, "--loops 2 lasts two passes", f"{two} frames")

    # The second pass plays on from the song's loop: the first pass is the one-pass render.
    single = work / "single.wav"
    double = work / "double.wav"
    run(args.modrender, melody, single)
    run(args.modrender, "--loops", "2", melody, double)
    first = read(single)[3]
    checks.expect(read(double)[3][: len(first)] == first, "--loops 2 begins with the one-pass render")

    # A render is the same every time; the switches reach the player.
    again = work / "again.wav"
    run(args.modrender, melody, again)
    checks.expect(read(again)[3] == first, "two renders are identical")
    for switch in ("--no-ramp", "--no-interpolation"):
        variant = work / f"variant{switch}.wav"
        run(args.modrender, switch, melody, variant)
        data = read(variant)[3]
        checks.expect(len(data) == len(first) and data != first, f"{switch} changes the sound, not the length")

    # A fixed length in seconds, looping the song as needed.
    for seconds, rate in (("1.5", 22050), ("30", 44100), ("0.01", 8000)):
        result = run(args.modrender, "--seconds", seconds, "--rate", rate, melody, out)
        expected = round(float(seconds) * rate)
        checks.expect(result.returncode == 0 and frames_of(out) == expected,
                      f"--seconds {seconds} at {rate} Hz gives {expected} frames", f"{frames_of(out)} frames")

    # The RIFF sizes agree with the file.
    data = out.read_bytes()
    checks.expect(int.from_bytes(data[4:8], "little") == len(data) - 8 and
                  int.from_bytes(data[40:44], "little") == len(data) - 44, "the header's sizes match the file")

    print(f"{checks.failures} failures")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
