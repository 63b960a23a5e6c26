"""Measures of agreement between two renders of the same module.

Both measures work on a mono downmix, so that the players' stereo separations do not
matter, and both are correlations, so that their output levels do not matter either.

timing: where the sound's RMS envelopes rise, every 10 ms, aligned by the lag (within
    100 ms) that correlates them best. A tempo error lets the notes drift apart and the
    onsets decorrelate; a change of pitch leaves them alone. The envelopes are taken in
    third-octave bands and only their rises count, because the envelope of the whole mix
    also follows the beats between channels, which depend on the voices' phases: a
    render detuned by a few cents, or mixed with other rounding, beats differently
    while keeping perfect time.
pitch: the long-term spectrum's peaks in quarter-semitone bins, as a log-magnitude
    profile over log frequency with its broad trend removed. A semitone shift moves
    every peak by four bins; a different interpolation or ramping changes the levels
    between the peaks, not where they are.
"""

import numpy as np

import wav

WINDOW_SECONDS = 0.010
MAX_LAG_SECONDS = 0.100
ENVELOPE_FRAME = 2048
ENVELOPE_LOWEST_HZ = 60.0
ENVELOPE_HIGHEST_HZ = 16000.0
ENVELOPE_FLOOR_DB = 60.0

SPECTRUM_FRAME = 65536
SPECTRUM_LOWEST_HZ = 80.0
SPECTRUM_HIGHEST_HZ = 8000.0
BINS_PER_OCTAVE = 48
SPECTRUM_FLOOR_DB = 80.0
TREND_BINS = 24


def read_wav(path):
    """The file's samples as a float mono downmix, with its rate."""
    sound = wav.read(path)
    if sound.tag != 1 or sound.bits != 16:
        raise ValueError(f"{path}: expected 16-bit PCM, got format tag {sound.tag} with {sound.bits} bits")
    # Whole frames only, as a reader of frames would take them.
    frames = sound.data[:len(sound.data) // (2 * sound.channels) * (2 * sound.channels)]
    samples = np.frombuffer(frames, dtype="<i2").astype(np.float64) / 32768.0
    return samples.reshape(-1, sound.channels).mean(axis=1), sound.rate


def correlation(a, b):
    a = a - a.mean()
    b = b - b.mean()
    denominator = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / denominator) if denominator > 0 else 0.0


def band_envelopes(mono, rate):
    """RMS envelopes of third-octave bands in dB, one row every 10 ms."""
    hop = int(round(rate * WINDOW_SECONDS))
    if len(mono) < ENVELOPE_FRAME + hop:
        mono = np.pad(mono, (0, ENVELOPE_FRAME + hop - len(mono)))
    frames = np.lib.stride_tricks.sliding_window_view(mono, ENVELOPE_FRAME)[::hop]
    power = np.abs(np.fft.rfft(frames * np.hanning(ENVELOPE_FRAME), axis=1)) ** 2
    frequencies = np.fft.rfftfreq(ENVELOPE_FRAME, 1.0 / rate)
    count = int(np.floor(3 * np.log2(ENVELOPE_HIGHEST_HZ / ENVELOPE_LOWEST_HZ)))
    edges = ENVELOPE_LOWEST_HZ * 2.0 ** (np.arange(count + 1) / 3.0)
    bands = np.stack([power[:, (frequencies >= edges[i]) & (frequencies < edges[i + 1])].sum(axis=1)
                      for i in range(count)], axis=1)
    decibels = 10.0 * np.log10(bands + 1e-20)
    return np.maximum(decibels, decibels.max() - ENVELOPE_FLOOR_DB)


def onset_envelope(mono, rate):
    """How much the band envelopes rise over 20 ms, summed over the bands and smoothed over 30 ms."""
    decibels = band_envelopes(mono, rate)
    rises = np.maximum(decibels[2:] - decibels[:-2], 0.0).sum(axis=1)
    return np.convolve(rises, np.ones(3) / 3.0, mode="same")


def timing_agreement(a, b, rate):
    """The best correlation of the two onset envelopes over lags of up to 100 ms, and that lag in seconds."""
    ea = onset_envelope(a, rate)
    eb = onset_envelope(b, rate)
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

    bins = int(np.floor(BINS_PER_OCTAVE * np.log2(SPECTRUM_HIGHEST_HZ / SPECTRUM_LOWEST_HZ)))
    edges = SPECTRUM_LOWEST_HZ * 2.0 ** ((np.arange(bins + 1) - 0.5) / BINS_PER_OCTAVE)
    indices = np.searchsorted(frequencies, edges)
    peaks = np.array([power[indices[i] : max(indices[i + 1], indices[i] + 1)].max() for i in range(bins)])
    decibels = 10.0 * np.log10(peaks + 1e-20)
    decibels = np.maximum(decibels, decibels.max() - SPECTRUM_FLOOR_DB)
    kernel = np.ones(2 * TREND_BINS + 1) / (2 * TREND_BINS + 1)
    trend = np.convolve(np.pad(decibels, TREND_BINS, mode="edge"), kernel, mode="valid")
    return decibels - trend


def pitch_agreement(a, b, rate):
    """The correlation of the two renders' peak profiles over log frequency."""
    return correlation(pitch_profile(a, rate), pitch_profile(b, rate))
