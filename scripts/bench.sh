#!/usr/bin/env bash
# Builds the benchmarks and prints one table of speed cases, each with its baseline measured in
# the same run (these machines are shared and noisy: only the ratios compare across runs).
#
#   scripts/bench.sh [--json FILE] [--reps N] [--no-build]
#
# Columns: case, median ms, baseline, baseline ms, ratio (case / baseline). The pass/* and
# frame/* cases come from velmor_bench (bench/cases); mem/4000/8 is a 4000 x 4000 8-bit render's
# peak resident memory in MB against four frames plus 64 MB (host and module alone), and
# mem/4000/8/render the same for the whole renderer process (`velmorblind render big.png`). Where ffmpeg is installed the same
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
    cmake --build --preset default -j "$(nproc)" --target velmor_bench velmorblind VelmorBlind >/dev/null
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
