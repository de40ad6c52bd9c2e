#!/usr/bin/env bash
# Pictures of the desktop program for docs/: the main window after a whole upgrade against
# the simulated unit, the about box and the port dialog. Offscreen: no display needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/build.sh
bin="$root/build/bin"
mkdir -p "$root/docs"

work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A unit of the model the embedded package expects, on COM1 of a ports directory of our own;
# the program starts in a fresh directory, so it creates its settings file with port 1.
model=$("$bin/package-info" | awk -F: '/^Expected model/ { gsub(/ /, "", $2); print $2 }')
mkdir -p "$work/ports" "$work/run"
export BOOTLOADER_PORTS="$work/ports"
"$bin/unitsim" --ports-dir "$work/ports" --port 1 --model "$model" >"$work/unitsim.out" &
sim=$!
for _ in $(seq 100); do
  grep -q '^unitsim: COM1 -> ' "$work/unitsim.out" 2>/dev/null && break
  sleep 0.1
done
grep -q '^unitsim: COM1 -> ' "$work/unitsim.out" || { echo "unitsim did not start" >&2; exit 1; }

(cd "$work/run" && QT_QPA_PLATFORM=offscreen "$bin/bootloader" --screenshot "$root/docs")
ls -l "$root/docs"/*.png
