#!/usr/bin/env bash
# Soak: 100 back-to-back upgrades by the runner's core in one process against one unitsim,
# then 10000 open/close cycles of the link over a pseudo-terminal. Prints resident memory,
# descriptors and threads at the start and the end of each; fails when they grow.
# About two minutes; not part of the default test suite.
#
#   bash scripts/soak.sh [--upgrades N] [--cycles N]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build/bin/soak "$@"
