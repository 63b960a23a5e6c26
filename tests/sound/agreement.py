"""Measures of agreement between two renders of the same module.

Both measures work on a mono downmix, so that the players' stereo separations do not
matter, and both are correlations, so that their output levels do not matter either.

timing: the RMS envelopes in 10 ms windows, aligned by the lag (within 100 ms) that
    correlates them best. A tempo error lets the notes drift apart and the envelopes
    decorrelate; a change of pitch leaves them alone.
pitch: the long-term spectrum's peaks in quarter-semitone bins, as a log-magnitude
    profile over log frequency with its broad trend removed. A semitone shift moves
    every peak by four bins; a different interpolation or ramping changes the levels
    between the peaks, not where they are.
"""

import wave

import numpy as np

RATE = 44100
WINDOW_SECONDS = 0.010
MAX_LAG_SECONDS = 0.100

SPECTRUM_FRAME = 65536
LOWEST_HZ = 80.0
HIGHEST_HZ = 8000.0
BINS_PER_OCTAVE = 48
FLOOR_DB = 80.0
TREND_BINS = 24


def read_wav(path):
    """The file's samples as a float mono downmix, with its rate."""
    with wave.open(str(path), "rb") as f:
        if f.getsampwidth() != 2:
            raise ValueError(f"{path}: expected 16-bit PCM, got {8 * f.getsampwidth()}-bit")
        frames = f.readframes(f.getnframes())
        channels = f.getnchannels()
        rate = f.getframerate()
    samples = np.frombuffer(frames, dtype="<i2").astype(np.float64) / 32768.0
    return samples.reshape(-1, channels).mean(axis=1), rate


def rms_envelope(mono, rate):
    window = int(round(rate * WINDOW_SECONDS))
    count = len(mono) // window
    blocks = mono[: count * window].reshape(count, window)
    return np.sqrt((blocks ** 2).mean(axis=1))


def correlation(a, b):
    a = a - a.mean()
    b = b - b.mean()
    denominator = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / denominator) if denominator > 0 else 0.0


def timing_agreement(a, b, rate):
    """The best correlation of the two RMS envelopes over lags of up to 100 ms, and that lag in seconds."""
    ea = rms_envelope(a, rate)
    eb = rms_envelope(b, rate)
    length = min(len(ea), len(eb))
    ea, eb = ea[:length], eb[:length]
    max_lag = int(round(MAX_LAG_SECONDS / WINDOW_SECONDS))
    best, best_lag = -1.0, 0
    for lag in range(-max_lag, max_lag + 1):
        if lag >= 0:
            c = correlation(ea[lag:], eb[: length - lag])
        else:
            c = correlation(ea[: length + lag], eb[-lag:])
        if c > best:
            best, best_lag = c, lag
    return best, best_lag * WINDOW_SECONDS


def pitch_profile(mono, rate):
    """The long-term spectrum's peak in each quarter-semitone bin, in dB, with its trend removed."""
    frame = SPECTRUM_FRAME
    if len(mono) < frame:
        mono = np.pad(mono, (0, frame - len(mono)))
    hop = frame // 2
    window = np.hanning(frame)
    power = np.zeros(frame // 2 + 1)
    starts = range(0, len(mono) - frame + 1, hop)
    for start in starts:
        power += np.abs(np.fft.rfft(mono[start : start + frame] * window)) ** 2
    power /= len(starts)
    frequencies = np.fft.rfftfreq(frame, 1.0 / rate)

    bins = int(np.floor(BINS_PER_OCTAVE * np.log2(HIGHEST_HZ / LOWEST_HZ)))
    edges = LOWEST_HZ * 2.0 ** ((np.arange(bins + 1) - 0.5) / BINS_PER_OCTAVE)
    indices = np.searchsorted(frequencies, edges)
    peaks = np.array([power[indices[i] : max(indices[i + 1], indices[i] + 1)].max() for i in range(bins)])
    decibels = 10.0 * np.log10(peaks + 1e-20)
    decibels = np.maximum(decibels, decibels.max() - FLOOR_DB)
    kernel = np.ones(2 * TREND_BINS + 1) / (2 * TREND_BINS + 1)
    trend = np.convolve(np.pad(decibels, TREND_BINS, mode="edge"), kernel, mode="valid")
    return decibels - trend


def pitch_agreement(a, b, rate):
    """The correlation of the two renders' peak profiles over log frequency."""
    return correlation(pitch_profile(a, rate), pitch_profile(b, rate))
