#!/usr/bin/env bash
# WAV File / Keep Formants in the real program under Xvfb: the WAV File menu opened, the item
# chosen by its mnemonic, the preferences file checked for formants=keep, then the menu opened
# again to show the check mark, and the program started anew to show that it remembers.
# Screenshots go to the folder named (default: a temporary one); the script prints their names.
#
#   scripts/gui-formants-smoke.sh [build-dir] [screenshot-folder]
set -euo pipefail
source "$(dirname "$0")/gui-setup.sh"
trap 'rm -rf "$WORK"' EXIT
if [ -f "$BUILD/demo.wav" ]; then cp "$BUILD/demo.wav" "$WORK/take.wav"; else "$BUILD/src/cli/vocara-demo" "$WORK/take.wav"; fi
export XDG_CONFIG_HOME="$WORK/config"

# -noreset: the server stays up between the two runs of the program.
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
  set -euo pipefail
  start() {
    "$BUILD/vocara" "$WORK/take.wav" >>"$WORK/out.txt" 2>&1 &
    program=$!
    for _ in $(seq 300); do xdotool search --name "take.wav" >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 1
  }
  wav_menu() { xdotool mousemove 30 8 click 1; sleep 0.5; }
  start
  wav_menu
  import -window root "$SHOTS/formants-menu-off.png"
  xdotool key k                            # WAV File / Keep Formants
  sleep 0.5
  wav_menu
  import -window root "$SHOTS/formants-menu-on.png"
  xdotool key Escape
  kill $program; wait $program 2>/dev/null || true
  start
  wav_menu
  import -window root "$SHOTS/formants-menu-remembered.png"
  xdotool key Escape
  kill $program; wait $program 2>/dev/null || true
  if [ -s "$WORK/out.txt" ]; then echo "the program printed:"; cat "$WORK/out.txt"; fi
'
grep -qx "formants=keep" "$XDG_CONFIG_HOME/vocara/preferences" || { echo "the choice was not kept" >&2; exit 1; }
echo "screenshots: $SHOTS/formants-menu-off.png $SHOTS/formants-menu-on.png $SHOTS/formants-menu-remembered.png"
