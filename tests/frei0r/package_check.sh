#!/usr/bin/env bash
# The Debian package: `cpack -G DEB` in the build tree makes it; it holds the renderer, the module,
# the frei0r plug-in and the Kdenlive file where they belong, declares what it depends on, and the
# renderer unpacked from it finds its module (through the bin/ link).
# Usage: package_check.sh BUILD_DIR
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing: the package is not tested"; exit 77; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmorblind-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log"; echo "FAIL: cpack -G DEB failed"; exit 1; }
deb=$(ls "$scratch"/*.deb)
contents=$(dpkg-deb -c "$deb")
fail=0
for f in ./usr/lib/frei0r-1/velmorblind.so ./usr/lib/velmorblind/VelmorBlind.so ./usr/lib/velmorblind/velmorblind \
         "./usr/bin/velmorblind -> ../lib/velmorblind/velmorblind" \
         ./usr/share/kdenlive/transitions/frei0r_velmorblind.xml; do
  grep -qF -- "$f" <<<"$contents" || { echo "FAIL: the package lacks $f"; fail=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libstdc++6 libopenimageio; do
  grep -q "$d" <<<"$depends" || { echo "FAIL: Depends ($depends) does not name $d"; fail=1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = velmorblind ] || { echo "FAIL: the package is not named velmorblind"; fail=1; }

dpkg-deb -x "$deb" "$scratch/root"
if ! "$scratch/root/usr/bin/velmorblind" info >"$scratch/info.txt" 2>&1 || ! grep -q Completion "$scratch/info.txt"; then
  cat "$scratch/info.txt"; echo "FAIL: the unpacked renderer does not run with its module"; fail=1
fi
[ $fail = 0 ] && echo "package $(basename "$deb") checked"
exit $fail
