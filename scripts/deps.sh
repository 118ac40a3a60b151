#!/usr/bin/env bash
# Installs the Debian packages the build needs (listed in .ci/packages.txt) when any is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for pkg in $(cat .ci/packages.txt); do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
