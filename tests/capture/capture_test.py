#!/usr/bin/env python3
"""The capture tool: its video against snapshot's pictures and modrender's sound, its
scale, and what it refuses.

    capture_test.py --case video|scale|command-line --capture BIN --snapshot BIN
                    --modrender BIN --soundtrack MOD --work DIR
"""

import argparse
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "common"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "sound"))
import agreement  # noqa: E402
from frames import psnr  # noqa: E402

FPS = 60
# Long enough for the water to have risen in the main phase (4.4 s + 3 s); 7.99 s
# rounds up to 480 whole frames, 8 s.
SECONDS = 7.99
FRAMES = 480
TITLE_FRAME = 180        # 3.0 s: the title with the site's name
MAIN_FRAME = 450         # 7.5 s: the water, the sphere, the panel and the credits
WIDTH, HEIGHT = 640, 480

# H.264's loss, measured in the video's own colour space (BT.709 yuv420p), is about
# 42 dB on these frames; a picture one pixel out of place scores under 34.
PSNR_THRESHOLD = 35.0
# The sound is compressed (AAC) but aligned: the measures of the sound tests, with the
# onsets at most a window of 10 ms apart.
TIMING_THRESHOLD = 0.93
PITCH_THRESHOLD = 0.95
MAX_LAG_SECONDS = 0.010
# At scale 2 the frame halved agrees with the scale-1 frame as closely as two
# encodings of one picture do (about 38 to 42 dB, a one-pixel shift under 34), and
# has at least 1.3 times the fine detail of the scale-1 frame magnified smoothly
# (measured: 1.4 on the title, 2.0 on the main phase; a magnified scale-1 frame scores 1).
HALVED_PSNR_THRESHOLD = 35.0
DETAIL_RATIO_THRESHOLD = 1.3


class Checks:
    def __init__(self):
        self.failures = 0

    def expect(self, condition, label, detail=""):
        print(f"{'ok  ' if condition else 'FAIL'} {label}{': ' + detail if detail else ''}", flush=True)
        if not condition:
            self.failures += 1
        return condition


def run(*command, env=None):
    return subprocess.run([str(c) for c in command], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          env=env)


def probe(path):
    result = run("ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path)
    return json.loads(result.stdout) if result.returncode == 0 else None


def decoded_frame(path, number, width, height):
    """Frame `number` of the video as RGB, decoded with its own (BT.709) colours."""
    raw = subprocess.run(["ffmpeg", "-loglevel", "error", "-i", str(path), "-vf",
                          f"select=eq(n\\,{number}),scale=in_color_matrix=bt709:in_range=tv",
                          "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         stdout=subprocess.PIPE, check=True).stdout
    return np.frombuffer(raw, np.uint8).reshape(height, width, 3).astype(np.float64)


def yuv_psnr(video, number, picture):
    """PSNR of the video's frame `number` against a PNG, both in the video's yuv420p."""
    graph = (f"[0:v]select=eq(n\\,{number}),format=yuv420p[a];"
             "[1:v]scale=out_color_matrix=bt709:out_range=tv,format=yuv420p[b];[a][b]psnr")
    result = run("ffmpeg", "-hide_banner", "-i", video, "-i", picture, "-lavfi", graph, "-f", "null", "-")
    for line in result.stderr.splitlines():
        if "PSNR" in line and "average:" in line:
            return float(line.split("average:")[1].split()[0])
    raise RuntimeError(f"no PSNR from ffmpeg: {result.stderr.strip()}")


def fine_detail(rgb):
    """The mean absolute Laplacian of the grey levels."""
    g = rgb.mean(axis=2)
    return float(np.abs(4 * g[1:-1, 1:-1] - g[:-2, 1:-1] - g[2:, 1:-1] - g[1:-1, :-2] - g[1:-1, 2:]).mean())


def magnified(rgb):
    """Twice the size, each new pixel a quarter of the way to its neighbour (bilinear)."""
    def along(a, axis):
        padded = np.pad(a, [(1, 1) if i == axis else (0, 0) for i in range(3)], mode="edge")
        before = np.take(padded, range(0, a.shape[axis]), axis=axis)
        after = np.take(padded, range(2, a.shape[axis] + 2), axis=axis)
        out = np.repeat(a, 2, axis=axis)
        index = [slice(None)] * 3
        index[axis] = slice(0, None, 2)
        out[tuple(index)] = 0.75 * a + 0.25 * before
        index[axis] = slice(1, None, 2)
        out[tuple(index)] = 0.75 * a + 0.25 * after
        return out
    return along(along(rgb, 0), 1)


def capture(args, output, *options):
    result = run(args.capture, "--seconds", SECONDS, *options, output)
    if result.returncode != 0:
        raise RuntimeError(f"capture failed ({result.returncode}): {result.stderr.strip()}")
    return output


def case_video(args, checks, work):
    video = capture(args, work / "show.mp4")
    info = probe(video)
    streams = info["streams"] if info else []
    videos = [s for s in streams if s["codec_type"] == "video"]
    audios = [s for s in streams if s["codec_type"] == "audio"]
    checks.expect(len(videos) == 1 and len(audios) == 1, "one video stream and one audio stream",
                  f"{len(videos)} and {len(audios)}")
    if not videos or not audios:
        return
    v, a = videos[0], audios[0]
    checks.expect((v["codec_name"], v["pix_fmt"], v["width"], v["height"]) == ("h264", "yuv420p", WIDTH, HEIGHT),
                  "H.264 in yuv420p at 640 x 480", f"{v['codec_name']} {v['pix_fmt']} {v['width']} x {v['height']}")
    checks.expect(v["r_frame_rate"] == f"{FPS}/1" and v["avg_frame_rate"] == f"{FPS}/1",
                  "a constant 60 frames a second", f"{v['r_frame_rate']}, on average {v['avg_frame_rate']}")
    checks.expect(int(v["nb_frames"]) == FRAMES, f"{SECONDS} s rounded up to {FRAMES} frames", v["nb_frames"])
    duration = float(info["format"]["duration"])
    checks.expect(abs(duration - SECONDS) <= 1.0 / FPS, "as long as asked to within a frame", f"{duration:.3f} s")
    checks.expect((a["codec_name"], a["channels"], a["sample_rate"]) == ("aac", 2, "44100"),
                  "AAC sound in stereo at 44,100 Hz", f"{a['codec_name']}, {a['channels']}, {a['sample_rate']}")

    # The same moments from snapshot, which draws the show frame by frame too.
    title, main = work / "title.png", work / "main.png"
    result = run(args.snapshot, TITLE_FRAME / FPS, title, MAIN_FRAME / FPS, main)
    if not checks.expect(result.returncode == 0, "snapshot draws the same moments", result.stderr.strip()):
        return
    for name, number, picture in (("title", TITLE_FRAME, title), ("main phase", MAIN_FRAME, main)):
        value = yuv_psnr(video, number, picture)
        checks.expect(value >= PSNR_THRESHOLD, f"the {name}'s frame {number} agrees with snapshot's",
                      f"{value:.1f} dB")
    # The measure is not blind: the title's frame against the main phase's.
    value = yuv_psnr(video, TITLE_FRAME, main)
    checks.expect(value < PSNR_THRESHOLD - 15.0, "another moment does not agree", f"{value:.1f} dB")

    sound = work / "sound.wav"
    reference = work / "reference.wav"
    decoded = run("ffmpeg", "-loglevel", "error", "-y", "-i", video, "-map", "0:a", "-c:a", "pcm_s16le",
                  "-ar", "44100", sound)
    rendered = run(args.modrender, "--seconds", FRAMES / FPS, args.soundtrack, reference)
    if not checks.expect(decoded.returncode == 0 and rendered.returncode == 0, "the sound decodes; modrender renders",
                         decoded.stderr.strip() + rendered.stderr.strip()):
        return
    ours, rate = agreement.read_wav(sound)
    theirs, _ = agreement.read_wav(reference)
    checks.expect(abs(len(ours) - len(theirs)) <= rate / FPS, "the sound lasts as long as the pictures",
                  f"{len(ours) / rate:.3f} s against {len(theirs) / rate:.3f} s")
    timing, lag = agreement.timing_agreement(theirs, ours, rate)
    pitch = agreement.pitch_agreement(theirs, ours, rate)
    checks.expect(timing >= TIMING_THRESHOLD and abs(lag) <= MAX_LAG_SECONDS,
                  "the sound keeps modrender's timing, from the first frame", f"{timing:.3f} at {lag * 1000:.0f} ms")
    checks.expect(pitch >= PITCH_THRESHOLD, "the sound keeps modrender's pitch", f"{pitch:.3f}")


def case_scale(args, checks, work):
    one = capture(args, work / "one.mp4")
    two = capture(args, work / "two.mp4", "--scale", "2")
    info = probe(two)
    video = [s for s in info["streams"] if s["codec_type"] == "video"][0]
    checks.expect((video["width"], video["height"]) == (2 * WIDTH, 2 * HEIGHT), "scale 2 is 1280 x 960",
                  f"{video['width']} x {video['height']}")
    for name, number in (("title", TITLE_FRAME), ("main phase", MAIN_FRAME)):
        small = decoded_frame(one, number, WIDTH, HEIGHT)
        large = decoded_frame(two, number, 2 * WIDTH, 2 * HEIGHT)
        halved = large.reshape(HEIGHT, 2, WIDTH, 2, 3).mean(axis=(1, 3))
        value = psnr(halved, small)
        shifted = psnr(halved[:, 1:], small[:, :-1])
        checks.expect(value >= HALVED_PSNR_THRESHOLD, f"the {name}'s frame halved has the scale-1 layout",
                      f"{value:.1f} dB; shifted by a pixel {shifted:.1f} dB")
        ratio = fine_detail(large) / fine_detail(magnified(small))
        checks.expect(ratio >= DETAIL_RATIO_THRESHOLD, f"the {name}'s frame is sharper at scale 2",
                      f"{ratio:.2f} times the detail of the scale-1 frame magnified")


def leftovers(folder, name):
    return sorted(p.name for p in folder.iterdir() if p.name.startswith(name))


def case_command_line(args, checks, work):
    output = work / "out.mp4"
    for label, options in (("zero --fps", ["--fps", "0"]), ("negative --fps", ["--fps", "-5"]),
                           ("non-numeric --fps", ["--fps", "fast"]), ("zero --seconds", ["--seconds", "0"]),
                           ("negative --seconds", ["--seconds", "-1"]), ("non-numeric --seconds", ["--seconds", "2s"]),
                           ("--scale 0", ["--scale", "0"]), ("--scale 5", ["--scale", "5"]),
                           ("an unknown option", ["--quality", "9"])):
        result = run(args.capture, *options, output)
        checks.expect(result.returncode == 2 and "usage: capture" in result.stderr, f"{label}: usage and 2",
                      f"{result.returncode}: {result.stderr.splitlines()[0] if result.stderr else ''}")
    for label, options in (("no output", ["--seconds", "1"]), ("a name that is not .mp4 or .webp", ["out.avi"])):
        result = run(args.capture, *options)
        checks.expect(result.returncode == 2 and "usage: capture" in result.stderr, f"{label}: usage and 2",
                      str(result.returncode))

    def fails_cleanly(label, command, env=None, reason=""):
        result = run(*command, env=env)
        lines = result.stderr.strip().splitlines()
        checks.expect(result.returncode == 1 and len(lines) == 1 and reason in lines[0], f"{label}: one line and 1",
                      f"{result.returncode}: {result.stderr.strip()!r}")
        checks.expect(leftovers(work, "out.mp4") == [], f"{label}: no file left", str(leftovers(work, "out.mp4")))

    fails_cleanly("an output that cannot be written",
                  [args.capture, "--seconds", "1", work / "missing-folder" / "out.mp4"], reason="No such file")
    no_ffmpeg = dict(os.environ, PATH=str(work / "empty"))
    (work / "empty").mkdir(exist_ok=True)
    fails_cleanly("ffmpeg missing", [args.capture, "--seconds", "1", output], env=no_ffmpeg, reason="ffmpeg")
    # An ffmpeg that stops with its own message, as one without the H.264 encoder does.
    failing = work / "failing"
    failing.mkdir(exist_ok=True)
    fake = failing / "ffmpeg"
    fake.write_text("#!/bin/sh\necho \"Unknown encoder 'libx264'\" >&2\nexit 1\n")
    fake.chmod(0o755)
    fails_cleanly("ffmpeg failing", [args.capture, "--seconds", "1", output],
                  env=dict(os.environ, PATH=f"{failing}:{os.environ['PATH']}"), reason="Unknown encoder 'libx264'")

    # Ctrl-C part way: the process ends at once, with nothing under the output's name.
    process = subprocess.Popen([str(args.capture), "--seconds", "60", str(output)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    started = time.monotonic()
    first = process.stderr.readline()   # the first line of progress: frames are being written
    process.send_signal(signal.SIGINT)
    try:
        _, rest = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        rest = "(still running after 30 s)"
    checks.expect(process.returncode == 128 + signal.SIGINT and "interrupted" in rest,
                  "Ctrl-C while writing: ends with 130",
                  f"{process.returncode} after {first.strip()!r}: {rest.strip()!r}")
    checks.expect(leftovers(work, "out.mp4") == [], "Ctrl-C: no file left", str(leftovers(work, "out.mp4")))
    checks.expect(time.monotonic() - started < 30, "Ctrl-C: the capture stops at once")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=["video", "scale", "command-line"])
    for name in ("capture", "snapshot", "modrender", "soundtrack", "work"):
        parser.add_argument(f"--{name}", required=True, type=pathlib.Path)
    args = parser.parse_args()
    if shutil.which("ffmpeg") is None or shutil.which("ffprobe") is None:
        print("FAIL ffmpeg and ffprobe are needed (tools/install-deps.sh installs them)")
        return 1
    work = args.work / args.case
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    checks = Checks()
    {"video": case_video, "scale": case_scale, "command-line": case_command_line}[args.case](args, checks, work)
    print(f"{checks.failures} failure(s)")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
