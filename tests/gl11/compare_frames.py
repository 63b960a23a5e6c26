#!/usr/bin/env python3
"""The show drawn through the GL layer on OpenGL ES 3 against desktop GL: the same
moments from both builds of show_moments, at scale 1 or 2, each at least 40 dB; and at
scale 1 snapshot --gles against snapshot.

    compare_frames.py --scale 1|2 --desktop BIN --layer BIN --snapshot BIN --work DIR
"""

import argparse
import pathlib
import shutil
import subprocess
import sys

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "common"))
from frames import psnr, read_png, read_ppm  # noqa: E402

THRESHOLD = 40.0


def run_both(args, work):
    """Both builds of show_moments at once, into work/desktop and work/layer."""
    scale = ["--scale", "2"] if args.scale == 2 else []
    runs = []
    for name, program in (("desktop", args.desktop), ("layer", args.layer)):
        folder = work / name
        folder.mkdir(parents=True)
        runs.append((name, subprocess.Popen([program, *scale, str(folder)])))
    for name, run in runs:
        if run.wait() != 0:
            sys.exit(f"FAIL: the {name} build of show_moments ended with {run.returncode}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scale", type=int, choices=(1, 2), required=True)
    parser.add_argument("--desktop", required=True)
    parser.add_argument("--layer", required=True)
    parser.add_argument("--snapshot", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = pathlib.Path(args.work)
    shutil.rmtree(work, ignore_errors=True)
    run_both(args, work)

    failures = []
    names = sorted(path.stem for path in (work / "desktop").glob("*.ppm"))
    if len(names) != (2 if args.scale == 2 else 12):
        failures.append(f"{len(names)} moments drawn")
    layer_frames = {}
    for name in names:
        desktop = read_ppm(work / "desktop" / f"{name}.ppm")
        layer = layer_frames[name] = read_ppm(work / "layer" / f"{name}.ppm")
        score = psnr(desktop, layer)
        print(f"{name}: {score:.1f} dB")
        if score < THRESHOLD:
            failures.append(f"{name} scores {score:.1f} dB")

    # The measure fails where it should: on the layer's frame one pixel to the right, and
    # on a frame of another moment.
    moved = "main-panel-credits" if args.scale == 1 else "scale2-main-rings"
    desktop = read_ppm(work / "desktop" / f"{moved}.ppm")
    shifted = np.roll(layer_frames[moved], 1, axis=1)
    checks = [(f"{moved} one pixel to the right", psnr(desktop, shifted))]
    if args.scale == 1:
        checks.append(("the site's name against the full name",
                       psnr(read_ppm(work / "desktop" / "title-site-name.ppm"), layer_frames["title-full-name"])))
    for label, score in checks:
        print(f"{label}: {score:.1f} dB (must fail)")
        if score >= THRESHOLD:
            failures.append(f"{label} passes with {score:.1f} dB")

    # snapshot --gles runs its twin on the layer, with the same options and output.
    if args.scale == 1:
        shots = {}
        for name, extra in (("snapshot", []), ("snapshot-gles", ["--gles"])):
            path = work / f"{name}.png"
            subprocess.run([args.snapshot, *extra, "--fps", "30", "3.0", str(path)], check=True)
            shots[name] = read_png(path)
        score = psnr(shots["snapshot"], shots["snapshot-gles"])
        print(f"snapshot --gles at 3 s: {score:.1f} dB")
        if score < THRESHOLD:
            failures.append(f"snapshot --gles scores {score:.1f} dB")

    if failures:
        sys.exit("FAIL: " + "; ".join(failures))
    print("PASS")


if __name__ == "__main__":
    main()
