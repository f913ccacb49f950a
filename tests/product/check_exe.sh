#!/usr/bin/env bash
# Static checks of the shipped program file, which need no Windows to run: every machine
# runs them, also those whose Wine cannot start the 32-bit program.
# Usage: check_exe.sh CHECK EXE TOOL_PREFIX VERSION MAX_STRIPPED_BYTES
#   CHECK is one of machine, subsystem, imports, manifest, version, size.
set -euo pipefail
check="$1" exe="$2" tools="$3" version="$4" max_size="$5"

fail() {
  echo "$exe: $*" >&2
  exit 1
}
[ -f "$exe" ] || fail "no such file"

# The resources as a script: the manifest as quoted lines, the version block as text.
resources() { "${tools}windres" -i "$exe" -O rc; }

case "$check" in
  machine)
    header=$("${tools}objdump" -f "$exe" 2>&1 || true)
    grep -q 'file format pei-i386$' <<<"$header" && grep -q '^architecture: i386,' <<<"$header" ||
      fail "not a 32-bit x86 program: $(head -3 <<<"$header" | tr '\n' ' ')"
    ;;
  subsystem)
    subsystem=$("${tools}objdump" -p "$exe" | grep '^Subsystem' || true)
    grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$subsystem" ||
      fail "not a Windows GUI program: $subsystem"
    ;;
  imports)
    # DLLs the system always loads from its own directory (its known DLLs), and the common
    # controls, which the manifest binds to the system's side-by-side copy. Anything else
    # would be looked for beside the program first, where a download folder may hold a
    # planted one; WinINet and version.dll are loaded at run time for that reason.
    allowed=' advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll '
    allowed+='ole32.dll oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll '
    dlls=$("${tools}objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
    [ -n "$dlls" ] || fail "no import table found"
    for dll in $dlls; do
      [[ "$allowed" == *" $dll "* ]] || fail "imports $dll, which is not a system DLL loaded from the system directory"
    done
    ;;
  manifest)
    manifest=$(resources | sed -n '/RT_MANIFEST/,/^END/p')
    [ -n "$manifest" ] || fail "has no manifest resource"
    for want in 'processorArchitecture=""x86""' 'level=""asInvoker""' \
      'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""' \
      "name=\"\"Ovix.Updater\"\" version=\"\"$version\"\""; do
      grep -qF "$want" <<<"$manifest" || fail "manifest lacks $want"
    done
    ;;
  version)
    block=$(resources | sed -n '/VERSIONINFO/,/^END/p')
    [ -n "$block" ] || fail "has no version resource"
    for want in "FILEVERSION ${version//./, }" 'VALUE "OriginalFilename", "OvixUpdater.exe"' \
      "VALUE \"FileVersion\", \"$version\"" 'VALUE "ProductName", "Ovix Updater"'; do
      grep -qF "$want" <<<"$block" || fail "version resource lacks $want"
    done
    ;;
  size)
    stripped=$(mktemp)
    trap 'rm -f "$stripped"' EXIT
    "${tools}strip" -o "$stripped" "$exe"
    size=$(stat -c %s "$stripped")
    echo "stripped size: $size bytes (at most $max_size)"
    [ "$size" -le "$max_size" ] || fail "stripped, $size bytes, more than $max_size"
    ;;
  *) fail "unknown check $check" ;;
esac
