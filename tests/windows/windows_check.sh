#!/usr/bin/env bash
# Checks of the Windows build, run from the Linux test suite. Each first brings the `windows`
# preset's build (build/windows: VelmorBlind.aex and velmor_matrix.exe) up to date, then:
#
#   exports  the module is a PE32+ DLL whose export table names EntryPointFunc alone, and the
#            module and velmor_matrix.exe import nothing but system DLLs;
#   pipl     the module's "PIPL" resource (id 16000, language 1033), as binutils finds it, is the
#            298 bytes of the Linux module's .pipl section, and the host's own PE reader (run on
#            Linux) reads the same bytes;
#   matrix   velmor_matrix.exe under wine (a fresh prefix, no display) prints exactly the lines
#            the Linux velmor_matrix prints: same property list, same checksum for every frame.
#
# usage: windows_check.sh MODE SOURCE_DIR WORK_DIR CMAKE LINUX_MODULE LINUX_MATRIX OBJCOPY
# Exit status 77 (a skip) when the cross compiler or wine is not installed; that is the only skip.
set -uo pipefail

mode=$1 src=$2 work=$3 cmake=$4 linux_module=$5 linux_matrix=$6 objcopy=$7
build="$src/build/windows"
mingw=x86_64-w64-mingw32

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

for tool in "$mingw-g++-posix" "$mingw-windres" "$mingw-objdump" "$mingw-objcopy"; do
  command -v "$tool" >/dev/null ||
    skip "$tool is not installed (Debian: g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64), so the Windows module cannot be built here"
done
wine=""
if [ "$mode" = matrix ]; then
  wine=$(command -v wine || command -v wine64 || true)
  [ -n "$wine" ] || skip "wine is not installed (Debian: wine, wine64), so the Windows build cannot be run here"
fi

mkdir -p "$work" "$build" || fail "cannot make $work or $build"

# ---- the build: one at a time, whichever test (or test tree) gets here first -------------------
(
  flock 9
  cd "$src" || exit 1
  if ! "$cmake" --preset windows >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"; exit 1
  fi
  if ! "$cmake" --build --preset windows -j "$(nproc)" >"$work/build.log" 2>&1; then
    tail -n 60 "$work/build.log"; exit 1
  fi
) 9>"$build/.test-build.lock" || fail "the windows preset did not build (logs in $work)"

aex="$build/bin/VelmorBlind.aex"
exe="$build/bin/velmor_matrix.exe"
[ -f "$aex" ] && [ -f "$exe" ] || fail "the windows build made no $aex or $exe"

# Windows' own DLLs; anything else (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll...)
# would have to be shipped beside the module.
is_system_dll() {
  case "${1,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|ws2_32.dll|\
    ntdll.dll|msvcrt.dll|ucrtbase.dll|bcrypt.dll|api-ms-win-*.dll) return 0 ;;
    *) return 1 ;;
  esac
}

check_imports() {  # FILE DUMP
  local dlls
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$2")
  [ -n "$dlls" ] || fail "$1: objdump shows no import table"
  for dll in $dlls; do
    is_system_dll "$dll" || fail "$1 imports $dll, which is not a system DLL (imports: $(echo $dlls))"
  done
  echo "$(basename "$1") imports only system DLLs: $(echo $dlls)"
}

case "$mode" in
exports)
  "$mingw-objdump" -p "$aex" >"$work/aex.objdump" || fail "objdump cannot read $aex"
  grep -Eq '^Magic[[:space:]]+020b' "$work/aex.objdump" || fail "$aex is not PE32+"
  grep -Eq '^[[:space:]]+DLL$' "$work/aex.objdump" || fail "$aex is not marked as a DLL"
  # Names: the lines of the name table, "[   0] EntryPointFunc".
  names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/aex.objdump" |
          sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
  # Every exported address, named or by ordinal only.
  addresses=$(sed -n '/^Export Address Table/,/^$/p' "$work/aex.objdump" | grep -Ec '^[[:space:]]*\[ *[0-9]+\]')
  [ "$names" = EntryPointFunc ] || fail "exported names are '$(echo $names)', expected EntryPointFunc alone"
  [ "$addresses" = 1 ] || fail "$addresses exported addresses, expected 1"
  echo "VelmorBlind.aex exports EntryPointFunc alone"
  check_imports "$aex" "$work/aex.objdump"
  "$mingw-objdump" -p "$exe" >"$work/exe.objdump" || fail "objdump cannot read $exe"
  check_imports "$exe" "$work/exe.objdump"
  ;;

pipl)
  "$mingw-objdump" -p "$aex" >"$work/aex.objdump" || fail "objdump cannot read $aex"
  # The resource tree as objdump prints it: type entries, id entries, language entries, leaves.
  tree=$(sed -n '/^The .rsrc Resource Directory section/,/^$/p' "$work/aex.objdump")
  [ -n "$tree" ] || fail "$aex has no resource directory"
  echo "$tree"
  # Follow the tree: the PIPL type, then its entry 16000 (0x3e80), then language 1033 (0x409). The
  # depth of a line is its indentation after the offset: type entries 3, ids 5, languages 7,
  # leaves 8.
  leaf=$(echo "$tree" | awk '
    { if (!match($0, /^[0-9a-f]+ +/)) next; depth = RLENGTH - length($1) }
    depth == 3 && /Entry:/ { type = ($0 ~ /: PIPL, Value:/); id = 0; lang = 0 }
    depth == 5 && /Entry: ID:/ { id = type && $4 == "0x003e80,"; lang = 0 }
    depth == 7 && /Entry: ID:/ { lang = id && $4 == "0x000409," }
    depth == 8 && /Leaf: Addr:/ && lang { sub(/,$/, "", $4); sub(/,$/, "", $6); print $4, $6; exit }')
  [ -n "$leaf" ] || fail "no resource of type PIPL, id 16000, language 1033 in $aex"
  read -r rva size <<<"$leaf"
  [ $((size)) = 298 ] || fail "the PIPL resource is $((size)) bytes, expected 298"
  base=$(sed -n 's/^ImageBase[[:space:]]*//p' "$work/aex.objdump")
  vma=$("$mingw-objdump" -h "$aex" | awk '$2 == ".rsrc" { print $4 }')
  [ -n "$base" ] && [ -n "$vma" ] || fail "cannot find the image base or the .rsrc section of $aex"
  offset=$(( rva - (0x$vma - 0x$base) ))
  "$mingw-objcopy" -O binary --only-section=.rsrc "$aex" "$work/rsrc.bin" || fail "objcopy of .rsrc failed"
  tail -c +$((offset + 1)) "$work/rsrc.bin" | head -c $((size)) >"$work/pipl.aex.bin"
  "$objcopy" -O binary --only-section=.pipl "$linux_module" "$work/pipl.so.bin" || fail "objcopy of .pipl failed"
  [ "$(stat -c %s "$work/pipl.so.bin")" = 298 ] || fail "the Linux .pipl section is not 298 bytes"
  cmp "$work/pipl.aex.bin" "$work/pipl.so.bin" || fail "the PIPL resource differs from the Linux .pipl section"
  echo "PIPL resource 16000/1033: 298 bytes, identical to the Linux .pipl section"
  hex=$(od -An -v -tx1 "$work/pipl.so.bin" | tr -d ' \n')
  host=$("$linux_matrix" --pipl "$aex") || fail "the host's PE reader refused $aex"
  [ "$host" = "$hex" ] || fail "the host's PE reader read other bytes: $host"
  echo "the host's PE reader reads the same 298 bytes from VelmorBlind.aex"
  ;;

matrix)
  prefix="$work/wineprefix"
  rm -rf "$prefix"
  "$linux_matrix" >"$work/linux.txt" 2>"$work/linux.err"
  linux_status=$?
  start=$(date +%s)
  (cd "$build/bin" && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all \
     WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$wine" velmor_matrix.exe >"$work/windows.raw" 2>"$work/wine.err")
  windows_status=$?
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  tr -d '\r' <"$work/windows.raw" >"$work/windows.txt"
  echo "wine run: $(( $(date +%s) - start )) s (prefix created fresh), exit status $windows_status"
  [ "$linux_status" = 0 ] || { cat "$work/linux.txt" "$work/linux.err" | tail -n 20; fail "the Linux velmor_matrix failed ($linux_status)"; }
  [ "$windows_status" = 0 ] || { tail -n 20 "$work/windows.txt" "$work/wine.err"; fail "velmor_matrix.exe failed under wine ($windows_status)"; }
  if ! diff -u "$work/linux.txt" "$work/windows.txt" >"$work/matrix.diff"; then
    head -n 80 "$work/matrix.diff"
    fail "$(grep -c '^-frame' "$work/matrix.diff") frame lines differ between Linux and Windows (all in $work/matrix.diff)"
  fi
  frames=$(grep -c '^frame ' "$work/linux.txt")
  [ "$frames" -gt 0 ] || fail "no frame lines"
  head -n 7 "$work/linux.txt"
  echo "$frames frames: every line the same on Linux and under wine"
  ;;

*)
  fail "unknown mode $mode"
  ;;
esac
