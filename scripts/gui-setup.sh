# Sourced by the scripts that drive the real program under Xvfb, with their arguments
# [build-dir] [screenshot-folder]: BUILD and SHOTS (a temporary folder when none is named), a
# scratch folder WORK, all three exported for the shells xvfb-run starts, and `answer TITLE
# NAME`, which types NAME into the Qt file dialog titled TITLE once it opens, and accepts it.
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
ANSWER=$(declare -f answer)
export ANSWER
