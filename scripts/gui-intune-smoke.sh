#!/usr/bin/env bash
# The in-tune path in the real program under Xvfb: the demo recording analysed and snapped to
# C major with vocara-cli, then opened in the program (the WAV on the command line, the SAS
# through SAS File / Open), the SAS window's pitch pane scrolled to the middle of the voice so that the notes
# as sung show, then corrected through WAV File / Correct so that the correction marks replace
# them; then the Snap to Scale dialog, and Follow Guide with the demo's guide melody. Screenshots go to the folder named
# (default: a temporary one); the script prints their names.
#
#   scripts/gui-intune-smoke.sh [build-dir] [screenshot-folder]
set -euo pipefail
source "$(dirname "$0")/gui-setup.sh"
trap 'rm -rf "$WORK"' EXIT
CLI="$BUILD/src/cli/vocara-cli"

if [ -f "$BUILD/demo.wav" ]; then cp "$BUILD/demo.wav" "$WORK/take.wav"; else "$BUILD/src/cli/vocara-demo" "$WORK/take.wav"; fi
"$CLI" build "$WORK/take.wav" "$WORK/take.sas"
"$CLI" snap "$WORK/take.sas" --key C --scale major

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  eval "$ANSWER"
  cd "$WORK"
  open_take
  import -window "$sas" "$SHOTS/intune-notes.png"
  # The View menu of the WAV window, Show Notes checked.
  xdotool mousemove 400 8 click 1
  sleep 0.5
  import -window root "$SHOTS/intune-view-menu.png"
  xdotool key Escape
  sleep 0.3
  xdotool mousemove 36 8 click 1
  sleep 0.5
  xdotool key c                            # WAV File / Correct
  answer "Save corrected WAV file" "$WORK/corrected.wav"
  until [ -f "$WORK/corrected.wav" ]; do sleep 0.1; done
  sleep 2                                  # the measurement after the render
  xdotool windowraise "$sas"
  sleep 1
  import -window root "$SHOTS/intune-marks.png"
  import -window "$sas" "$SHOTS/intune-sas-window.png"
  # The S&AS Range menu of the WAV window, its last three items enabled.
  xdotool mousemove 340 8 click 1
  sleep 0.5
  import -window root "$SHOTS/intune-menu.png"
  xdotool key s                            # Snap to Scale...: its dialog, then Cancel
  until xdotool search --name "Snap to Scale" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  import -window root "$SHOTS/intune-snap-dialog.png"
  xdotool key Escape
  sleep 0.5
  # S&AS Range / Follow Guide...: the guide chosen in the file dialog, then its own dialog.
  xdotool mousemove 340 8 click 1
  sleep 0.5
  xdotool key i
  answer "Open Guide MIDI File" "$BUILD/demo-guide.mid"
  until xdotool search --name "Follow Guide" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  import -window root "$SHOTS/intune-guide-dialog.png"
  xdotool key Return
  sleep 1.5
  import -window root "$SHOTS/intune-guide-message.png"
  xdotool key Return
  kill $program
  wait $program 2>/dev/null || true
  if [ -s "$WORK/out.txt" ]; then echo "the program printed:"; cat "$WORK/out.txt"; fi
'
echo "screenshots: $SHOTS/intune-notes.png $SHOTS/intune-view-menu.png $SHOTS/intune-marks.png $SHOTS/intune-sas-window.png $SHOTS/intune-menu.png $SHOTS/intune-snap-dialog.png $SHOTS/intune-guide-dialog.png $SHOTS/intune-guide-message.png"
