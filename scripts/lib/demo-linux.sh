#!/usr/bin/env bash
# scripts/demo --linux: the Linux window installs into a game Steam installed.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$ROOT"

bash scripts/bootstrap >/dev/null
source scripts/lib/wine.sh
echo "demo: building the Linux window"
cmake --preset linux >/dev/null
cmake --build build/linux --target ovix-updater >/dev/null

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then headless=1; fi
url=""
updater=""
cleanup() {
  if [ -n "$updater" ]; then kill "$updater" 2>/dev/null || true; fi
  if [ -n "$url" ]; then bash scripts/service stop "$url" >/dev/null 2>&1 || true; fi
  if [ -n "${OVIX_XVFB_PID:-}" ]; then kill "$OVIX_XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT
ovix_start_display --reuse

url="$(bash scripts/service start service/example --watch $$ | head -1)"
echo "demo: update service at $url"

# A home folder where Steam installed the game (a client that reports version 1.5.0, with a
# configuration file of the player's) and made its Proton prefix.
home="$ROOT/build/demo-linux/home"
rm -rf "$home"
steam="$home/.local/share/Steam/steamapps"
game="$steam/common/World of Tanks/eu"
prefix="$steam/compatdata/1407200/pfx"
mkdir -p "$game/res_mods/1.5.0/ovix" "$prefix/drive_c/users" "$prefix/dosdevices"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s / "$prefix/dosdevices/z:"
work="$(mktemp -d)"
sed -e 's/@OVIX_PE_VERSION@/1,5,0,7/' -e 's/@OVIX_PE_LANGUAGE@/0, 0/' \
  tests/game/pe/version.rc.in >"$work/version.rc"
i686-w64-mingw32-windres "$work/version.rc" -O coff -o "$work/version.o"
i686-w64-mingw32-gcc -s -o "$game/WorldOfTanks.exe" tests/game/pe/tiny.c "$work/version.o"
rm -rf "$work"
echo "the player's own settings" >"$game/res_mods/1.5.0/ovix/config.txt"
echo "demo: game folder $game"

run_updater() {
  HOME="$home" OVIX_UPDATE_URL="$url" build/linux/src/app/ovix-updater "$@"
}
status=0
if [ "$headless" = 1 ]; then
  run_updater >"$ROOT/build/demo-linux/updater.log" 2>&1 &
  updater=$!
  window="$(timeout 30 xdotool search --sync --onlyvisible --name 'Ovix Updater' | head -1)"
  # The install button, at its place in the window's layout (designed at 120 pixels per
  # inch, shown at the display's 96).
  xdotool mousemove --window "$window" 329 212 click 1
  deadline=$((SECONDS + 60))
  until grep -qs "Ovix 2.1" "$game/res_mods/1.5.0/ovix/version.txt"; do
    if [ "$SECONDS" -ge "$deadline" ]; then status=1; echo "demo: the install did not finish" >&2; break; fi
    sleep 0.2
  done
  # The last captions drawn, then the picture.
  sleep 0.5
  mkdir -p artifacts
  import -window "$window" artifacts/demo-linux.png 2>/dev/null && echo "demo: screenshot artifacts/demo-linux.png"
else
  echo "demo: the updater opens; press \"Install / Update\" and close it when done"
  run_updater || true
fi

echo "demo: what is in the game's res_mods folder now:"
(cd "$game/res_mods" && find . -type f | sort | while read -r file; do
  printf '  %s: %s\n' "${file#./}" "$(head -c 60 "$file" | tr '\n' ' ')"
done)
exit "$status"
