#!/usr/bin/env python3
"""Compares modrender with openmpt123 on real modules of one format.

The modules are the music of a few games that Debian packages, as
tools/fetch-real-modules.sh unpacks them (make test fetches them into
build/real-modules). Both players render each module's first 40 seconds (--seconds),
or the whole song where it is shorter, at 44100 Hz, the peer with its linear
interpolation like ours; agreement.py measures timing and pitch. The format passes
when the median of each measure over its modules is at least 0.99, no module scores
below 0.9 on either, and each song shorter than that lasts as long in both players.

The measures are proven able to fail first, on the format's first module: the peer's
render played 1 % faster must fall below 0.9 on timing, a semitone higher below 0.9 on
pitch, and half a second shorter must not pass for as long, while the peer's render
through its 8-tap filter must stay at 0.9 or above on both measures.

Where a module misses 0.99, the table also names its worst 10-second stretch on each
measure: where in the song to look. The renders of modules below 0.9 stay in the work
folder for listening; it is emptied at the start of every run.
"""

import argparse
import pathlib
import shutil
import signal
import statistics
import subprocess
import sys

# The WAV reader that the end-to-end tests share.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "common"))

import agreement
from compare_with_peer import LENGTH_TOLERANCE_SECONDS, render_peer, transform

MEDIAN_TARGET = 0.99
FLOOR = 0.9
RATE = 44100
STRETCH_SECONDS = 10.0


def render_ours(modrender, module, output, seconds):
    """modrender's render of `seconds` seconds (None: of one pass through the song), or why it failed."""
    length = ["--loops", "1"] if seconds is None else ["--seconds", f"{seconds:.3f}"]
    result = subprocess.run([str(modrender), "--rate", str(RATE), *length, str(module), str(output)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode == 0:
        return None
    if result.returncode < 0:
        return f"modrender died of {signal.Signals(-result.returncode).name}"
    said = result.stderr.strip().splitlines()
    return f"modrender failed ({result.returncode}){': ' + said[-1] if said else ''}"


def measure(reference, samples):
    """Timing, its lag in seconds, and pitch, over the length that both renders have."""
    length = min(len(reference), len(samples))
    reference, samples = reference[:length], samples[:length]
    timing, lag = agreement.timing_agreement(reference, samples, RATE)
    return timing, lag, agreement.pitch_agreement(reference, samples, RATE)


def length_agrees(samples, reference):
    return abs(len(samples) - len(reference)) / RATE <= LENGTH_TOLERANCE_SECONDS


def worst_stretches(reference, samples):
    """The lowest timing and pitch over stretches of 10 s, each with its start in seconds. The
    last stretch ends where the renders end, overlapping the one before it."""
    step = int(STRETCH_SECONDS * RATE)
    length = min(len(reference), len(samples))
    starts = list(range(0, max(length - step, 0) + 1, step))
    if starts[-1] + step < length:
        starts.append(length - step)
    timings, pitches = [], []
    for start in starts:
        a, b = reference[start : start + step], samples[start : start + step]
        timings.append((agreement.timing_agreement(a, b, RATE)[0], start / RATE))
        pitches.append((agreement.pitch_agreement(a, b, RATE), start / RATE))
    return min(timings), min(pitches)


def calibrate(module, reference_path, reference, work, seconds):
    """Proves on the peer alone that each measure passes a faithful render and fails a wrong one."""
    failures = []
    print(f"calibration on {module.name}, the peer alone:")
    cases = (("8-tap filter", lambda path: render_peer(module, path, RATE, ["--filter", "8", "--end-time", seconds]),
              True, True),
             ("1 % faster", lambda path: transform(reference_path, path, "speed", "1.01"), False, None),
             ("a semitone higher", lambda path: transform(reference_path, path, "pitch", "100"), None, False))
    for number, (label, make, timing_passes, pitch_passes) in enumerate(cases):
        path = work / f"calibration-{number}.wav"
        make(path)
        timing, lag, pitch = measure(reference, agreement.read_wav(path)[0])
        path.unlink()
        wrong = []
        for name, value, passes in (("timing", timing, timing_passes), ("pitch", pitch, pitch_passes)):
            if passes is not None and (value >= FLOOR) != passes:
                wrong.append(name)
                failures.append(f"calibration, peer with {label}: {name} {value:.4f} should "
                                f"{'pass' if passes else 'fail'} (floor {FLOOR})")
        print(f"  {label:18s} timing {timing:7.4f} (lag {lag * 1000:+4.0f} ms)  pitch {pitch:7.4f}  "
              f"{'WRONG: ' + ', '.join(wrong) if wrong else 'as expected'}")
    short = reference[: len(reference) - RATE // 2]
    agrees = length_agrees(short, reference)
    print(f"  {'0.5 s shorter':18s} length {len(short) / RATE:.3f} s, the peer's {len(reference) / RATE:.3f} s  "
          f"{'WRONG: passes' if agrees else 'as expected'}")
    if agrees:
        failures.append(f"calibration, peer 0.5 s shorter: passes for as long (tolerance {LENGTH_TOLERANCE_SECONDS} s)")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--modrender", required=True, type=lambda p: pathlib.Path(p).resolve())
    parser.add_argument("--modules", required=True, type=pathlib.Path,
                        help="the folder that tools/fetch-real-modules.sh filled")
    parser.add_argument("--format", required=True, choices=("s3m", "xm", "it"))
    parser.add_argument("--work", required=True, type=pathlib.Path, help="folder for the renders")
    parser.add_argument("--seconds", type=int, default=40, help="how much of each song to compare (default 40)")
    args = parser.parse_args()
    if args.seconds <= 0:
        parser.error("--seconds needs a whole number of seconds above 0")

    modules = sorted(path for path in args.modules.rglob("*")
                     if path.is_file() and path.suffix.lower() == "." + args.format)
    if not modules:
        print(f"no .{args.format} modules under {args.modules}: fetch them with "
              f"tools/fetch-real-modules.sh {args.modules} (make test does)", file=sys.stderr)
        return 1
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)

    labels = [f"{module.relative_to(args.modules).parts[0]}/{module.name}" for module in modules]
    width = max(len(label) for label in labels + ["module"])
    failures = []
    rows = []
    print(f"{len(modules)} .{args.format} modules, the first {args.seconds} s of each, against openmpt123:")
    for index, (module, label) in enumerate(zip(modules, labels)):
        # Two packages may hold modules of the same name.
        peer_path = args.work / f"{index:02d}-{module.stem}.peer.wav"
        ours_path = args.work / f"{index:02d}-{module.stem}.modrender.wav"
        render_peer(module, peer_path, RATE, ["--filter", "2", "--end-time", args.seconds])
        reference, rate = agreement.read_wav(peer_path)
        if rate != RATE:
            raise RuntimeError(f"openmpt123 rendered {module} at {rate} Hz instead of {RATE} Hz")
        # The peer answers a file that it cannot play with an empty render, not an error.
        if len(reference) < RATE:
            raise RuntimeError(f"openmpt123 rendered less than a second of {module}: not a module it can play")
        seconds = len(reference) / RATE
        if index == 0:
            failures += calibrate(module, peer_path, reference, args.work, args.seconds)
            print(f"{'module':{width}s} {'seconds':>7s} {'timing':>7s} {'lag':>7s} {'pitch':>7s}")

        # A peer's render shorter than asked for is the whole song: ours then plays one pass
        # too, rather than going round into the song's start where the peer's fades out.
        whole_song = seconds < args.seconds
        problem = render_ours(args.modrender, module, ours_path, None if whole_song else seconds)
        if problem:
            timing, lag, pitch, note = 0.0, 0.0, 0.0, problem
        else:
            ours, rate = agreement.read_wav(ours_path)
            if rate != RATE:
                raise RuntimeError(f"modrender rendered {module} at {rate} Hz instead of {RATE} Hz")
            timing, lag, pitch = measure(reference, ours)
            note = ""
            if whole_song and not length_agrees(ours, reference):
                failures.append(f"{label}: the song lasts {len(ours) / RATE:.3f} s, the peer's "
                                f"{seconds:.3f} s (tolerance {LENGTH_TOLERANCE_SECONDS} s)")
                note = f"LENGTH {len(ours) / RATE:.2f} s  "
            if min(timing, pitch) < MEDIAN_TARGET:
                (worst_timing, timing_at), (worst_pitch, pitch_at) = worst_stretches(reference, ours)
                note += (f"worst 10 s: timing {worst_timing:.3f} from {timing_at:.0f} s, "
                        f"pitch {worst_pitch:.3f} from {pitch_at:.0f} s")
        below = min(timing, pitch) < FLOOR
        if below:
            failures.append(f"{label}: timing {timing:.4f}, pitch {pitch:.4f}, below the floor {FLOOR}"
                            + (f" ({problem})" if problem else f"; renders kept in {args.work}"))
        else:
            peer_path.unlink()
            ours_path.unlink(missing_ok=True)
        rows.append((timing, pitch))
        print(f"{label:{width}s} {seconds:7.2f} {timing:7.4f} {lag * 1000:+5.0f}ms {pitch:7.4f}"
              f"{'  BELOW ' + str(FLOOR) if below else ''}{'  ' + note if note else ''}", flush=True)

    medians = [statistics.median(row[i] for row in rows) for i in range(2)]
    print(f"{'median':{width}s} {'':7s} {medians[0]:7.4f} {'':7s} {medians[1]:7.4f}")
    for name, median in zip(("timing", "pitch"), medians):
        if median < MEDIAN_TARGET:
            failures.append(f"median {name} {median:.4f} is below {MEDIAN_TARGET}")
    for failure in failures:
        print(f"FAIL {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
