#!/bin/sh
# Installs the Debian packages that building, running and testing need.
# Run as root it installs what is missing with apt-get; otherwise it prints
# the exact command to run and fails.
set -eu

NATIVE="cmake make g++ pkg-config python3 googletest libgtest-dev libbenchmark-dev
        libosmesa6-dev libglu1-mesa-dev libegl-dev libgles-dev libegl-mesa0
        g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
        wine xvfb xdotool x11-utils imagemagick
        openmpt123 sox clang libclang-rt-14-dev python3-numpy ffmpeg
        libfreetype-dev libpng-dev fonts-dejavu-core fonts-dejavu-extra
        tesseract-ocr tesseract-ocr-eng
        emscripten nodejs chromium firefox-esr pulseaudio"
# PulseAudio adds an ALSA hook that Wine's 32-bit ALSA can load only with the 32-bit
# plugins: without them the Wine layers would lose their sound.
I386="wine32:i386 libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 libasound2-plugins:i386"

missing=""
for pkg in $NATIVE $I386; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done

[ -z "$missing" ] && exit 0

needs_i386=""
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    needs_i386="dpkg --add-architecture i386 && "
fi
command="${needs_i386}apt-get update && apt-get install -y --no-install-recommends$missing"

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run as root:" >&2
    echo "  $command" >&2
    exit 1
fi

echo "Installing:$missing"
[ -n "$needs_i386" ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
