"""What the scenarios hear: a WAV file's samples as the sound device wrote them, and their
comparison with modrender's render of the same module, aligned by the RMS envelopes and
then to the frame, with the silence that the device inserted taken out.

Plain Python: the file's format and data come from tests/common/wav.py, which the sound
tests read their renders with too; the samples are lists of floats.
"""

import array
import math
import operator
from pathlib import Path

import wav
from checks import Failure, check, log


# Agreement of the captured waveform with the render: Wine hands 16-bit PCM at the
# program's own rate to ALSA untouched, so the two should be the same samples; where
# Wine resamples, the waveforms still agree closely but not exactly.
SAME_RATE_AGREEMENT = 0.99
RESAMPLED_AGREEMENT = 0.9
# At the same rate, the share of samples that must be the render's own, once the silence
# that the device inserted is taken out. A correlation forgives faults that a listener
# hears: an XM instrument that ignores its sustain point or its fade-out still correlates
# at 0.997 or better, but leaves a quarter of the samples different.
SAME_RATE_IDENTICAL = 0.99


class Sound:
    """Sound read from a WAV file, as floats between -1 and 1, channels interleaved."""

    def __init__(self, rate, channels, samples):
        self.rate, self.channels, self.samples = rate, channels, samples

    @staticmethod
    def read(path):
        """Reads PCM of 8 to 32 bits or 32-bit floats, whatever the file's header says.
        A data chunk whose length was never filled in runs to the end of the file."""
        try:
            tag, channels, rate, bits, pcm = wav.read(path)
        except ValueError as problem:
            raise Failure(str(problem)) from None
        log(f"{Path(path).name}: format tag {tag}, {channels} channels, {rate} Hz, {bits} bits")
        if tag == 1 and bits == 16:
            values = array.array("h")
            values.frombytes(pcm[:len(pcm) // 2 * 2])
            samples = [v / 32768.0 for v in values]
        elif tag == 1 and bits in (8, 24, 32):
            width = bits // 8
            if bits == 8:
                samples = [(b - 128) / 128.0 for b in pcm]
            else:
                scale = float(1 << (bits - 1))
                samples = [int.from_bytes(pcm[i:i + width], "little", signed=True) / scale
                           for i in range(0, len(pcm) - width + 1, width)]
        elif tag == 3 and bits == 32:
            values = array.array("f")
            values.frombytes(pcm[:len(pcm) // 4 * 4])
            samples = list(values)
        else:
            raise Failure(f"{path}: sample format tag {tag} with {bits} bits is not handled")
        samples = samples[:len(samples) // channels * channels]
        return Sound(rate, channels, samples)

    def frames(self):
        return len(self.samples) // self.channels

    def seconds(self):
        return self.frames() / self.rate

    def mono(self):
        c = self.channels
        if c == 1:
            return self.samples
        return [sum(self.samples[i:i + c]) / c for i in range(0, len(self.samples), c)]

    def first_sound(self, threshold=1e-4):
        """The first frame with any channel above the threshold, or None."""
        for i, value in enumerate(self.samples):
            if abs(value) > threshold:
                return i // self.channels
        return None

    def stereo_frames(self, start, count):
        """count frames from frame start as (left, right) lists, mono repeated."""
        c = self.channels
        part = self.samples[start * c:(start + count) * c]
        if c == 1:
            return part, part
        return part[0::c], part[1::c]


def rms(values):
    return math.sqrt(sum(map(operator.mul, values, values)) / len(values)) if values else 0.0


def envelope(mono, window):
    """RMS in consecutive windows."""
    return [rms(mono[i:i + window]) for i in range(0, len(mono) - window + 1, window)]


def correlation(a, b):
    """Pearson's correlation of two equally long sequences; 0 when either is flat."""
    n = min(len(a), len(b))
    if n == 0:
        return 0.0
    a, b = a[:n], b[:n]
    mean_a, mean_b = sum(a) / n, sum(b) / n
    da = [x - mean_a for x in a]
    db = [y - mean_b for y in b]
    norm = math.sqrt(sum(map(operator.mul, da, da)) * sum(map(operator.mul, db, db)))
    return sum(map(operator.mul, da, db)) / norm if norm else 0.0


def best_lag(captured, reference, lags):
    """The lag of captured against reference (captured[i + lag] ~ reference[i]) with the
    highest correlation, and that correlation."""
    best = (None, -2.0)
    for lag in lags:
        if lag >= 0:
            value = correlation(captured[lag:], reference)
        else:
            value = correlation(captured, reference[-lag:])
        if value > best[1]:
            best = (lag, value)
    return best


def inserted_silences(captured, reference, lag, tolerance):
    """Walks the captured sound along the reference from the lag on. Where the captured
    sound is digital silence while the reference plays, the device ran dry and inserted
    silence: the lag grows by its length. Returns those gaps as (frame, length) and the
    frame where the walk ended: the end, or the first difference that is no gap."""
    gaps = []
    k, n = lag, len(captured)
    while k < n and k - lag < len(reference):
        if abs(captured[k] - reference[k - lag]) <= tolerance:
            k += 1
            continue
        end = k
        while end < n and captured[end] == 0.0:
            end += 1
        if end == k:
            break
        gaps.append((k, end - k))
        lag += end - k
        k = end
    return gaps, k


def stretched(values, factor):
    """The sequence played factor times as fast, by nearest sample."""
    return [values[int(i * factor)] for i in range(int(len(values) / factor))]


def compare_with_reference(sound, reference):
    """Aligns the captured sound with the render by the cross-correlation of their RMS
    envelopes, then to the frame, and checks waveform agreement and level."""
    rate = sound.rate
    window = rate // 100
    captured_mono, reference_mono = sound.mono(), reference.mono()
    captured_envelope = envelope(captured_mono, window)
    reference_envelope = envelope(reference_mono, window)
    # The music starts within a few seconds of the device's first sound.
    most = min(300, len(captured_envelope) // 3)
    compared = len(captured_envelope) - most
    lag, agreement = best_lag(captured_envelope, reference_envelope[:compared], range(0, most + 1))
    check(agreement > 0.9, f"the RMS envelopes agree at a lag of {lag * 10} ms ({agreement:.4f})")

    # To the frame, on the music's first notes: any gap further on must not move the start.
    start = reference.first_sound() or 0
    stretch = reference_mono[start:start + 4096]
    lags = range(max(0, (lag - 2) * window), (lag + 2) * window + 1)
    nearby = captured_mono[start:start + lags[-1] + len(stretch) + 1]
    frame_lag, fine = best_lag(nearby, stretch, lags)
    log(f"the captured sound starts {frame_lag} frames ({1000 * frame_lag / rate:.1f} ms) "
        f"after the render, frame correlation {fine:.5f}")
    check(frame_lag < rate, f"the music starts within a second of the sound ({frame_lag} frames)")

    if rate == 44100:
        # Wine's device here consumes faster than real time, and when the program's
        # buffers are not back in time it plays a period of silence: take such gaps out
        # (and count them) before comparing, so that the music after one still lines up.
        gaps, walked = inserted_silences(captured_mono, reference_mono, frame_lag, 2 / 32768)
        inserted = sum(length for _, length in gaps)
        log(f"the walk along the render got to {walked / rate:.2f} s of {sound.seconds():.2f} s; "
            f"gaps of inserted silence: {[(round(at / rate, 3), length) for at, length in gaps]}")
        check(inserted <= 0.02 * sound.frames(),
              f"the device inserted silence for at most 2 % of the time ({inserted} frames)")
        keep = bytearray(b"\x01") * sound.frames()
        for at, length in gaps:
            keep[at:at + length] = bytes(length)
        c = sound.channels
        sound = Sound(rate, c, [v for i, v in enumerate(sound.samples) if keep[i // c]])
        captured_mono = [v for i, v in enumerate(captured_mono) if keep[i]]

    frames = min(sound.frames() - frame_lag, reference.frames())
    check(frames >= 2 * rate, f"at least 2 s of music to compare ({frames / rate:.2f} s)")
    needed = SAME_RATE_AGREEMENT if rate == 44100 else RESAMPLED_AGREEMENT
    captured_left, captured_right = sound.stereo_frames(frame_lag, frames)
    reference_left, reference_right = reference.stereo_frames(0, frames)
    for name, got, want in (("left", captured_left, reference_left),
                            ("right", captured_right, reference_right)):
        value = correlation(got, want)
        check(value > needed, f"the {name} channel matches the render over {frames / rate:.2f} s "
                              f"({value:.5f}, needed {needed})")
        level = rms(got) / rms(want)
        check(0.9 < level < 1.1, f"the {name} channel has the render's level ({level:.3f})")
    same = sum(map(operator.eq, sound.samples[frame_lag * sound.channels:],
                   reference.samples[:frames * sound.channels]))
    identical = same / (frames * sound.channels)
    if rate == 44100:
        check(identical >= SAME_RATE_IDENTICAL,
              f"{identical:.2%} of the samples are identical to the render's (needed {SAME_RATE_IDENTICAL:.0%})")
    else:
        log(f"{identical:.2%} of the samples are identical to the render's")
    # The same measure must reject a render played 1 % too fast.
    fast = stretched(reference_mono, 1.01)
    wrong = correlation(captured_mono[frame_lag:frame_lag + frames], fast[:frames])
    check(wrong < 0.5, f"a render 1 % too fast does not match ({wrong:.5f})")
