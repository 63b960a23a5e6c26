"""WAV files read with the standard library alone: the format that the header gives and
the bytes of the data chunk, for the scripts that compare sound (tests/sound and
tests/e2e), each of which turns the bytes into samples its own way.

The scripts that import it put this folder on their module path first.
"""

import struct
from collections import namedtuple
from pathlib import Path

# tag: 1 for integer PCM, 3 for 32-bit floats; bits per sample; data: the data chunk.
Wav = namedtuple("Wav", "tag channels rate bits data")


def read(path):
    """The format and the data of a WAV file, or ValueError where it has none. A data
    chunk whose length was never filled in runs to the end of the file."""
    data = Path(path).read_bytes()
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path} is not a WAV file")
    offset, form, pcm = 12, None, None
    while offset + 8 <= len(data):
        name, size = data[offset:offset + 4], struct.unpack_from("<I", data, offset + 4)[0]
        body = offset + 8
        if name == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", data, body)
            if tag == 0xFFFE:   # WAVE_FORMAT_EXTENSIBLE: the real tag leads the sub-format
                tag = struct.unpack_from("<H", data, body + 24)[0]
            form = (tag, channels, rate, bits)
        elif name == b"data":
            end = body + size if 0 < size <= len(data) - body else len(data)
            pcm = data[body:end]
            break
        offset = body + size + (size & 1)
    if not form or pcm is None:
        raise ValueError(f"{path} has no format or no data")
    return Wav(*form, pcm)
