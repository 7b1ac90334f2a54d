#!/usr/bin/env bash
# Installs what is needed, builds, installs Wendrake into a demo tree and starts
# the launcher there: on your display, or on a private Xvfb when there is none
# (then it saves a screenshot of the login dialog and says where).
#
# The demo is self-contained: a demo home (demo/home) holds a Wine prefix laid
# out as game managers make them, with a stand-in for the game's patcher (a
# script that says it ran), two catalogued add-ons in the game's add-on folder, a
# reference catalogue offering more (one newer than the installed copy) and their
# packages in Temp.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo="${WENDRAKE_DEMO_ROOT:-$PWD/demo}"
cmake --install build --prefix "$demo" >/dev/null
home="$demo/home"
prefix="$home/Games/rift"
game="$prefix/drive_c/Program Files (x86)/Rift"
addons="$game/Interface/AddOns"
mkdir -p "$addons" "$prefix/drive_c/windows"
[ -e "$prefix/system.reg" ] || printf 'WINE REGISTRY Version 2\n' > "$prefix/system.reg"

# The game's patcher: a native script under the patcher's name starts directly.
cat > "$game/riftpatchchinese.exe" <<'PATCHER'
#!/bin/sh
# Stand-in for the game's patcher.
log="$(dirname "$0")/game-started.log"
echo "$(date '+%F %T') 游戏已启动（演示用的替身程序）: $0" >> "$log"
echo "Wendrake demo: the game's patcher was started ($0)"
command -v xmessage >/dev/null && xmessage -center -timeout 5 "游戏已启动（演示）" >/dev/null 2>&1 &
exit 0
PATCHER
chmod +x "$game/riftpatchchinese.exe"

# An add-on folder as the game has it, and its package.
make_addon() {  # folder title version target-folder
  mkdir -p "$4/$1"
  printf '## Title: %s\n## Version: %s\n' "$2" "$3" > "$4/$1/RiftAddon.txt"
  printf -- '-- %s %s\n' "$2" "$3" > "$4/$1/main.lua"
}
make_package() {  # folder title version
  local stage
  stage=$(mktemp -d)
  make_addon "$1" "$2" "$3" "$stage"
  (cd "$stage" && cmake -E tar cf "$demo/Temp/$1.zip" --format=zip "$1")
  rm -rf "$stage"
}
if [ ! -e "$demo/.demo-made" ]; then
  make_addon RiftMeter "伤害统计" 1.0 "$addons"
  make_addon QuestHelper "任务助手" 2.1 "$addons"
  make_package RiftMeter "伤害统计" 1.2
  make_package MapPlus "地图增强" 0.9
  make_package ChatTabs "聊天标签" 1.0
  cat > "$demo/update.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8" ?>
<Wendrake>
    <plugin>
        <item pid="1719" ver="1.2" PlugName="RiftMeter" name="伤害统计 RiftMeter" />
        <item pid="1720" ver="2.1" PlugName="QuestHelper" name="任务助手 QuestHelper" />
        <item pid="1721" ver="0.9" PlugName="MapPlus" name="地图增强 MapPlus" />
        <item pid="1722" ver="1.0" PlugName="ChatTabs" name="聊天标签 ChatTabs" />
    </plugin>
</Wendrake>
XML
  printf '"PluginPath"="%s/"\r\n"Home"="%s"\r\n"Version"="0.1.0"\r\n"Skin"="1"\r\n' "$game" "$demo" >> "$demo/registry.reg"
  "$demo/bin/wendrakectl" call AddPlugin 1719 1.0 RiftMeter >/dev/null
  "$demo/bin/wendrakectl" call AddPlugin 1720 2.1 QuestHelper >/dev/null
  touch "$demo/.demo-made"
fi

echo "Demo installation: $demo"
echo "Log in with any name: the add-ons RiftMeter and QuestHelper are switched on ($addons)."
echo "\"开始游戏\" asks for the game's location the first time: \"浏览…\" opens in the demo prefix; the stand-in patcher writes $game/game-started.log."
echo "The program lives in the notification area when closed; end it from its menu there, or with Ctrl+C."

# The demo home: the game search and the file chooser find the demo prefix there.
export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}"
export HOME="$home"
xvfb=""
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
"$demo/bin/wendrake" &
launcher=$!
trap 'kill -INT $launcher 2>/dev/null' INT TERM
if [ -n "$xvfb" ]; then
  # With nobody to see it, a picture of the login dialog once it has drawn.
  shot="$demo/login-dialog.png"
  for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '367x273' && break
    sleep 0.1
  done
  sleep 2
  import -window root -crop 367x273+"$(xwininfo -root -tree | grep 367x273 | head -1 | sed -E 's/.*367x273\+([0-9]+)\+([0-9]+).*/\1+\2/')" "$shot" && echo "Screenshot of the login dialog: $shot"
fi
wait "$launcher" || exec_status=$?
echo "wendrake ended ($exec_status)."
exit "$exec_status"
