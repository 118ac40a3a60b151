#!/usr/bin/env bash
# Lays out every tracked C++ and C file as .clang-format says.
#
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list what is off and fail (what CI runs)
set -euo pipefail
cd "$(dirname "$0")/.."

tool=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$tool" ]; then
    echo "format.sh: clang-format is not installed (Debian package clang-format)." >&2
    exit 2
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
    "$tool" --dry-run --Werror "${files[@]}"
    echo "format.sh: ${#files[@]} files laid out as .clang-format says."
elif [ $# -eq 0 ]; then
    "$tool" -i "${files[@]}"
else
    echo "usage: $0 [--check]" >&2
    exit 2
fi
