#!/usr/bin/env bash
# Time per exchange of the Windows runner under Wine beside the Linux runner and the
# Windows desktop program under Wine, all upgrading unitsim (instant unit, the embedded
# package) over a pseudo-terminal:
#
#   bash scripts/bench-windows.sh [RUNS]            (default 5 upgrades each)
#   bash scripts/bench-windows.sh --station [RUNS]  the Windows station instead (default 3)
#
# The desktop program (bootloader.exe) runs on the Wine prefix's display; its Start button
# is clicked with xdotool and the end of the upgrade read from its log with the tests'
# window probe; then it is closed.
#
# The time of an upgrade is taken on the unit's own clock, from the first request it
# receives to the last reply it sends (its trace), so the start-up of the process (and of
# Wine) is left out; divided by the exchanges the unit counted, that is the host time per
# exchange: the runner, its receive thread, the pseudo-terminal's hop and, under Wine, the
# Wine server. Uses the Wine prefix of the Wine tests (made by them, see tests/wine).
#
# With --station: the wall time of bootloader-cli.exe as a station under Wine (Wine's
# start-up included), a batch of three units (--ports 1-3) against a batch of one
# (--ports 1), the runs interleaved; the units emulate wire time (unitsim --wire-time), and
# every unit's report line must say "completed".
set -euo pipefail
cd "$(dirname "$0")/.."
station=0
if [ "${1:-}" = --station ]; then station=1; shift; fi
runs=${1:-$((station ? 3 : 5))}
bash scripts/build.sh >/dev/null
build="$PWD/build"
prefix="$build/wine-prefix"
wine_dir=/usr/lib/wine
work=$(mktemp -d)
sim_pid=""
sims=()
cleanup() {
  if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  for pid in "${sims[@]}"; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -f "$prefix"/dosdevices/com[123]
  bash tests/wine/wine-prefix.sh stop "$prefix" "$wine_dir"
  rm -rf "$work"
}
trap cleanup EXIT
bash tests/wine/wine-prefix.sh start "$prefix" "$wine_dir"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# The programs' display is the prefix's own (wine-prefix.sh).
DISPLAY=$(cat "$prefix.display")
export DISPLAY
probe="$build/tests/wine/winprobe.exe"

# One upgrade by "$@" against a fresh unit; prints milliseconds per exchange.
one_upgrade() {
  rm -rf "$work/ports" "$work/trace" && mkdir "$work/ports"
  "$build/bin/unitsim" --ports-dir "$work/ports" --port 1 --trace --stats-file "$work/stats" \
    >"$work/unit.out" 2>"$work/trace" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^unitsim: COM1 ->' "$work/unit.out" 2>/dev/null && break; sleep 0.05; done
  ln -sfn "$(readlink "$work/ports/COM1")" "$prefix/dosdevices/com1"
  (cd "$work" && BOOTLOADER_PORTS="$work/ports" "$@" --port 1 >/dev/null)
  kill -TERM "$sim_pid"; wait "$sim_pid" || true; sim_pid=""
  rm -f "$prefix/dosdevices/com1"
  exchanges=$(sed -n 's/^exchanges=//p' "$work/stats")
  awk -v n="$exchanges" '$1 == "unitsim:" && ($3 == "<-" || $4 == "<-" || $3 == "->" || $4 == "->") {
      if (first == "") first = $2; last = $2 }
    END { printf "%.3f\n", (last - first) * 1000 / n }' "$work/trace"
}

# One upgrade by the desktop program against a fresh unit, started from its Start button;
# prints milliseconds per exchange.
desktop_upgrade() {
  rm -rf "$work/ports" "$work/trace" && mkdir "$work/ports"
  printf '[Options]\r\nComms_Port=1\r\n' >"$work/Bootload.Ini"
  "$build/bin/unitsim" --ports-dir "$work/ports" --port 1 --trace --stats-file "$work/stats" \
    >"$work/unit.out" 2>"$work/trace" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^unitsim: COM1 ->' "$work/unit.out" 2>/dev/null && break; sleep 0.05; done
  ln -sfn "$(readlink "$work/ports/COM1")" "$prefix/dosdevices/com1"
  (cd "$work" && exec "$wine_dir/wine64" "$build/windows/bin/bootloader.exe") &
  local program=$! window="" caption=""
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --class bootloader.exe 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.05
  done
  caption=$(xdotool getwindowname "$window")
  local menu=$(($(xwininfo -id "$window" | sed -n 's/^  Height: //p') - 164))
  sleep 0.5
  xdotool mousemove --window "$window" 204 $((menu + 124)) click 1
  # Seldom: every probe is a Wine process of its own, which the upgrade would feel.
  for _ in $(seq 120); do
    sleep 0.5
    "$wine_dir/wine64" "$probe" "$caption" | grep -q $'^item\t.*\tFinalising Upgrade.....Done' && break
  done
  xdotool windowactivate --sync "$window" key alt+F4
  wait "$program" || true
  kill -TERM "$sim_pid"; wait "$sim_pid" || true; sim_pid=""
  rm -f "$prefix/dosdevices/com1"
  exchanges=$(sed -n 's/^exchanges=//p' "$work/stats")
  awk -v n="$exchanges" '$1 == "unitsim:" && ($3 == "<-" || $4 == "<-" || $3 == "->" || $4 == "->") {
      if (first == "") first = $2; last = $2 }
    END { printf "%.3f\n", (last - first) * 1000 / n }' "$work/trace"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One batch of N units (COM1 to COMN, each a fresh unit linked into the prefix); prints its
# wall time in seconds.
station_batch() {
  local n=$1 port start end
  rm -rf "$work/ports" "$work/r.jsonl" && mkdir "$work/ports"
  sims=()
  for port in $(seq "$n"); do
    "$build/bin/unitsim" --ports-dir "$work/ports" --port "$port" --wire-time >"$work/unit$port.out" 2>&1 &
    sims+=($!)
  done
  for port in $(seq "$n"); do
    for _ in $(seq 100); do grep -q "^unitsim: COM$port ->" "$work/unit$port.out" 2>/dev/null && break; sleep 0.05; done
    ln -sfn "$(readlink "$work/ports/COM$port")" "$prefix/dosdevices/com$port"
  done
  start=$(date +%s.%N)
  (cd "$work" && "$wine_dir/wine64" "$build/windows/bin/bootloader-cli.exe" --ports "1-$n" --report r.jsonl >/dev/null)
  end=$(date +%s.%N)
  for pid in "${sims[@]}"; do kill -TERM "$pid"; wait "$pid" || true; done
  sims=()
  rm -f "$prefix"/dosdevices/com[123]
  if [ "$(grep -c '"result":"completed"' "$work/r.jsonl")" != "$n" ]; then
    echo "bench-windows: a unit of the batch of $n did not complete" >&2
    exit 1
  fi
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

if [ "$station" = 1 ]; then
  one=(); three=()
  for _ in $(seq "$runs"); do
    one+=("$(station_batch 1)")
    three+=("$(station_batch 3)")
  done
  one_median=$(printf '%s\n' "${one[@]}" | median)
  three_median=$(printf '%s\n' "${three[@]}" | median)
  echo "station under Wine, 1 unit,  s: ${one[*]}  median $one_median"
  echo "station under Wine, 3 units, s: ${three[*]}  median $three_median"
  awk -v t="$three_median" -v o="$one_median" 'BEGIN { printf "3 units / 1 unit under Wine: %.3f\n", t / o }'
  exit 0
fi


linux=(); wine=(); desktop=()
for _ in $(seq "$runs"); do
  linux+=("$(one_upgrade "$build/bin/bootloader-cli")")
  wine+=("$(one_upgrade "$wine_dir/wine64" "$build/windows/bin/bootloader-cli.exe")")
  desktop+=("$(desktop_upgrade)")
done
wine_median=$(printf '%s\n' "${wine[@]}" | median)
desktop_median=$(printf '%s\n' "${desktop[@]}" | median)
echo "ms per exchange, Linux runner:          ${linux[*]}  median $(printf '%s\n' "${linux[@]}" | median)"
echo "ms per exchange, Windows runner, Wine:  ${wine[*]}  median $wine_median"
echo "ms per exchange, Windows desktop, Wine: ${desktop[*]}  median $desktop_median"
awk -v d="$desktop_median" -v r="$wine_median" 'BEGIN { printf "desktop / runner under Wine: %.2f\n", d / r }'
