# Sourced by the scripts that drive the real program under Xvfb, with their arguments
# [build-dir] [screenshot-folder]: BUILD and SHOTS (a temporary folder when none is named), a
# scratch folder WORK, all three exported for the shells xvfb-run starts, and `answer TITLE
# NAME`, which types NAME into the Qt file dialog titled TITLE once it opens, and accepts it, and
# `open_take` (below).
# xvfb-run is a POSIX shell script that drops exported functions, so the shells it starts get
# answer as the text ANSWER, to `eval "$ANSWER"`.
# The scripts run from the repository's top folder.
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=$(realpath "${1:-build}")
SHOTS=$(realpath -m "${2:-$(mktemp -d)}")
mkdir -p "$SHOTS"
WORK=$(mktemp -d)
export WORK SHOTS BUILD

answer() {
  until xdotool search --name "$1" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  xdotool type --delay 5 "$2"
  xdotool key Return
}
# open_take: the program started on $WORK/take.wav (its output in $WORK/out.txt), $WORK/take.sas
# opened through the WAV window's SAS File / Open, the SAS window raised and sized to 1200 x 700
# (its pitch pane opens on the voice). Sets program (its process), sas (the window) and the
# window's X, Y, WIDTH and HEIGHT.
open_take() {
  "$BUILD/vocara" "$WORK/take.wav" >"$WORK/out.txt" 2>&1 &
  program=$!
  until xdotool search --name "take.wav" >/dev/null 2>&1; do sleep 0.1; done
  sleep 1
  # The menu titles of the WAV window at the top left, then the items by their mnemonics.
  xdotool mousemove 268 8 click 1
  sleep 0.5
  xdotool key p                            # SAS File / Open
  answer "Open SAS File" "$WORK/take.sas"
  until xdotool search --name "take.sas" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  sas=$(xdotool search --name "take.sas" | head -1)
  xdotool windowraise "$sas"
  xdotool windowsize --sync "$sas" 1200 700 2>/dev/null || xdotool windowsize "$sas" 1200 700
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$sas")"
  # The pitch pane opens on the notes sung: nothing to scroll.
  sleep 1
}
ANSWER=$(declare -f answer open_take)
export ANSWER
