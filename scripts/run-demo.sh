#!/usr/bin/env bash
# Installs what is needed, builds, installs Wendrake into a demo tree with a demo
# game folder and one catalogued add-on, and runs the launcher there: on your
# display, or on a private Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo="${WENDRAKE_DEMO_ROOT:-$PWD/demo}"
cmake --install build --prefix "$demo" >/dev/null
game="$demo/game"
mkdir -p "$game/Interface/AddOns/Alpha"
hive="$demo/registry.reg"
if ! grep -q '"PluginPath"' "$hive"; then
  printf '"PluginPath"="%s/"\r\n"Home"="%s"\r\n"Version"="0.1.0"\r\n' "$game" "$demo" >> "$hive"
fi
# A catalogued add-on, switched off until somebody logs in.
if [ -z "$(ls "$game/Interface/AddOns/Alpha")" ]; then
  printf '## Title: Alpha\n' > "$game/Interface/AddOns/Alpha/RiftAddon.txt"
  "$demo/bin/wendrakectl" call AddPlugin 1719 1.0 Alpha >/dev/null
fi

echo "Demo installation: $demo"
echo "Log in with any name; the add-on Alpha is switched on ($game/Interface/AddOns/Alpha)."
echo "The program lives in the notification area when closed; end it from its menu there, or with Ctrl+C."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  for number in $(seq 90 199); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] || break
  done
  Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.05; done
  export DISPLAY=":$number"
  echo "No display is set: the launcher runs on a private Xvfb ($DISPLAY)."
fi
exec_status=0
"$demo/bin/wendrake" || exec_status=$?
echo "wendrake ended ($exec_status)."
exit "$exec_status"
