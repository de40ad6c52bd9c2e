#!/usr/bin/env bash
# Benchmark of a whole upgrade of a 64 KiB part against unitsim over a pseudo-terminal:
# host time per exchange, the wire-time ratio at 115200 bit/s, CPU time and peak memory of
# the headless runner (see the README, Performance and robustness, for the method and the figures).
#
#   bash scripts/bench.sh [--runs N] [--process-runs N] [--wire-runs N] [--keep]
#
# Timing figures depend on what else the machine runs: use an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build/bin/upgrade-bench "$@"
