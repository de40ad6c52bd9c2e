#!/usr/bin/env bash
# The station demo: starts eight simulated units, four of them with a fault from unitsim's
# fault plan, upgrades them all at once with one bootloader-cli command, then checks the
# report against every unit's flash.
#
#   bash scripts/station-demo.sh [--units N] [--instant] [--keep]
#
# Units emulate wire time at 115200 bit/s, so the batch takes about as long as one upgrade
# (some 8 s) and the table can be watched; --instant drops that. Run it in a terminal to see
# the live table; piped, it prints each log line behind its port. --keep keeps the work
# directory (report, flash dumps, unit traces) and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
units=8 wire="--wire-time" keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --units) units="$2"; shift 2 ;;
    --instant) wire=""; shift ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--units N] [--instant] [--keep]" >&2; exit 2 ;;
  esac
done
bash scripts/build.sh > /dev/null
bin="$PWD/build/bin"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ "$keep" = 1 ]; then echo "Work directory kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

"$bin/package-info" --dump-image "$work/image.bin" > /dev/null
model=$("$bin/package-info" | awk -F': *' '/^Expected model/ {print $2}')
end=$(( $("$bin/package-info" | awk -F': *' '/^Program end/ {print $2}') ))

# A fault for some of the units (exchanges count from 1; the block writes are 131 to 626).
fault_for() {
  case "$1" in
    2) echo "--noise-at 200 --noise-bytes 5" ;;   # noise before a reply: the upgrade copes
    4) echo "--report-model 6117" ;;              # its boot loader says it is another model
    6) echo "--hang-up-at 400" ;;                 # the line drops during the block writes
    7) echo "--power-loss-at-write 250" ;;        # power lost during a block write
    *) echo "" ;;
  esac
}

mkdir "$work/ports"
for n in $(seq "$units"); do
  # shellcheck disable=SC2046
  "$bin/unitsim" --ports-dir "$work/ports" --port "$n" --model "$model" $wire $(fault_for "$n") \
    --flash-dump "$work/flash$n.bin" > "$work/unitsim$n.out" 2> "$work/unitsim$n.err" &
  pids+=($!)
done
for n in $(seq "$units"); do
  for _ in $(seq 200); do
    grep -q "^unitsim: COM$n ->" "$work/unitsim$n.out" 2>/dev/null && break
    sleep 0.05
  done
  echo "$(cat "$work/unitsim$n.out")${wire:+ (wire time)} $(fault_for "$n")"
done
echo

echo "\$ bootloader-cli --ports 1-$units --report station-report.jsonl"
status=0
( cd "$work" && BOOTLOADER_PORTS="$work/ports" "$bin/bootloader-cli" --ports "1-$units" \
    --report station-report.jsonl ) || status=$?
echo "bootloader-cli exited with status $status"
for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
pids=()

# Every "completed" in the report must be a unit whose flash holds the image.
echo
echo "Report (station-report.jsonl), checked against each unit's flash:"
bad=0
for n in $(seq "$units"); do
  line=$(grep "\"port\":\"COM$n\"" "$work/station-report.jsonl")
  result=$(sed -E 's/.*"result":"([^"]*)".*/\1/' <<< "$line")
  if cmp -s <(tail -c +2049 "$work/image.bin" | head -c $((end + 1 - 2048))) \
            <(tail -c +2049 "$work/flash$n.bin" | head -c $((end + 1 - 2048))); then
    flash="holds the image"
  else
    flash="does not hold the image"
  fi
  echo "  COM$n: $result; flash $flash"
  if [ "$result" = completed ] && [ "$flash" != "holds the image" ]; then bad=1; fi
done
if [ "$bad" = 1 ]; then echo "A unit was reported completed without the image in its flash" >&2; exit 1; fi
echo "No unit reported completed without the image."
echo
echo "First report line:"
head -n 1 "$work/station-report.jsonl"
