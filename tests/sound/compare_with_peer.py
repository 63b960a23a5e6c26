#!/usr/bin/env python3
"""Compares modrender's render of a test module with openmpt123's.

The measures (agreement.py) are proven on the peer alone first, on every run: the
peer's renders with another interpolation filter or ramping must pass both, the
reference played 1 % faster must fail the timing measure, and played a semitone
higher must fail the pitch measure. Only then does our render have to pass both, and
have the peer's length.

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

# From the calibration: the peer's own renders with other settings, or detuned by a few
# cents, score at least 0.957 on timing and 0.988 on pitch; 1 % faster scores at most 0.28
# on timing, a semitone higher at most 0.05 on pitch.
TIMING_THRESHOLD = 0.93
PITCH_THRESHOLD = 0.95
# The peer renders a short tail past the song's end (about 0.1 s).
LENGTH_TOLERANCE_SECONDS = 0.25
# What the peer's --info must say of each format's files: its "Tracker" line.
TRACKERS = {
    ".mod": "Generic ProTracker or compatible",
    ".s3m": "Scream Tracker 3.20 (SB)",
    ".xm": "FastTracker 2 or compatible",
    ".it": "Impulse Tracker 2.14",
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

    def check(self, label, path, timing_passes, pitch_passes):
        """Measures a render against the reference; None means either outcome is fine."""
        samples, rate = agreement.read_wav(path)
        if rate != self.rate:
            self.failures.append(f"{label}: rate {rate} Hz, expected {self.rate} Hz")
            return samples
        timing, lag = agreement.timing_agreement(self.reference, samples, rate)
        pitch = agreement.pitch_agreement(self.reference, samples, rate)
        verdicts = []
        for name, value, threshold, expected in (("timing", timing, TIMING_THRESHOLD, timing_passes),
                                                 ("pitch", pitch, PITCH_THRESHOLD, pitch_passes)):
            passes = value >= threshold
            if expected is not None and passes != expected:
                verdicts.append(f"{name} {'passes' if passes else 'fails'}")
                self.failures.append(f"{label}: {name} {value:.4f} should {'pass' if expected else 'fail'} "
                                     f"(threshold {threshold})")
        print(f"  {label:34s} timing {timing:7.4f} (lag {lag * 1000:+4.0f} ms)  pitch {pitch:7.4f}"
              f"  {'WRONG: ' + ', '.join(verdicts) if verdicts else 'as expected'}")
        return samples

    def check_length(self, label, samples, passes):
        """Whether the render lasts as long as the reference, within the tolerance."""
        seconds = len(samples) / self.rate
        reference_seconds = len(self.reference) / self.rate
        agrees = abs(seconds - reference_seconds) <= LENGTH_TOLERANCE_SECONDS
        print(f"  {label:34s} length {seconds:.3f} s, peer {reference_seconds:.3f} s"
              f"  {'as expected' if agrees == passes else 'WRONG'}")
        if agrees != passes:
            self.failures.append(f"{label}: length {seconds:.3f} s should {'' if passes else 'not '}agree with "
                                 f"the peer's {reference_seconds:.3f} s (tolerance {LENGTH_TOLERANCE_SECONDS} s)")


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
    if tracker != TRACKERS[module.suffix]:
        print(f"the peer takes {module.name} for a file of {tracker!r}, not of {TRACKERS[module.suffix]!r}",
              file=sys.stderr)
        return 1

    reference_path = work / "peer.wav"
    render_peer(module, reference_path, args.rate, ["--filter", "2"])
    reference, _ = agreement.read_wav(reference_path)
    comparison = Comparison(reference, args.rate)
    print(f"{module.name} ({tracker}) at {args.rate} Hz, against openmpt123 with linear interpolation:")

    print(" calibration on the peer alone:")
    for label, options in (("peer, 8-tap filter", ["--filter", "8"]),
                           ("peer, nearest, no ramping", ["--filter", "1", "--ramping", "0"]),
                           ("peer, strongest ramping", ["--filter", "2", "--ramping", "5"])):
        path = work / f"peer-{'-'.join(options).replace('--', '')}.wav"
        render_peer(module, path, args.rate, options)
        comparison.check(label, path, True, True)
    for label, effect, timing_passes, pitch_passes in (
            ("peer 1 % faster (resampled)", ["speed", "1.01"], False, None),
            ("peer 1 % faster (same pitch)", ["tempo", "1.01"], False, True),
            ("peer 5 cents higher", ["pitch", "5"], True, None),
            ("peer a semitone higher", ["pitch", "100"], None, False)):
        path = work / f"peer-{'-'.join(effect)}.wav"
        transform(reference_path, path, *effect)
        comparison.check(label, path, timing_passes, pitch_passes)
    twice_path = work / "peer-twice.wav"
    render_peer(module, twice_path, args.rate, ["--filter", "2", "--repeat", "1"])
    comparison.check_length("peer, two passes", agreement.read_wav(twice_path)[0], False)

    print(" ours:")
    ours_path = work / "modrender.wav"
    run([args.modrender, "--rate", args.rate, module, ours_path])
    ours = comparison.check("modrender", ours_path, True, True)
    comparison.check_length("modrender", ours, True)

    for failure in comparison.failures:
        print(f"FAIL {failure}", file=sys.stderr)
    return 1 if comparison.failures else 0


if __name__ == "__main__":
    sys.exit(main())
