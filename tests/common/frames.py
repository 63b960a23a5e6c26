"""Pictures of the show as arrays, and how far apart two of them are, for the scripts that
compare frames (tests/capture, tests/gl11, tests/web).

The scripts that import it put this folder on their module path first.
"""

import math
import pathlib
import subprocess

import numpy as np


def read_ppm(path):
    """A binary 8-bit PPM as a height x width x 3 array."""
    return parse_ppm(pathlib.Path(path).read_bytes(), path)


def read_png(path):
    """A PNG, read through ImageMagick, as read_ppm gives a PPM."""
    return parse_ppm(subprocess.run(["convert", str(path), "ppm:-"], check=True, capture_output=True).stdout, path)


def parse_ppm(data, name):
    fields = data.split(maxsplit=4)
    if len(fields) < 5 or fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError(f"{name} is not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return np.frombuffer(fields[4], dtype=np.uint8, count=width * height * 3).reshape(height, width, 3)


def psnr(a, b):
    """Peak signal-to-noise ratio in dB over every channel; infinite for equal pictures,
    0 for pictures of different sizes."""
    if a.shape != b.shape:
        return 0.0
    mean_square = np.mean((np.asarray(a, np.float64) - np.asarray(b, np.float64)) ** 2)
    return math.inf if mean_square == 0 else 10.0 * math.log10(255.0 ** 2 / mean_square)
