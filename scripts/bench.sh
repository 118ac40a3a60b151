#!/usr/bin/env bash
# Builds the benchmarks and prints one table of speed cases, each with its baseline measured in
# the same run (these machines are shared and noisy: only the ratios compare across runs).
#
#   scripts/bench.sh [--json FILE] [--reps N] [--no-build]
#
# Columns: case, median ms, baseline, baseline ms, ratio (case / baseline). The pass/* and
# frame/* cases come from velmor_bench (bench/cases); mem/4000/8 is a 4000 x 4000 8-bit render's
# peak resident memory in MB against four frames plus 64 MB (host and module alone), and
# mem/4000/8/render the same for the whole renderer process (`velmorblind render big.png`). The
# frei0r/* cases run the frei0r plug-in's f0r_update2 (velmor_bench); melt/* and gst/* run it in
# the editors' own hosts, next to what they already ship (skipped, with a note, where melt, GStreamer
# or frei0r-plugins is missing): melt/velmorblind and melt/xfade0r are ms per frame of a 50-frame
# 1920 x 1080 transition between two stills, whole melt runs to a raw yuv420p /dev/null consumer,
# less the same run without a transition; gst/velmorblind and gst/smpte are ms per frame (1000 /
# average fps) through frei0r-mixer-velmorblind at progress 0.5 and smpte's bar-wipe-lr.
# Where ffmpeg is installed the same
# run also measures its xfade hlslice transition per frame (gbrap, same size and threads; the
# baseline of pass/move/8 and pass/shrink/8) and the end-to-end 24-frame PNG and TIFF jobs, the
# renderer against ffmpeg writing the same frames from the same two pictures.
set -euo pipefail
cd "$(dirname "$0")/.."

json=""
reps=7
build=1
while [ $# -gt 0 ]; do
    case "$1" in
        --json) json="$2"; shift 2 ;;
        --reps) reps="$2"; shift 2 ;;
        --no-build) build=0; shift ;;
        *) echo "usage: $0 [--json FILE] [--reps N] [--no-build]" >&2; exit 2 ;;
    esac
done

threads=2
bin=build/default/bin
if [ "$build" = 1 ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$(nproc)" --target velmor_bench velmorblind VelmorBlind velmorblind_frei0r >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rows="$work/rows.tsv"

"$bin/velmor_bench" --reps "$reps" --threads "$threads" >"$rows"
"$bin/velmor_bench" --memory >>"$rows"
"$bin/velmor_bench" --memory-render "$bin/velmorblind" "$work" >>"$rows"
rm -f "$work"/big.* "$work"/out.png

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
now() { date +%s.%N; }

if command -v ffmpeg >/dev/null 2>&1; then
    # ffmpeg's slice transition per frame: rtime / frames, less the same graph with the
    # transition replaced by a plain stream select (how PERF.md measures it).
    n=120
    graph() {
        echo "testsrc2=s=1920x1080:r=25:d=0.04,format=gbrap,loop=loop=$((n - 1)):size=1:start=0,setpts=N/25/TB[a];color=c=red:s=1920x1080:r=25:d=0.04,format=gbrap,loop=loop=$((n - 1)):size=1:start=0,setpts=N/25/TB[b];$1"
    }
    rtime() {
        ffmpeg -hide_banner -nostats -benchmark -filter_complex_threads "$threads" -threads 1 \
            -filter_complex "$(graph "$1")" -map "[o]" -frames:v "$n" -f null - 2>&1 |
            sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
    }
    for _ in $(seq "$reps"); do
        x=$(rtime "[a][b]xfade=transition=hlslice:duration=4.8:offset=0[o]")
        s=$(rtime "[a][b]streamselect=inputs=2:map=0[o]")
        awk -v x="$x" -v s="$s" -v n="$n" 'BEGIN { printf "%.3f\n", (x - s) * 1000 / n }'
    done | median | awk '{ printf "xfade/hlslice/8\t%.3f\t-\t0\n", $1 }' >>"$rows"

    # End to end: two 1920 x 1080 RGBA pictures, 24 frames, whole-process wall time, the two
    # commands alternating.
    ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:d=1 -frames:v 1 -pix_fmt rgba "$work/a.png"
    ffmpeg -loglevel error -y -f lavfi -i mandelbrot=s=1920x1080 -frames:v 1 -pix_fmt rgba "$work/b.png"
    for ext in png tiff; do
        : >"$work/ours"; : >"$work/theirs"
        for _ in $(seq 3); do
            rm -rf "$work/o1" "$work/o2"; mkdir -p "$work/o1" "$work/o2"
            t0=$(now)
            "$bin/velmorblind" render "$work/a.png" --under "$work/b.png" -o "$work/o1/f_%04d.$ext" \
                --frames 0-23 --quiet
            t1=$(now)
            ffmpeg -loglevel error -y -loop 1 -i "$work/a.png" -loop 1 -i "$work/b.png" -filter_complex \
                "[0][1]xfade=transition=hlslice:duration=0.96:offset=0,format=rgba" -frames:v 24 \
                "$work/o2/f_%04d.$ext"
            t2=$(now)
            awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }' >>"$work/ours"
            awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }' >>"$work/theirs"
        done
        name=png24; [ "$ext" = tiff ] && name=tiff24
        printf 'e2e/%s\t%s\tffmpeg/%s\t%s\n' "$name" "$(median <"$work/ours")" "$name" \
            "$(median <"$work/theirs")" >>"$rows"
    done
fi

# Two 1920 x 1080 opaque stills for the editors' cases (and the end-to-end jobs above).
pictures() {
    [ -f "$work/a.png" ] && return 0
    if command -v ffmpeg >/dev/null 2>&1; then
        ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:d=1 -frames:v 1 -pix_fmt rgba "$work/a.png"
        ffmpeg -loglevel error -y -f lavfi -i mandelbrot=s=1920x1080 -frames:v 1 -pix_fmt rgba "$work/b.png"
    elif command -v convert >/dev/null 2>&1; then
        convert -size 1920x1080 plasma:fractal -alpha set "PNG32:$work/a.png"
        convert -size 1920x1080 gradient:navy-orange -alpha set "PNG32:$work/b.png"
    else
        return 1
    fi
}
hostreps=$((reps < 5 ? reps : 5))
# A folder of its own for the hosts to search: this build's plug-in and xfade0r alone (another
# velmorblind.so in the system's folders must not stand in for this build's).
plugins="$work/frei0r"
mkdir -p "$plugins"
ln -s "$(cd "$bin/../frei0r" && pwd)/velmorblind.so" "$plugins/"
for dir in /usr/lib/x86_64-linux-gnu/frei0r-1 /usr/lib/frei0r-1 /usr/local/lib/frei0r-1; do
    if [ -f "$dir/xfade0r.so" ]; then
        ln -s "$dir/xfade0r.so" "$plugins/"
        break
    fi
done
note() { echo "bench.sh: $*" >&2; }

if ! command -v melt >/dev/null 2>&1; then
    note "melt is not installed: melt/* skipped"
elif ! FREI0R_PATH="$plugins" melt -query transitions 2>/dev/null | grep -q frei0r.xfade0r; then
    note "melt finds no frei0r.xfade0r (frei0r-plugins): melt/* skipped"
elif ! pictures; then
    note "neither ffmpeg nor ImageMagick to make the pictures: melt/* skipped"
else
    # Whole runs, alternating; per frame = (run - the run without a transition) / 50.
    meltrun() {
        local t0 t1
        t0=$(now)
        (cd "$work" && FREI0R_PATH="$plugins" melt -quiet -profile atsc_1080p_25 a.png out=49 -track b.png out=49 \
            "$@" -consumer avformat:/dev/null f=rawvideo pix_fmt=yuv420p real_time=-1 >/dev/null 2>&1)
        t1=$(now)
        awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
    }
    tr="in=0 out=49 a_track=0 b_track=1"
    : >"$work/m0"; : >"$work/mv"; : >"$work/mx"
    for _ in $(seq "$hostreps"); do
        meltrun >>"$work/m0"
        # shellcheck disable=SC2086
        meltrun -transition frei0r.velmorblind $tr 'progress=0=0;-1=1' >>"$work/mv"
        # shellcheck disable=SC2086
        meltrun -transition frei0r.xfade0r $tr 'fader=0=0;-1=1' >>"$work/mx"
    done
    base=$(median <"$work/m0")
    ours=$(median <"$work/mv" | awk -v b="$base" '{ printf "%.3f", ($1 - b) / 50 }')
    theirs=$(median <"$work/mx" | awk -v b="$base" '{ printf "%.3f", ($1 - b) / 50 }')
    printf 'melt/velmorblind\t%s\tmelt/xfade0r\t%s\n' "$ours" "$theirs" >>"$rows"
    printf 'melt/xfade0r\t%s\t-\t0\n' "$theirs" >>"$rows"
fi

if ! command -v gst-launch-1.0 >/dev/null 2>&1; then
    note "GStreamer's tools are not installed: gst/* skipped"
elif ! GST_REGISTRY="$work/registry.bin" FREI0R_PATH="$plugins" gst-inspect-1.0 frei0r-mixer-velmorblind >/dev/null 2>&1 ||
    ! GST_REGISTRY="$work/registry.bin" gst-inspect-1.0 smpte >/dev/null 2>&1; then
    note "GStreamer lacks its frei0r wrapper or smpte (gstreamer1.0-plugins-bad, -good): gst/* skipped"
elif ! pictures; then
    note "neither ffmpeg nor ImageMagick to make the pictures: gst/* skipped"
else
    # Each still decoded once and repeated; the mixer into a fake sink as fast as it goes, for
    # 6 seconds (smpte never ends by itself); ms per frame from the sink's average rate.
    gstrun() {
        local mixer="$1" format="$2" pads="$3"
        (cd "$work" && GST_REGISTRY="$work/registry.bin" FREI0R_PATH="$plugins" timeout 6 gst-launch-1.0 -v \
            $mixer name=m ! fpsdisplaysink video-sink=fakesink sync=false text-overlay=false \
            filesrc location=a.png ! pngdec ! videoconvert ! video/x-raw,format=$format ! imagefreeze ! m.${pads%% *} \
            filesrc location=b.png ! pngdec ! videoconvert ! video/x-raw,format=$format ! imagefreeze ! m.${pads##* } \
            2>/dev/null || true) | sed -n 's/.*rendered: \([0-9]*\),.*average: \([0-9.]*\).*/\1 \2/p' | tail -1 |
            awk '$1 >= 100 && $2 > 0 { printf "%.3f\n", 1000 / $2 }'
    }
    : >"$work/gv"; : >"$work/gs"
    for _ in $(seq "$hostreps"); do
        gstrun "frei0r-mixer-velmorblind progress=0.5" RGBA "sink_0 sink_1" >>"$work/gv"
        gstrun "smpte type=bar-wipe-lr duration=3600000000000" I420 "sink1 sink2" >>"$work/gs"
    done
    if [ -s "$work/gv" ] && [ -s "$work/gs" ]; then
        smpte=$(median <"$work/gs")
        printf 'gst/velmorblind\t%s\tgst/smpte\t%s\n' "$(median <"$work/gv")" "$smpte" >>"$rows"
        printf 'gst/smpte\t%s\t-\t0\n' "$smpte" >>"$rows"
    else
        note "GStreamer rendered fewer than 100 frames in 6 s: gst/* skipped"
    fi
fi

# The table: baselines that are other rows take those rows' times; pass/move/8 and
# pass/shrink/8 are compared with ffmpeg's transition when it was measured.
awk -F'\t' -v json="$json" '
    { name[NR] = $1; ms[NR] = $2; base[NR] = $3; bms[NR] = $4; at[$1] = NR }
    END {
        if ("xfade/hlslice/8" in at)
            for (i = 1; i <= NR; i++)
                if (name[i] == "pass/move/8" || name[i] == "pass/shrink/8") {
                    base[i] = "xfade/hlslice/8"; bms[i] = ms[at["xfade/hlslice/8"]]
                }
        printf "%-22s %10s  %-22s %11s  %7s\n", "case", "median ms", "baseline", "baseline ms", "ratio"
        if (json != "") printf "[\n" > json
        for (i = 1; i <= NR; i++) {
            ratio = bms[i] > 0 ? sprintf("%.3f", ms[i] / bms[i]) : "-"
            printf "%-22s %10.3f  %-22s %11.3f  %7s\n", name[i], ms[i], base[i], bms[i], ratio
            if (json != "")
                printf "  {\"name\": \"%s\", \"ms\": %.3f, \"baseline\": \"%s\", \"baseline_ms\": %.3f, \"ratio\": %s}%s\n",
                    name[i], ms[i], base[i], bms[i], ratio == "-" ? "null" : ratio, i < NR ? "," : "" > json
        }
        if (json != "") printf "]\n" > json
    }' "$rows"
