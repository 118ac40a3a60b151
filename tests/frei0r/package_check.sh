#!/usr/bin/env bash
# The Debian package: `cpack -G DEB` in the build tree makes it; it holds the renderer, the module,
# the frei0r plug-in, the Kdenlive file, the manual page, copyright and changelog where they belong,
# declares what it depends on, has no maintainer scripts, the renderer unpacked from it finds its
# module (through the bin/ link), and lintian finds nothing to report (skipped, saying so, where
# lintian is missing).
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
         ./usr/share/kdenlive/transitions/frei0r_velmorblind.xml ./usr/share/man/man1/velmorblind.1.gz \
         ./usr/share/doc/velmorblind/copyright ./usr/share/doc/velmorblind/changelog.gz; do
  grep -qF -- "$f" <<<"$contents" || { echo "FAIL: the package lacks $f"; fail=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libc6 libstdc++6 libopenimageio; do
  grep -q "$d" <<<"$depends" || { echo "FAIL: Depends ($depends) does not name $d"; fail=1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = velmorblind ] || { echo "FAIL: the package is not named velmorblind"; fail=1; }
# The plug-ins are loaded by path: nothing for ldconfig to do, so no maintainer scripts at all.
if dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'postinst|postrm|preinst|prerm'; then
  echo "FAIL: the package has maintainer scripts"; fail=1
fi

dpkg-deb -x "$deb" "$scratch/root"
if ! "$scratch/root/usr/bin/velmorblind" info >"$scratch/info.txt" 2>&1 || ! grep -q Completion "$scratch/info.txt"; then
  cat "$scratch/info.txt"; echo "FAIL: the unpacked renderer does not run with its module"; fail=1
fi
if ! zcat "$scratch/root/usr/share/man/man1/velmorblind.1.gz" | grep -q '^\.SH "\?COMMAND RENDER'; then
  echo "FAIL: the manual page lacks the render command's help"; fail=1
fi
[ $fail = 0 ] || exit 1
echo "package $(basename "$deb") checked"

command -v lintian >/dev/null || { echo "lintian is missing (Debian package lintian): the package's Debian checks did not run"; exit 77; }
# Errors and warnings fail; lintian's notice about running as root is not about the package.
if ! lintian --fail-on error,warning "$deb" >"$scratch/lintian.txt" 2>&1 || grep -E '^[EW]: ' "$scratch/lintian.txt"; then
  cat "$scratch/lintian.txt"; echo "FAIL: lintian reports on the package"; exit 1
fi
echo "lintian: nothing to report"
