#!/bin/sh
# Shows the program. With a display it runs under Wine there, as a person would use
# it. Without one it runs the show for a short while on a private Xvfb display,
# answering the start-up question with No (windowed), and saves screenshots.
#
#     tools/run.sh build/win32/thousand.exe
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

if [ -z "${THOUSAND_HEADLESS:-}" ]; then
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        exec "$root/tools/wine.sh" "$program"
    fi
    echo "No display: running the show on a private Xvfb display for a short while."
    export THOUSAND_HEADLESS=1
    exec "$root/tools/with-xvfb.sh" "$0" "$@"
fi

shots="$root/build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/*.png

"$root/tools/wine.sh" "$program" &
show=$!

# Answer "Want to see it BIG ?" with No.
question=""
for _ in $(seq 1 100); do
    question=$(xdotool search --name '^FullScreen\.\.\.$' 2>/dev/null | head -n 1 || true)
    [ -n "$question" ] && break
    sleep 0.2
done
if [ -z "$question" ]; then
    echo "The start-up question did not appear." >&2
    kill "$show" 2>/dev/null || true
    exit 1
fi
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
if [ -n "$window" ]; then
    xdotool windowfocus --sync "$window" 2>/dev/null || true
fi
xdotool key Escape
status=0
wait "$show" || status=$?
echo "The show ended with exit code $status. Screenshots:"
ls -1 "$shots"/*.png
