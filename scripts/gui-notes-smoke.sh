#!/usr/bin/env bash
# Note mode in the real program under Xvfb: the demo recording analysed with vocara-cli and
# opened in the program, the SAS window's pitch pane scrolled to the voice, F6, then the third
# note bar found on a screenshot by its colour, clicked and dragged up 30 rows (two semitones at
# the pane's eighth of a row per cent), then the S&AS Range menu and the Shape Notes dialog.
# Screenshots
# go to the folder named (default: a temporary one); the script prints their names.
#
#   scripts/gui-notes-smoke.sh [build-dir] [screenshot-folder]
set -euo pipefail
source "$(dirname "$0")/gui-setup.sh"
trap 'rm -rf "$WORK"' EXIT
CLI="$BUILD/src/cli/vocara-cli"

if [ -f "$BUILD/demo.wav" ]; then cp "$BUILD/demo.wav" "$WORK/take.wav"; else "$BUILD/src/cli/vocara-demo" "$WORK/take.wav"; fi
"$CLI" build "$WORK/take.wav" "$WORK/take.sas"
cp "$WORK/take.sas" "$WORK/built.sas"

# The centre of the n-th bar (from the left) of the note bars' fill colour on a screenshot, as
# "x y" in the image's pixels; nothing when there are fewer bars.
cat >"$WORK/bar.py" <<'EOF'
import subprocess, sys
path, n = sys.argv[1], int(sys.argv[2])
width, height = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
data = subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])
columns = {}
for y in range(height):
    row = data[3 * width * y: 3 * width * (y + 1)]
    for x in range(width):
        if row[3 * x: 3 * x + 3] == bytes((170, 215, 225)):
            columns.setdefault(x, []).append(y)
bars, last = [], None
for x in sorted(columns):
    if last is None or x > last + 2:
        bars.append([])
    bars[-1].append(x)
    last = x
if len(bars) >= n:
    xs = bars[n - 1]
    x = xs[len(xs) // 2]
    ys = columns[x]
    print(x, sum(ys) // len(ys))
EOF
export CLI

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  eval "$ANSWER"
  cd "$WORK"
  open_take
  xdotool windowfocus "$sas" 2>/dev/null || true
  xdotool key F6                           # Edit Mode / Note
  sleep 1
  import -window "$sas" "$SHOTS/notes-layer.png"
  read -r bx by < <(python3 "$WORK/bar.py" "$SHOTS/notes-layer.png" 3)
  # The window image and the screen share their origin: the bar lies at (X + bx, Y + by).
  xdotool mousemove $((X + bx)) $((Y + by)) mousedown 1
  for step in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $((X + bx)) $((Y + by - step * 3))
    sleep 0.05
  done
  sleep 0.3
  import -window "$sas" "$SHOTS/notes-dragging.png"
  xdotool mouseup 1
  sleep 1
  import -window "$sas" "$SHOTS/notes-moved.png"
  import -window root "$SHOTS/notes-screen.png"
  # S&AS Range / Shape Notes... from the menu of the WAV window, with the note still chosen.
  xdotool mousemove 340 8 click 1
  sleep 0.5
  import -window root "$SHOTS/notes-menu.png"
  xdotool key h
  until xdotool search --name "Shape Notes" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  import -window root "$SHOTS/notes-shape-dialog.png"
  xdotool key Escape
  kill $program
  wait $program 2>/dev/null || true
  if [ -s "$WORK/out.txt" ]; then echo "the program printed:"; cat "$WORK/out.txt"; fi
'
if cmp -s "$WORK/take.sas" "$WORK/built.sas"; then echo "the drag changed nothing in take.sas" >&2; exit 1; fi
echo "screenshots: $SHOTS/notes-layer.png $SHOTS/notes-dragging.png $SHOTS/notes-moved.png $SHOTS/notes-screen.png $SHOTS/notes-menu.png $SHOTS/notes-shape-dialog.png"
