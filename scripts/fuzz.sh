#!/usr/bin/env bash
# Builds the fuzz targets as libFuzzer programs with clang into build-fuzz/ and runs each
# for SECONDS (default 600), two at a time, from its committed seed corpus. New inputs go
# to build-fuzz/corpus/<target>, logs to build-fuzz/logs/<target>.log, and a finding to
# build-fuzz/findings/<target>/. Fails when any target finds something.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]     targets: rx-conditions boot-reply
#                                                  modbus-read ini-file str-to-int
#
# The default build and test suite do not need clang: there the same targets run their
# seed corpus as plain tests.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rx-conditions boot-reply modbus-read ini-file str-to-int)

bash scripts/setup.sh
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBOOTLOADER_FUZZ=ON -DBOOTLOADER_BUILD_GUI=OFF -DBOOTLOADER_BUILD_BENCH=OFF -DBOOTLOADER_WINE_TESTS=OFF
fi
cmake --build build-fuzz -j2 --target $(printf 'fuzz-%s ' "${targets[@]}")

mkdir -p build-fuzz/logs
# The settings-file target writes a file per input: keep it in memory, not on disk.
export TMPDIR=/dev/shm
run() {
  local t="$1"
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/findings/$t"
  if "build-fuzz/fuzz/fuzz-$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t/" \
       "build-fuzz/corpus/$t" "fuzz/corpus/$t" > "build-fuzz/logs/$t.log" 2>&1; then
    echo "$t: clean, $(grep -E '^stat::number_of_executed_units' "build-fuzz/logs/$t.log" | awk '{print $2}') inputs in ${seconds} s"
  else
    echo "$t: FINDING, see build-fuzz/logs/$t.log and build-fuzz/findings/$t/"
    return 1
  fi
}

status=0
pids=()
for t in "${targets[@]}"; do
  # At most two fuzzers at once: the machine has two cores.
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || status=1; done
  run "$t" &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
