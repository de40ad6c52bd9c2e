#!/usr/bin/env bash
# Benchmark of the station: batches of 1, 4, 8, 16 and 32 units emulating wire time at
# 115200 bit/s; wall time against one unit, CPU seconds and peak memory per unit, host time
# per exchange (see the README, Performance and robustness).
#
#   bash scripts/station-bench.sh [--sizes 1,4,8,16,32] [--runs N]
#
# Timing figures depend on what else the machine runs: use an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build/bin/station-bench "$@"
