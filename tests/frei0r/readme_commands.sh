#!/usr/bin/env bash
# The README's melt, GStreamer and ffmpeg commands, taken from README.md and run as written on small
# generated clips and pictures, with the build's renderer first on PATH and its plug-in found through
# FREI0R_PATH as the README says. Each runs where its tool is installed; skipped (77) if none is.
# Usage: readme_commands.sh README.md BUILD_DIR
set -euo pipefail
readme=$(realpath "$1")
build=$(realpath "$2")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velmorblind-readme.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export PATH="$build/bin:$PATH" FREI0R_PATH="$build/frei0r:/usr/lib/frei0r-1" GST_REGISTRY="$scratch/registry.bin"

# The shell block after the paragraph that starts with **NAME**, or the first `...` span holding
# PROGRAM in that paragraph.
block() { awk -v head="**$1**" 'index($0, head) == 1 {found = 1} found && /^```sh$/ {inside = 1; next}
                                 inside && /^```$/ {exit} inside {print}' "$readme"; }
inline() { awk -v head="**$1**" 'index($0, head) == 1 {found = 1} found && /^$/ {exit} found {print}' "$readme" |
             tr '\n' ' ' | grep -o "\`[^\`]*$2[^\`]*\`" | head -1 | tr -d '\`'; }
have() { command -v "$1" >/dev/null; }
fail() { echo "FAIL: $*"; exit 1; }
ran=0

# Two opaque pictures of the same size, for the renderer and GStreamer.
python3 - <<'PY'
import struct, zlib
def png(name, w, h, pixel):
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    open(name, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
                           + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
png("a.png", 96, 64, lambda x, y: (200, 40 + x, 30 + 2 * y, 255))
png("b.png", 96, 64, lambda x, y: (20 + 2 * y, 90, 250 - x, 255))
PY

if have melt; then
  # 30-frame clips of the two pictures.
  for c in a b; do
    melt $c.png out=29 -consumer avformat:$c.mp4 vcodec=libx264 width=96 height=64 >melt_$c.log 2>&1 ||
      { cat melt_$c.log; fail "could not make $c.mp4"; }
  done
  command=$(block melt)
  [ -n "$command" ] || fail "no melt command in the README"
  bash -c "$command" >melt.log 2>&1 </dev/null || { cat melt.log; fail "the README's melt command failed"; }
  [ -s out.mp4 ] || fail "the README's melt command wrote no out.mp4"
  # 30 + 30 frames, 25 of them mixed.
  if have ffprobe; then
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 out.mp4)
    [ "$frames" = 35 ] || fail "out.mp4 has $frames frames, not 35"
  fi
  echo "melt: the README's command wrote out.mp4"
  ran=1
fi

if have gst-launch-1.0 && gst-inspect-1.0 frei0r-mixer-velmorblind >/dev/null 2>&1; then
  command=$(block GStreamer)
  [ -n "$command" ] || fail "no GStreamer command in the README"
  bash -c "$command" >gst.log 2>&1 </dev/null || { cat gst.log; fail "the README's GStreamer command failed"; }
  # (HostsTest compares GStreamer's frames with the renderer's.)
  [ -s mixed.png ] || fail "the README's GStreamer command wrote no mixed.png"
  echo "GStreamer: the README's command wrote mixed.png"
  ran=1
fi

if have ffmpeg; then
  command=$(inline ffmpeg "ffmpeg -framerate")
  [ -n "$command" ] || fail "no ffmpeg command in the README"
  mkdir ffmpeg && cp a.png b.png ffmpeg/ && cd ffmpeg
  bash -c "$command" >ffmpeg.log 2>&1 </dev/null || { cat ffmpeg.log; fail "the README's ffmpeg command failed"; }
  if have ffprobe; then
    format=$(ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt,nb_frames -of csv=p=0 out.mp4)
    [ "$format" = "yuv420p,48" ] || fail "the README's ffmpeg command wrote $format, not yuv420p,48"
  fi
  echo "ffmpeg: the README's command wrote out.mp4 (yuv420p)"
  cd ..
  ran=1
fi

[ $ran = 1 ] || { echo "melt, GStreamer and ffmpeg are missing: the README's commands did not run"; exit 77; }
