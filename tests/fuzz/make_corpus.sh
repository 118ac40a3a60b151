#!/usr/bin/env bash
# Remakes the seed corpora in tests/fuzz/corpus from what this repository builds (run after a
# default build; the Windows seeds need mingw-w64). Regression inputs found by fuzzing live beside
# the seeds, named regression-*, and are left alone.
#   pipl/    the module's and the loader fixtures' property lists, as raw bytes, and the bundles'
#            lists in the Mac form
#   elf/     the same modules cut down to their section table and .pipl section
#   pe/      tiny Windows DLLs carrying the module's PIPL resource, alone and among others
#   rsrc/    the macOS bundle's resource file, the universal one, and the bundle's with damaged lists
#            (cut, a count or a length past the end, a little-endian list)
#   set/ key/ frames/   the command-line syntax the renderer's README documents
#   image/   a picture drawn in code, written by the renderer in each format and depth
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build/default}"
corpus="$here/corpus"
module="$build/bin/VelmorBlind.so"
fixtures="$build/tests/host/fixtures"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

cmake --build "$build" --target VelmorBlind VelmorBlind_bundle host_fixture_good host_fixture_broken_pipl fuzz_seed_images >/dev/null
rm -f "$corpus"/{pipl,elf,pe,rsrc,image}/seed-* "$corpus"/{set,key,frames}/seed-*
mkdir -p "$corpus"/{pipl,elf,pe,rsrc,set,key,frames,image}
cp "$build/bin/VelmorBlind.plugin/Contents/Resources/VelmorBlind.rsrc" "$corpus/rsrc/seed-VelmorBlind.rsrc"
cp "$build/generated/macos-universal/VelmorBlind.rsrc" "$corpus/rsrc/seed-VelmorBlind-universal.rsrc"

for m in "$module" "$fixtures/fixture_good.so" "$fixtures/fixture_broken_pipl.so"; do
  name="$(basename "$m" .so)"
  objcopy -O binary --only-section=.pipl "$m" "$corpus/pipl/seed-$name.pipl" 2>/dev/null
  objcopy --strip-all --only-section=.pipl "$m" "$corpus/elf/seed-$name.so" 2>/dev/null
done

# The lists out of the resource files, and resource files around damaged lists: the bundle's own,
# its data and offsets remade around each list.
python3 - "$corpus" <<'PY'
import struct, sys
corpus = sys.argv[1]
def read(name):
    with open(f"{corpus}/{name}", "rb") as f:
        return f.read()
def write(name, data):
    with open(f"{corpus}/{name}", "wb") as f:
        f.write(data)
def list_of(rsrc):
    return rsrc[260:struct.unpack(">I", rsrc[4:8])[0]]
good = read("rsrc/seed-VelmorBlind.rsrc")
mac = list_of(good)
write("pipl/seed-VelmorBlind-mac.pipl", mac)
write("pipl/seed-VelmorBlind-universal.pipl", list_of(read("rsrc/seed-VelmorBlind-universal.rsrc")))
map_tail = good[struct.unpack(">I", good[4:8])[0] + 16:]
def around(pipl):
    n = len(pipl)
    header = struct.pack(">IIII", 256, 260 + n, 4 + n, 50)
    return header + bytes(240) + struct.pack(">I", n) + pipl + header + map_tail
write("rsrc/seed-damaged-cut-header.rsrc", around(mac[:6]))
write("rsrc/seed-damaged-cut-list.rsrc", around(mac[:150]))
write("rsrc/seed-damaged-count-past-end.rsrc", around(mac[:7] + b"\x0d" + mac[8:]))
write("rsrc/seed-damaged-length-past-end.rsrc", around(mac[:70] + b"\x01" + mac[71:]))
write("rsrc/seed-damaged-little-endian.rsrc", around(read("pipl/seed-VelmorBlind.pipl")))
PY

rc="$build/generated/VelmorPiPL.rc"
echo 'int stub(void) { return 0; }' >"$scratch/stub.c"
cat >"$scratch/more.rc" <<'RC'
LANGUAGE 7, 1
1 RCDATA { "other data" }
16000 PIPL { 1 }
STRINGTABLE { 1, "a string" }
RC
tiny_dll() {  # OUT RC...
  local out="$1"; shift
  local objs=()
  for r in "$@"; do
    x86_64-w64-mingw32-windres "$r" -O coff -o "$scratch/$(basename "$r").o"
    objs+=("$scratch/$(basename "$r").o")
  done
  x86_64-w64-mingw32-gcc -shared -nostdlib -nostartfiles -s -Wl,--entry=0 -o "$out" "$scratch/stub.c" "${objs[@]}"
}
tiny_dll "$corpus/pe/seed-pipl.aex" "$rc"
tiny_dll "$corpus/pe/seed-among-others.aex" "$scratch/more.rc" "$rc"

"$build/bin/fuzz_seed_images" "$scratch/images"
for f in "$scratch/images"/*; do cp "$f" "$corpus/image/seed-$(basename "$f")"; done

i=0
while IFS= read -r line; do
  [ -n "$line" ] && printf '%s' "$line" >"$corpus/set/seed-$((i += 1))"
done <<'SETS'
Mode=Both
Completion=25%
Delay=10.0%
Width=20 px
Direction=30°
Offset=-45deg
Order=Random
Seed=7
Easing=Cubic
easing mode=Out
State=3
Outside=Mirror
SETS

i=0
while IFS= read -r line; do
  [ -n "$line" ] && printf '%s' "$line" >"$corpus/key/seed-$((i += 1))"
done <<'KEYS'
Completion=0@1,100@48
Direction=0@0,90@10,180@20
Width=5px@3,40.5@9
Mode=One@0,Both@24
easing=Bounce@12
KEYS

i=0
while IFS= read -r line; do
  [ -n "$line" ] && printf '%b' "$line" >"$corpus/frames/seed-$((i += 1))"
done <<'FRAMES'
1-48\nout/f_%04d.png
0\nout/still.png
5-9\nframe_%d.tif
0-9999999\n%9d%%.exr
FRAMES
