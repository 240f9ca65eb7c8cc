#!/usr/bin/env bash
# The windows `make run` opens, under Xvfb at 1920x1080 and at 1366x768: the demo with its own
# settings file (demo.INI) as `make run` starts it, then with no settings file at all (the first
# start's layout tiling the screen). On each, a screenshot of the WAV window alone, then one
# after SAS File / Build, Yes to opening the new file, and the FFT and MFT windows (F, M). Screenshots go to the
# folder named (default: a temporary one); the script prints their names.
#
#   scripts/gui-demo-layout.sh [build-dir] [screenshot-folder]
set -euo pipefail
source "$(dirname "$0")/gui-setup.sh"
trap 'rm -rf "$WORK"' EXIT

for screen in 1920x1080 1366x768; do
  for start in demo first-start; do
    # A copy of demo.INI, as the program may rewrite the file it is given; a name of no file
    # for the first start.
    settings="$WORK/$start-$screen.INI"
    if [ "$start" = demo ]; then cp "$BUILD/demo.INI" "$settings"; fi
    export settings name="$SHOTS/$start-$screen"
    xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
      set -euo pipefail
      eval "$ANSWER"
      sas="$WORK/$(basename "$name").sas"
      VOCARA_SETTINGS="$settings" "$BUILD/vocara" "$BUILD/demo.wav" >/dev/null 2>&1 &
      program=$!
      until xdotool search --name "demo.wav" >/dev/null 2>&1; do sleep 0.1; done
      sleep 1.5
      import -window root "$name-start.png"
      # The SAS File menu title, from the top left of the WAV window.
      wav=$(xdotool search --name "demo.wav" | head -1)
      eval "$(xdotool getwindowgeometry --shell "$wav")"
      menu="$((X + 268)) $((Y + 8))"
      xdotool mousemove $menu click 1; sleep 0.5; xdotool key b     # SAS File / Build
      answer "Build SAS" "$sas"
      until [ -s "$sas" ]; do sleep 0.1; done
      sleep 4
      import -window root "$name-question.png"
      xdotool key Return                                              # "Open X.sas now?" Yes
      until xdotool search --name "$(basename "$sas")" >/dev/null 2>&1; do sleep 0.1; done
      sleep 1
      xdotool key --window "$wav" f; sleep 1; xdotool key --window "$wav" m; sleep 1.5
      import -window root "$name-windows.png"
      kill $program
    '
    echo "$name-start.png $name-question.png $name-windows.png"
  done
done
