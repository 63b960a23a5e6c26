#!/bin/sh
# Shows the program. With a display it runs under Wine there, as a person would use
# it. Without one it runs the show for a short while on a private Xvfb display,
# answering the start-up question with No (windowed), saves screenshots and the sound
# it played, and ends it with Escape.
#
#     tools/run.sh build/win32/thousand.exe
#
# Both end with 0 when the show ended on Escape, and otherwise say why and fail. The
# headless run saves into build/screenshots, or THOUSAND_SCREENSHOTS if set.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

if [ -z "${THOUSAND_HEADLESS:-}" ]; then
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        status=0
        "$root/tools/wine.sh" "$program" || status=$?
        # 27 is Escape's, the show's usual end; 0 a closed window or a No.
        [ "$status" -eq 27 ] && status=0
        [ "$status" -ne 0 ] && echo "The show ended with exit code $status." >&2
        exit "$status"
    fi
    echo "No display: running the show on a private Xvfb display for a short while."
    export THOUSAND_HEADLESS=1
    exec "$root/tools/with-xvfb.sh" "$0" "$@"
fi

shots=${THOUSAND_SCREENSHOTS:-$root/build/screenshots}
mkdir -p "$shots"
rm -f "$shots"/*.png "$shots/sound.wav"

# The show's sound goes to a file beside the screenshots: an ALSA device that writes
# what it plays, in a home of its own, and Wine on its ALSA driver alone. A machine
# without a sound card then has nothing to complain about.
home="$shots/.home"
mkdir -p "$home"
cat >"$home/.asoundrc" <<ASOUNDRC
pcm.!default {
    type file
    slave.pcm "null"
    file "$shots/sound.wav"
    format "wav"
}
ASOUNDRC
HOME=$home WINEDLLOVERRIDES="mscoree,mshtml,winepulse.drv,wineoss.drv=" \
    "$root/tools/wine.sh" "$program" &
show=$!

# Ends the show that this script started, by its id, and fails with the reason.
abandon() {
    echo "$1" >&2
    kill "$show" 2>/dev/null || true
    wait "$show" 2>/dev/null || true
    exit 1
}

# Answer "Want to see it BIG ?" with No.
question=""
for _ in $(seq 1 100); do
    question=$(xdotool search --name '^FullScreen\.\.\.$' 2>/dev/null | head -n 1 || true)
    [ -n "$question" ] && break
    sleep 0.2
done
[ -n "$question" ] || abandon "The start-up question did not appear."
xdotool windowfocus --sync "$question" 2>/dev/null || true
xdotool key n

# Screenshots at about 1, 3, 6 and 10 seconds after the answer.
previous=0
for second in 1 3 6 10; do
    sleep $((second - previous))
    previous=$second
    import -window root "$shots/show-${second}s.png"
done

window=$(xdotool search --name '^Dolven Quarn' 2>/dev/null | head -n 1 || true)
[ -n "$window" ] || abandon "The show's window did not appear."
xdotool windowfocus --sync "$window" 2>/dev/null || true
# Held as a hand holds it: the show reads the keys between frames.
xdotool keydown Escape
sleep 0.3
xdotool keyup Escape

# Escape ends the show within a frame; it is given ten seconds.
for _ in $(seq 1 50); do
    kill -0 "$show" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$show" 2>/dev/null; then
    abandon "The show did not end within 10 s of Escape; it was stopped."
fi
status=0
wait "$show" || status=$?

echo "The show ended with exit code $status. Screenshots and sound in $shots:"
ls -1 "$shots"/*.png "$shots"/sound.wav 2>/dev/null || true
# 27 is the code of Escape: the Escape key's own character message.
if [ "$status" -ne 27 ]; then
    echo "Escape should have ended it with 27." >&2
    exit 1
fi
