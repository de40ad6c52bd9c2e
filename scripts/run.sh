#!/usr/bin/env bash
# The main job: installs what the programs need and builds only them (build.sh programs),
# then upgrades a simulated unit with the firmware package this build carries, through a
# pseudo-terminal, exactly as an operator's upgrade of a real unit runs, and checks that the
# unit's flash now holds the image.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh programs
bin="$PWD/build/bin"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/package-info" --dump-image "$work/image.bin"
echo

# The package's own model answers as the unit; COM1 of a ports directory of our own.
model=$("$bin/package-info" | awk -F': *' '/^Expected model/ {print $2}')
mkdir "$work/ports"
"$bin/unitsim" --ports-dir "$work/ports" --port 1 --model "$model" --flash-dump "$work/flash.bin" \
  > "$work/unitsim.out" 2> "$work/unitsim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^unitsim: COM1 ->' "$work/unitsim.out" 2>/dev/null && break
  sleep 0.05
done
cat "$work/unitsim.out"
echo

status=0
( cd "$work" && BOOTLOADER_PORTS="$work/ports" "$bin/bootloader-cli" --port 1 ) || status=$?
kill -TERM "$sim_pid"; wait "$sim_pid" || true; sim_pid=""
echo
if [ "$status" -ne 0 ]; then
  echo "bootloader-cli exited with status $status" >&2
  exit "$status"
fi

# The application area (2048 to the last program address) must equal the image; the
# boot loader's area below 2048 is never written.
end=$("$bin/package-info" | awk -F': *' '/^Program end/ {print $2}')
last=$((end))
if cmp -s <(tail -c +2049 "$work/image.bin" | head -c $((last + 1 - 2048))) \
          <(tail -c +2049 "$work/flash.bin" | head -c $((last + 1 - 2048))); then
  echo "Unit flash equals the image from 2048 to $end."
else
  echo "Unit flash differs from the image" >&2
  exit 1
fi
