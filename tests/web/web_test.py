#!/usr/bin/env python3
"""The show's page in a real browser (Chromium headless, or Firefox ESR on its own Xvfb
display with a PulseAudio server), driven by drive.mjs through puppeteer-core: the
question and both answers, fullscreen, the keys, Escape and playing again, from disk and
from a local web server; then its frames against snapshot's (35 dB at least) and the
sound it played, busy main thread and hidden tab included, against modrender's (timing
and pitch agreement of 0.99 at least).

    web_test.py --browser chromium|firefox --page HTML --snapshot BIN --modrender BIN
                --soundtrack MOD --work DIR
"""

import argparse
import functools
import http.server
import json
import pathlib
import shutil
import subprocess
import sys
import threading

import numpy as np

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "sound"))
sys.path.insert(0, str(HERE.parent / "common"))
import agreement  # noqa: E402
import browsers  # noqa: E402
from frames import psnr, read_png  # noqa: E402

# The page's size: at most a megabyte.
PAGE_LIMIT = 1_000_000
PSNR_THRESHOLD = 35.0
SOUND_THRESHOLD = 0.99
# drive.mjs's frames, at 60 frames a second: the title's stages at 0.5, 1.8 and 3 s, its
# fade at 4.2 s, the main phase's first frame and the water's rings at 7.5 s.
COMPARED_FRAMES = [30, 108, 180, 252, 266, 450]


def serve(folder):
    """A static web server for the page's folder on a free local port, in a thread."""
    handler = functools.partial(QuietHandler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def compare_frames(args, work, kept, failures):
    """The page's frames against snapshot's at the same moments."""
    times = []
    for frame in COMPARED_FRAMES:
        # The first frame at or after its time: frame n is drawn at n / 60 s.
        times += [f"{(frame - 0.5) / 60:.4f}", str(work / f"snapshot-{frame}.png")]
    subprocess.run([args.snapshot, *times], check=True)
    page_frames, references = {}, {}
    for frame in COMPARED_FRAMES:
        references[frame] = read_png(work / f"snapshot-{frame}.png")
        if str(frame) not in kept:
            failures.append(f"frame {frame} was not kept")
            continue
        # The page's RGBA, top row first.
        width, height = kept[str(frame)]
        rgba = np.fromfile(work / f"frame-{frame}.rgba", dtype=np.uint8).reshape(height, width, 4)
        page_frames[frame] = rgba[:, :, :3]
        score = psnr(page_frames[frame], references[frame])
        print(f"frame {frame}: {score:.1f} dB against snapshot")
        if score < PSNR_THRESHOLD:
            failures.append(f"frame {frame} scores {score:.1f} dB")
    # The measure fails where it should: on the title's second stage against its third.
    if 108 in page_frames:
        wrong = psnr(page_frames[108], references[180])
        print(f"frame 108 against snapshot's frame 180: {wrong:.1f} dB (must fail)")
        if wrong >= PSNR_THRESHOLD:
            failures.append(f"another moment passes with {wrong:.1f} dB")


def first_sound(mono):
    """From the first sample that is not silent."""
    return mono[int(np.argmax(np.abs(mono) > 0)):]


def compare_sound(args, work, rate, failures):
    """The sound the page played against modrender's at the page's rate, from the first
    sound of each."""
    stereo = np.fromfile(work / "sound.s16", dtype="<i2").astype(np.float64) / 32768.0
    recorded = first_sound(stereo.reshape(-1, 2).mean(axis=1))
    seconds = len(recorded) / rate
    if seconds < 5:
        failures.append(f"only {seconds:.1f} s of sound were recorded")
        return
    reference_file = work / "modrender.wav"
    subprocess.run([args.modrender, "--rate", str(rate), "--seconds", f"{seconds:.3f}", args.soundtrack,
                    str(reference_file)], check=True, stdout=subprocess.DEVNULL)
    reference = first_sound(agreement.read_wav(reference_file)[0])
    length = min(len(recorded), len(reference))
    timing, lag = agreement.timing_agreement(recorded[:length], reference[:length], rate)
    pitch = agreement.pitch_agreement(recorded[:length], reference[:length], rate)
    same = float(np.mean(recorded[:length] == reference[:length]))
    print(f"sound: {seconds:.1f} s at {rate} Hz, timing {timing:.4f} (lag {lag * 1000:.0f} ms), "
          f"pitch {pitch:.4f}, {same:.1%} of the samples identical to modrender's")
    if timing < SOUND_THRESHOLD or pitch < SOUND_THRESHOLD:
        failures.append(f"the sound agrees with modrender's by {timing:.4f} in timing and {pitch:.4f} in pitch")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--browser", choices=("chromium", "firefox"), required=True)
    parser.add_argument("--page", required=True)
    parser.add_argument("--snapshot", required=True)
    parser.add_argument("--modrender", required=True)
    parser.add_argument("--soundtrack", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = pathlib.Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    page = pathlib.Path(args.page).resolve()
    if not page.exists():
        sys.exit(f"FAIL: no page at {page} (make web builds it)")

    server = serve(page.parent)
    try:
        with browsers.running_browser(args.browser, work / "browser") as settings:
            settings_file = work / "settings.json"
            settings_file.write_text(json.dumps(settings))
            http_url = f"http://127.0.0.1:{server.server_address[1]}/{page.name}"
            driver = subprocess.run(["node", str(HERE / "drive.mjs"), str(settings_file), page.as_uri(), http_url,
                                     str(work), ",".join(map(str, COMPARED_FRAMES))], cwd=HERE, timeout=600)
    finally:
        server.shutdown()
    if driver.returncode != 0:
        sys.exit(f"FAIL: the driver ended with {driver.returncode}")

    seen = json.loads((work / "checks.json").read_text())
    checks = seen["checks"]
    failures = [f"{c['name']}: {c['detail']}" for c in checks if not c["ok"]]
    size = page.stat().st_size
    print(f"the page: {size} bytes")
    if size > PAGE_LIMIT:
        failures.append(f"the page has {size} bytes, more than {PAGE_LIMIT}")
    compare_frames(args, work, seen.get("frames", {}), failures)
    if "rate" in seen:
        compare_sound(args, work, seen["rate"], failures)
    else:
        failures.append("no sound was recorded")
    if failures:
        sys.exit("FAIL:\n  " + "\n  ".join(failures))
    print(f"PASS: {len(checks)} checks in {args.browser}")


if __name__ == "__main__":
    main()
