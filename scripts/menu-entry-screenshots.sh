#!/usr/bin/env bash
# The window program started as the menu entry starts it (Exec=Kolvane, no folder given) by a
# normal user, under a virtual X display: once on its own (it opens in the user's data folder),
# once beside a running service whose status the user may read, once beside one the user may
# not read. Needs root (it runs the program as USER, default: a throwaway user it creates).
# PNG files go to docs/screenshots/.
set -euo pipefail
SELF=$(realpath "$0")
cd "$(dirname "$SELF")/.."
BIN=$(realpath "${KOLVANE_BIN_DIR:-build/bin}")
OUT=$(realpath docs/screenshots)
USER_NAME=${USER_NAME:-kolvane-shot}
mkdir -p "$OUT"

need=()
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
if ((${#need[@]})); then apt-get install -y -qq "${need[@]}"; fi
id "$USER_NAME" >/dev/null 2>&1 || useradd -m -s /bin/bash "$USER_NAME"
HOME_DIR=$(getent passwd "$USER_NAME" | cut -d: -f6)

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Runs the window program as the user under a virtual display and grabs the window titled
# TITLE into FILE. ENV holds extra NAME=VALUE words for the program.
shoot() {
  local title=$1 file=$2
  shift 2
  runuser -u "$USER_NAME" -- env HOME="$HOME_DIR" LC_ALL=C.UTF-8 "$@" \
    xvfb-run -a -s "-screen 0 900x700x24" bash -c '
      until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.2; done
      "$0" & app=$!
      for i in $(seq 40); do
        wid=$(xdotool search --name "^$1\$" 2>/dev/null | head -1) && [ -n "$wid" ] && break
        sleep 0.25
      done
      sleep 1.5
      import -window "${wid:-root}" "$2"
      kill $app 2>/dev/null; wait $app 2>/dev/null || true
    ' "$BIN/Kolvane" "$title" "/tmp/$(basename "$file")"
  cp "/tmp/$(basename "$file")" "$file"
}

# 1. On its own: the user's data folder, with ports a user may open.
rm -rf "$HOME_DIR/.local/share/kolvane"
install -d -o "$USER_NAME" -m 0700 "$HOME_DIR/.local/share/kolvane"
runuser -u "$USER_NAME" -- sh -c "printf '[CFG]\nSmtpPort=$(free_port)\nPop3Port=$(free_port)\nTestStartOn=0\nStartGo=1\n' > '$HOME_DIR/.local/share/kolvane/Kolvane.ini'"
shoot Kolvane "$OUT/menu-user-folder-en.png" KOLVANE_SERVICE_DIR=/nonexistent

# 2. Beside a service the user may read: a headless gateway of the same user in its folder.
service=$(mktemp -d /tmp/kolvane-service-XXXX)
chown "$USER_NAME" "$service"
printf '[CFG]\nComName=%s/ttyGSM\nSmtpPort=%s\nPop3Port=%s\nOnLine=1\n' "$service" \
  "$(free_port)" "$(free_port)" > "$service/Kolvane.ini"
chown "$USER_NAME" "$service/Kolvane.ini"
runuser -u "$USER_NAME" -- "$BIN/Kolvane" --headless --dir "$service" > "$service/out.txt" 2>&1 &
svc=$!
sleep 3
shoot Kolvane "$OUT/menu-beside-service-en.png" KOLVANE_SERVICE_DIR="$service"
kill $svc; wait $svc || true

# 3. Beside a service of another user (its folder private): the unit is active.
private=$(mktemp -d /tmp/kolvane-private-XXXX)
chmod 0700 "$private"
stub=$(mktemp -d /tmp/kolvane-stub-XXXX)
printf '#!/bin/sh\nexit 0\n' > "$stub/systemctl"
chmod 0755 "$stub" "$stub/systemctl"
shoot Kolvane "$OUT/menu-beside-private-service-en.png" KOLVANE_SERVICE_DIR="$private" \
  PATH="$stub:$PATH"
rm -rf "$service" "$private" "$stub"
ls -l "$OUT"/menu-*.png
