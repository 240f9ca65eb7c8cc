#!/usr/bin/env bash
# Plays a 3-second tone in the real program under Xvfb on a private PulseAudio null sink and
# reports how long the sink had a stream (the key press to the stream's close), then opens
# View / Audio Device Settings. Screenshots go to the folder named (default: a temporary one).
#
#   scripts/gui-audio-smoke.sh [build-dir] [screenshot-folder]
set -euo pipefail
source "$(dirname "$0")/gui-setup.sh"
export XDG_RUNTIME_DIR="$WORK/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
pulseaudio --daemonize=no --exit-idle-time=-1 -n --disallow-exit --log-level=error \
  --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=ci_sink rate=48000 channels=2 norewinds=1" \
  --load="module-null-source source_name=ci_source rate=48000 channels=2 max_latency_msec=20" \
  >/dev/null 2>&1 &
PA=$!
trap 'kill $PA 2>/dev/null; rm -rf "$WORK"' EXIT
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done

python3 - "$WORK/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)
    w.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 440 * i / 48000)))
                           for i in range(3 * 48000)))
PY

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  cd "$WORK"
  "$BUILD/vocara" "$WORK/tone.wav" >"$WORK/out.txt" 2>&1 &
  program=$!
  until xdotool search --name "tone.wav" >/dev/null 2>&1; do sleep 0.1; done
  sleep 1
  window=$(xdotool search --name "tone.wav" | head -1)
  xdotool mousemove 300 300 click 1
  start=$(date +%s.%N)
  xdotool key --window "$window" p
  until pactl list short sink-inputs | grep -q .; do sleep 0.005; done
  opened=$(date +%s.%N)
  sleep 1
  import -window root "$SHOTS/playing.png"
  while pactl list short sink-inputs | grep -q .; do sleep 0.01; done
  closed=$(date +%s.%N)
  echo "stream opened after $(echo "$opened - $start" | bc) s, sounded $(echo "$closed - $opened" | bc) s for 3 s of audio"
  # The "View" menu title on the menu bar, then its "&Audio Device Settings..." item.
  xdotool mousemove 400 8 click 1
  sleep 0.5
  xdotool key a
  sleep 1
  import -window root "$SHOTS/audio-settings.png"
  xdotool key Escape
  sleep 0.3
  kill $program
  wait $program 2>/dev/null || true
  if [ -s "$WORK/out.txt" ]; then echo "the program printed:"; cat "$WORK/out.txt"; fi
'
echo "screenshots in $SHOTS"
