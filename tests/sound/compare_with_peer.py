#!/usr/bin/env python3
"""Compares modrender's render of a test module with openmpt123's.

The measures (agreement.py) are proven on the peer alone first, on every run: the
peer's renders with another interpolation filter or ramping must pass both, the
reference played 1 % faster must fail the timing measure, and played a semitone
higher must fail the pitch measure. Only then does our render have to pass both, and
have the peer's length.

Both measures are also taken over stretches of 2.5 s, half of one overlapping the
next, and the worst stretch must pass too: a fault in one group of a module's effects
changes a stretch of the song, which the measure of the whole song may average away.
These are proven on the peer as well: its render with the strongest ramping (the
lowest-scoring of its faithful renders) must pass them, the reference with one stretch
moved 130 ms late must fail the stretches' timing, with one stretch a semitone higher
their pitch.

The peer renders with its linear interpolation (like ours) and its default ramping;
all comparisons use a mono downmix, so stereo separation plays no part. The peer plays
each format by the rules of the tracker that it takes the file to come from, so that
tracker must be the one we play it as (--info shows it): FastTracker 2 for XM, Scream
Tracker 3.20 for S3M, Impulse Tracker for IT (not ModPlug Tracker, whose rules differ).
"""

import argparse
import pathlib
import subprocess
import sys

# The WAV reader that the end-to-end tests share.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "common"))

import agreement
import numpy as np

# From the calibration: the peer's own renders with other settings, or detuned by a few
# cents, score at least 0.957 on timing, and with other settings at least 0.982 on pitch;
# 1 % faster scores at most 0.28 on timing (0.46 on the shorter modules of the other
# formats), a semitone higher at most 0.22 on pitch.
TIMING_THRESHOLD = 0.93
PITCH_THRESHOLD = 0.95
# The worst stretch: from the calibration, the peer's renders with the 8-tap filter or the
# strongest ramping score at least 0.942 on timing and 0.977 on pitch (with nearest
# neighbours and no ramping, 0.911 and 0.924); a stretch 130 ms late scores at most 0.56 on
# timing, a semitone higher at most 0.11 on pitch. Ours scored at least 0.945 and 0.965 on
# the ProTracker modules.
STRETCH_SECONDS = 2.5
STRETCH_TIMING_THRESHOLD = 0.93
STRETCH_PITCH_THRESHOLD = 0.95
# The peer renders a short tail past the song's end (about 0.1 s).
LENGTH_TOLERANCE_SECONDS = 0.25
# How the peer's --info must name the tracker of each format's files: the start of its
# "Tracker" line.
TRACKERS = {
    ".mod": "Generic",
    ".s3m": "Scream Tracker 3.20",
    ".xm": "FastTracker 2",
    ".it": "Impulse Tracker",
}


def run(command):
    result = subprocess.run([str(part) for part in command], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))} failed ({result.returncode}):\n{result.stderr}")
    return result.stdout


def render_peer(module, output, rate, options):
    # Only the song from the first order: by default the peer goes on to play the orders
    # that a position jump skipped, as a song of their own.
    run(["openmpt123", "--quiet", "--batch", "--force", "--no-float", "--subsong", "0", "--samplerate", rate, *options,
         "--output", output, module])


def peer_tracker(module):
    """The tracker that the peer takes the module to come from."""
    for line in run(["openmpt123", "--info", module]).splitlines():
        if line.startswith("Tracker"):
            return line.split(":", 1)[1].strip()
    return None


def transform(source, output, *effect):
    run(["sox", "-V1", source, output, *effect])


class Comparison:
    def __init__(self, reference, rate):
        self.reference = reference
        self.rate = rate
        self.failures = []

    def check(self, label, samples, timing=True, pitch=True, stretch_timing=True, stretch_pitch=True):
        """Measures a render against the reference: the whole song, then its worst stretch.
        Each argument says whether that measure must pass; None means either outcome is fine,
        and a measure that may go either way is not taken, except the whole song's two."""
        line = f"  {label:36s}"
        measures = []
        if timing is not None or pitch is not None:
            timing_value, lag = agreement.timing_agreement(self.reference, samples, self.rate)
            pitch_value = agreement.pitch_agreement(self.reference, samples, self.rate)
            measures += [("timing", timing_value, TIMING_THRESHOLD, timing),
                         ("pitch", pitch_value, PITCH_THRESHOLD, pitch)]
            line += f" timing {timing_value:7.4f} (lag {lag * 1000:+4.0f} ms)  pitch {pitch_value:7.4f};"
        for name, measure, threshold, expected in (
                ("timing", timing_only, STRETCH_TIMING_THRESHOLD, stretch_timing),
                ("pitch", agreement.pitch_agreement, STRETCH_PITCH_THRESHOLD, stretch_pitch)):
            if expected is not None:
                value, start = worst_stretch(self.reference, samples, self.rate, measure)
                measures.append((f"{name} of the stretch at {start:.2f} s", value, threshold, expected))
                line += f" worst stretch's {name} {value:7.4f} at {start:5.2f} s;"
        verdicts = []
        for name, value, threshold, expected in measures:
            passes = value >= threshold
            if expected is not None and passes != expected:
                verdicts.append(f"{name} {'passes' if passes else 'fails'}")
                self.failures.append(f"{label}: {name} {value:.4f} should {'pass' if expected else 'fail'} "
                                     f"(threshold {threshold})")
        print(f"{line.rstrip(';')}  {'WRONG: ' + ', '.join(verdicts) if verdicts else 'as expected'}")

    def read(self, label, path):
        """A render's samples, or None (and a failure) when its rate is not the reference's."""
        samples, rate = agreement.read_wav(path)
        if rate != self.rate:
            self.failures.append(f"{label}: rate {rate} Hz, expected {self.rate} Hz")
            return None
        return samples

    def check_length(self, label, samples, passes):
        """Whether the render lasts as long as the reference, within the tolerance."""
        seconds = len(samples) / self.rate
        reference_seconds = len(self.reference) / self.rate
        agrees = abs(seconds - reference_seconds) <= LENGTH_TOLERANCE_SECONDS
        print(f"  {label:36s} length {seconds:.3f} s, peer {reference_seconds:.3f} s"
              f"  {'as expected' if agrees == passes else 'WRONG'}")
        if agrees != passes:
            self.failures.append(f"{label}: length {seconds:.3f} s should {'' if passes else 'not '}agree with "
                                 f"the peer's {reference_seconds:.3f} s (tolerance {LENGTH_TOLERANCE_SECONDS} s)")


def worst_stretch(reference, samples, rate, measure):
    """The lowest value of `measure` (timing or pitch agreement) over the stretches that both
    renders cover, with the stretch's start in seconds. Stretches start every half stretch;
    the last one ends where the shorter render ends."""
    length = min(len(reference), len(samples))
    size = min(int(STRETCH_SECONDS * rate), length)
    starts = list(range(0, length - size + 1, size // 2))
    if starts[-1] + size < length:
        starts.append(length - size)
    return min((measure(reference[start : start + size], samples[start : start + size], rate), start / rate)
               for start in starts)


def timing_only(a, b, rate):
    return agreement.timing_agreement(a, b, rate)[0]


def with_stretch(reference, source, start, rate):
    """The reference with one stretch from `start` replaced by the same stretch of `source`."""
    size = int(STRETCH_SECONDS * rate)
    result = reference.copy()
    result[start : start + size] = source[start : start + size]
    return result


def executable(path):
    return pathlib.Path(path).resolve()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--modrender", required=True, type=executable)
    parser.add_argument("--make-modules", required=True, type=executable)
    parser.add_argument("--module", required=True, help="name of the test module")
    parser.add_argument("--work", required=True, type=pathlib.Path, help="folder for modules and renders")
    parser.add_argument("--rate", type=int, default=44100)
    args = parser.parse_args()

    work = args.work / f"{args.module}-{args.rate}"
    work.mkdir(parents=True, exist_ok=True)
    # make_test_modules names the files it wrote, one a line.
    written = [pathlib.Path(line) for line in run([args.make_modules, work]).splitlines()]
    modules = [path for path in written if path.stem == args.module and path.suffix in TRACKERS]
    if not modules:
        print(f"no test module named {args.module}", file=sys.stderr)
        return 1
    module = modules[0]
    tracker = peer_tracker(module)
    if not (tracker or "").startswith(TRACKERS[module.suffix]):
        print(f"the peer takes {module.name} for a file of {tracker!r}, not of {TRACKERS[module.suffix]}",
              file=sys.stderr)
        return 1

    reference_path = work / "peer.wav"
    render_peer(module, reference_path, args.rate, ["--filter", "2"])
    reference, _ = agreement.read_wav(reference_path)
    comparison = Comparison(reference, args.rate)
    print(f"{module.name} ({tracker}) at {args.rate} Hz, against openmpt123 with linear interpolation:")

    print(" calibration on the peer alone:")
    # The stretches of the strongest ramping, the lowest-scoring of the faithful renders that
    # must pass them, stand for those of the filter too.
    for label, options, stretches in (("peer, 8-tap filter", ["--filter", "8"], None),
                                      ("peer, nearest, no ramping", ["--filter", "1", "--ramping", "0"], None),
                                      ("peer, strongest ramping", ["--filter", "2", "--ramping", "5"], True)):
        path = work / f"peer-{'-'.join(options).replace('--', '')}.wav"
        render_peer(module, path, args.rate, options)
        samples = comparison.read(label, path)
        if samples is not None:
            comparison.check(label, samples, stretch_timing=stretches, stretch_pitch=stretches)
    renders = {}
    for label, effect, timing_passes, pitch_passes in (
            ("peer 1 % faster (resampled)", ["speed", "1.01"], False, None),
            ("peer 1 % faster (same pitch)", ["tempo", "1.01"], False, True),
            ("peer 5 cents higher", ["pitch", "5"], True, None),
            ("peer a semitone higher", ["pitch", "100"], None, False)):
        path = work / f"peer-{'-'.join(effect)}.wav"
        transform(reference_path, path, *effect)
        renders[effect[-1]] = samples = comparison.read(label, path)
        if samples is not None:
            comparison.check(label, samples, timing_passes, pitch_passes, None, None)
    # One stretch changed, four tenths into the song: 130 ms late (more than the timing
    # measure's lags reach), or a semitone higher.
    start = int(len(reference) * 0.4)
    late = with_stretch(reference, np.pad(reference[start - int(0.13 * args.rate):], (start, 0)), start, args.rate)
    comparison.check("peer, one stretch 130 ms late", late, None, None, False, None)
    if renders["100"] is not None:
        higher = with_stretch(reference, renders["100"], start, args.rate)
        comparison.check("peer, one stretch a semitone higher", higher, None, None, None, False)
    twice_path = work / "peer-twice.wav"
    render_peer(module, twice_path, args.rate, ["--filter", "2", "--repeat", "1"])
    comparison.check_length("peer, two passes", agreement.read_wav(twice_path)[0], False)

    print(" ours:")
    ours_path = work / "modrender.wav"
    run([args.modrender, "--rate", args.rate, module, ours_path])
    ours = comparison.read("modrender", ours_path)
    if ours is not None:
        comparison.check("modrender", ours)
        comparison.check_length("modrender", ours, True)

    for failure in comparison.failures:
        print(f"FAIL {failure}", file=sys.stderr)
    return 1 if comparison.failures else 0


if __name__ == "__main__":
    sys.exit(main())
