#!/usr/bin/env bash
# Screenshots of the windows under a virtual X display, in English and Czech, at 100 % and
# 200 %: the main window idle and during a relation with kolvane-modemsim, the send-SMS
# dialog and the alarm window. PNG files go to docs/screenshots/.
set -euo pipefail
SELF=$(realpath "$0")
cd "$(dirname "$SELF")/.."
BIN=${KOLVANE_BIN_DIR:-build/bin}
OUT=docs/screenshots
mkdir -p "$OUT"

need=()
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
command -v Xvfb >/dev/null || need+=(xvfb)
if ((${#need[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  $SUDO apt-get install -y -qq "${need[@]}"
fi

# A window's picture, once it is mapped and drawn.
grab() {
  local i
  for i in $(seq 20); do
    import -window "$1" "$2" 2>/dev/null && return 0
    sleep 0.5
  done
  echo "cannot grab $2" >&2
  return 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# One run: LANG (EN or CZ), SCALE (1 or 2).
shoot() {
  local lang=$1 scale=$2 tag="${1,,}-${2}x"
  local dir port smtp pop3 modem kolvane wid
  dir=$(mktemp -d)
  port=$(free_port); smtp=$(free_port); pop3=$(free_port)
  cat >"$dir/Kolvane.ini" <<INI
[CFG]
Language=$lang
ComTcp=1
GtIPAdress=127.0.0.1
GtTCPPort=$port
SmtpPort=$smtp
Pop3Port=$pop3
OnLine=1
IntervalOnLine=9000
TestStartOn=0
InSmsAlarmStr=SMS for the duty phone
RunParamAsSMS=1
RunParDefTelNo=+420777333444
[FMain]
Left=0
Top=0
Width=531
Height=338
[fSiSend]
Left=0
Top=470
Width=380
Height=240
INI
  # Traffic for the relation shots: an SMS to send (the command-line text below) and, once the
  # gateway runs, one to receive (no echo: a later arrival would take the keyboard focus).
  # The main window and the send dialog sit left, clear of the alarm window in the middle.
  : >"$dir/inject.txt"
  # Slow answers keep the relation on screen for a few seconds.
  "$BIN/kolvane-modemsim" --tcp "$port" --delay-ms 400 --inject-file "$dir/inject.txt" \
    >/dev/null 2>&1 &
  modem=$!
  QT_SCALE_FACTOR=$scale "$BIN/Kolvane" --dir "$dir" "Server backup finished" >/dev/null 2>&1 &
  kolvane=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kolvane$' | head -1)
  sleep 3
  grab "$wid" "$OUT/main-idle-$tag.png"
  # The Start button has the focus: Space presses it.
  xdotool windowfocus --sync "$wid"
  xdotool key space
  sleep 2
  printf '+420777111222\tAre you there?\n' >>"$dir/inject.txt"
  # The second relation receives, below the first one's sent SMS, with the counters above 0.
  sleep 18
  grab "$wid" "$OUT/main-relation-$tag.png"
  # The PC picture opens the send-SMS dialog.
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  xdotool mousemove --window "$wid" $((PC_X * scale)) $((HEIGHT - PC_Y * scale)) click 1
  local send
  local send_title='^Program Kolvane To Send SMS$' alarm_title='^Kolvane - Alarm$'
  if [ "$lang" = CZ ]; then send_title='^Program Kolvane - odeslání SMS$' alarm_title='^Kolvane - Poplach$'; fi
  send=$(timeout 10 xdotool search --sync --onlyvisible --name "$send_title" | head -1)
  xdotool windowfocus --sync "$send"
  xdotool type --delay 20 '+420777333444'
  xdotool key Tab
  xdotool type --delay 20 'Meeting moved to 10:30, room 4.'
  sleep 1
  grab "$send" "$OUT/send-$tag.png"
  xdotool key --window "$send" alt+F4 || true
  # A received SMS raises the alarm.
  printf '+420777111222\tCall me back\n' >>"$dir/inject.txt"
  local alarm
  alarm=$(timeout 40 xdotool search --sync --onlyvisible --name "$alarm_title" | head -1)
  sleep 1
  grab "$alarm" "$OUT/alarm-$tag.png"
  # The program ends between relations; the modem after it.
  kill "$kolvane" 2>/dev/null || true
  timeout 30 tail --pid="$kolvane" -f /dev/null || kill -9 "$kolvane" 2>/dev/null || true
  kill "$modem" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}

# The PC picture's centre, from the window's bottom-left corner at 100 %.
PC_X=${PC_X:-108}
PC_Y=${PC_Y:-46}

if [ -z "${KOLVANE_IN_XVFB:-}" ]; then
  exec env KOLVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 2400x1600x24" "$SELF" "$@"
fi
for lang in EN CZ; do
  for scale in 1 2; do
    shoot "$lang" "$scale"
  done
done
ls -l "$OUT"

