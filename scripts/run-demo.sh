#!/usr/bin/env bash
# Installs what is needed, builds, installs Wendrake into a demo tree with a demo
# game folder, and runs it there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo="${WENDRAKE_DEMO_ROOT:-$PWD/demo}"
cmake --install build --prefix "$demo" >/dev/null
game="$demo/game"
mkdir -p "$game/Interface/AddOns"
hive="$demo/registry.reg"
if ! grep -q '"PluginPath"' "$hive"; then
  printf '"PluginPath"="%s/"\r\n"Home"="%s"\r\n"Version"="0.1.0"\r\n' "$game" "$demo" >> "$hive"
fi

# The desktop window is not built yet: show the demo installation through the
# headless tool instead.
echo "Demo installation: $demo"
echo "The launcher window is not built yet; running wendrakectl on the demo tree."
ctl="$demo/bin/wendrakectl"
set -x
"$ctl" call GetLocalProgVer
"$ctl" call AddPlugin 1719 1.0 Alpha
mkdir -p "$game/Interface/AddOns/Alpha"
"$ctl" call GetExistPlugin
"$ctl" call ChangeSkin 2
"$ctl" call SaveUserData 'player^secret'
"$ctl" call ReadRegData
