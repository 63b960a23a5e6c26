#!/usr/bin/env python3
"""Puts the show's page together as one HTML file that fetches nothing: the page's own
HTML and script, the show's code (Emscripten's script, its WebAssembly inside), the
sound library's WebAssembly module for the audio thread, its worklet script, and the
program's pictures and module, compressed.

    make_page.py --web DIR --show SCRIPT --sound WASM --resources DIR --output FILE

The file is written under a temporary name beside FILE and renamed once whole.
"""

import argparse
import base64
import gzip
import json
import os
import pathlib
import sys

# The resources the program's executable carries, by number (resources/resource_numbers.h).
RESOURCES = {
    103: "swirl.bmp",
    104: "cloud.bmp",
    105: "burst.bmp",
    111: "glyphs.bmp",
    113: "banner.bmp",
    116: "thousand.mod",
}


def packed(data):
    """gzip at its best, with no time stamp so that the page is the same every time."""
    return base64.b64encode(gzip.compress(data, compresslevel=9, mtime=0)).decode("ascii")


def inline_script(text):
    """A script's text made safe inside <script> ... </script>."""
    return text.replace("</script", "<\\/script")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--show", required=True)
    parser.add_argument("--sound", required=True)
    parser.add_argument("--resources", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()
    web = pathlib.Path(args.web)
    try:
        payload = {
            "resources": {str(number): packed((pathlib.Path(args.resources) / name).read_bytes())
                          for number, name in RESOURCES.items()},
            "sound": packed(pathlib.Path(args.sound).read_bytes()),
        }
        parts = {
            "{{RESOURCES}}": json.dumps(payload, separators=(",", ":")),
            "{{WORKLET_SCRIPT}}": inline_script((web / "sound_worklet.js").read_text()),
            "{{SHOW_SCRIPT}}": inline_script(pathlib.Path(args.show).read_text()),
            "{{PAGE_SCRIPT}}": inline_script((web / "page.js").read_text()),
        }
        page = (web / "page.html").read_text()
    except OSError as error:
        sys.exit(f"make_page.py: {error}")
    for mark, text in parts.items():
        if page.count(mark) != 1:
            sys.exit(f"make_page.py: the template must hold {mark} once")
        # The parts are put in one after another; none holds another's mark.
        page = page.replace(mark, text)
    output = pathlib.Path(args.output)
    temporary = output.with_name(output.name + ".part")
    try:
        temporary.write_text(page)
        os.replace(temporary, output)
    except OSError as error:
        temporary.unlink(missing_ok=True)
        sys.exit(f"make_page.py: cannot write {output}: {error}")


if __name__ == "__main__":
    main()
