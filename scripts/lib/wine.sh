# Sourced by every script that runs Windows programs. It picks the Wine that runs on this
# machine and the Windows build that goes with it, and starts a private X server and a
# private Wine prefix, so nothing touches the user's own.
#
# The product is the 32-bit OvixUpdater.exe, tested under Wine's 32-bit half where that
# starts. Some kernels run no 32-bit x86 program at all ("Exec format error"), and the
# 32-bit half may be missing; there the same sources are built for x86_64 and run under
# the 64-bit Wine. OVIX_WINE_ARCH=64 takes that path on any machine, OVIX_WINE_ARCH=32
# insists on the other.
#
#   ovix_wine_pick             sets OVIX_WINE_ARCH (32 or 64), OVIX_WINE (the loader),
#                              OVIX_WINE_WHY (one line: which Wine and why) and
#                              OVIX_WIN_BUILD (build/win32 or build/win64); exits with a
#                              message when no Wine runs here
#   ovix_win_configure 32|64 [ARGS...]
#                              configures build/win32 or build/win64 from its preset,
#                              quietly, with the Wine of the same width as its emulator
#   ovix_start_display [--reuse]
#                              starts Xvfb on a free display and exports DISPLAY; with
#                              --reuse a display that answers is kept instead
#   ovix_wine_prefix DIR       exports WINEPREFIX=DIR (DIR-64 on the 64-bit path) and makes
#                              it once: no debugger on a crash, a virtual desktop
#   ovix_wine_keep_running     keeps one Wine session up until ovix_wine_stop, so that
#                              the wineserver and Wine's own programs start once rather
#                              than for every program run (seconds each)
#   ovix_wine_virtual_desktop 1|0
#                              windows in one virtual desktop (for screenshots) or not
#   ovix_wine CMD...           runs a Windows program or tool under the picked Wine
#   ovix_wine_stop             ends the prefix's programs and the X server (for EXIT traps)

# The same paths are the emulators in CMakePresets.json.
OVIX_WINE32_LOADER=/usr/lib/wine/wine
OVIX_WINE64_LOADER=/usr/lib/wine/wine64

ovix_wine_fail() {
  echo "wine: $*" >&2
  exit 1
}

# The loader's own version line, or why it does not start ("Exec format error").
ovix_wine_try() {
  local loader="$1" out
  if [ ! -x "$loader" ]; then
    echo "$loader is not installed"
    return 1
  fi
  if ! out=$("$loader" --version 2>&1); then
    echo "$loader does not start: ${out##*: }"
    return 1
  fi
  echo "$out"
}

ovix_wine_pick() {
  local want="${OVIX_WINE_ARCH:-}" why32="" why64=""
  OVIX_WINE=""  # never one a calling script exported
  case "$want" in
    "" | 32 | 64) ;;
    *) ovix_wine_fail "OVIX_WINE_ARCH must be 32, 64 or unset, not '$want'" ;;
  esac
  if [ "$want" != 64 ]; then
    if why32=$(ovix_wine_try "$OVIX_WINE32_LOADER"); then
      OVIX_WINE_ARCH=32
      OVIX_WINE="$OVIX_WINE32_LOADER"
      OVIX_WINE_WHY="32-bit Wine ($why32): the product itself, build/win32"
    elif [ "$want" = 32 ]; then
      ovix_wine_fail "OVIX_WINE_ARCH=32, but $why32"
    fi
  else
    why32="OVIX_WINE_ARCH=64 asks for the 64-bit path"
  fi
  if [ -z "$OVIX_WINE" ]; then
    if ! why64=$(ovix_wine_try "$OVIX_WINE64_LOADER"); then
      ovix_wine_fail "no Wine runs here: $why32; $why64." \
        "Run scripts/bootstrap, which installs both halves of Wine."
    fi
    OVIX_WINE_ARCH=64
    OVIX_WINE="$OVIX_WINE64_LOADER"
    OVIX_WINE_WHY="64-bit Wine ($why64), because $why32: the x86_64 build, build/win64"
  fi
  OVIX_WIN_BUILD="build/win$OVIX_WINE_ARCH"
  # Debian's wine and wineboot wrappers prefer the 32-bit loader whenever it is installed,
  # even where it cannot start; Wine starts its helpers through WINELOADER.
  export WINELOADER="$OVIX_WINE" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export OVIX_WINE_ARCH OVIX_WINE OVIX_WINE_WHY OVIX_WIN_BUILD
}

ovix_wine() {
  "$OVIX_WINE" "$@"
}

ovix_win_configure() {
  local arch="$1"
  shift
  # The presets (CMakePresets.json) hold the toolchain and the Wine of the same width.
  cmake --preset "win$arch" "$@" >/dev/null
}

ovix_start_display() {
  if [ "${1:-}" = --reuse ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  local display=90 deadline=$((SECONDS + 20))
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  export DISPLAY=":$display"
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  OVIX_XVFB_PID=$!
  until xdpyinfo >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || ovix_wine_fail "the X server on $DISPLAY did not start"
    sleep 0.1
  done
}

ovix_wine_prefix() {
  local prefix="$1"
  [ "$OVIX_WINE_ARCH" = 32 ] || prefix="$prefix-64"
  export WINEPREFIX="$prefix"
  [ -f "$WINEPREFIX/system.reg" ] && return
  echo "wine: preparing a Wine prefix in $WINEPREFIX (once)"
  mkdir -p "$(dirname "$WINEPREFIX")"
  ovix_wine wineboot -i >/dev/null 2>&1 || ovix_wine_fail "wineboot failed in $WINEPREFIX"
  # A crash ends the program at once instead of waiting in Wine's debugger; "false" names
  # no program, so starting the debugger fails. Both registry views, for 32-bit programs in
  # a 64-bit prefix.
  local key view
  for view in 'Software' 'Software\Wow6432Node'; do
    key="HKLM\\$view\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"
    ovix_wine reg add "$key" /v Debugger /d false /f >/dev/null 2>&1 &&
      ovix_wine reg add "$key" /v Auto /d 1 /f >/dev/null 2>&1 ||
      ovix_wine_fail "cannot turn the debugger off in $WINEPREFIX"
  done
  ovix_wine_virtual_desktop 1
  wineserver -w
}

ovix_wine_keep_running() {
  wineserver -p
  # Wine's own programs start here, their output going nowhere: a test runner waits for
  # every program that holds its output open, and these stay until the session ends.
  ovix_wine wineboot >/dev/null 2>&1 </dev/null
}

# A virtual desktop gives windows Wine-drawn frames, so screenshots show a whole dialog
# even without a window manager; on a real desktop windows are the desktop's own.
ovix_wine_virtual_desktop() {
  if [ "$1" = 1 ]; then
    ovix_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    ovix_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
      >/dev/null 2>&1
  else
    ovix_wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null 2>&1 || true
  fi
}

# Runs from EXIT traps under set -e, where a failing command would change the exit status.
ovix_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "${OVIX_XVFB_PID:-}" ]; then kill "$OVIX_XVFB_PID" 2>/dev/null || true; fi
}
