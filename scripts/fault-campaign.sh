#!/usr/bin/env bash
# Fault campaign: upgrades with one random fault each, checked for false successes,
# unsound failures, hangs, crashes, leaks and recovery (see the README, Performance and robustness).
#
#   bash scripts/fault-campaign.sh [--runs N] [--pty-runs M] [--batches B] [--seed S] [--kind K --at N] [--verbose]
#
# Without options: the full campaign, 1000 runs in process, 100 over pseudo-terminals and
# 20 station batches of 8 units (about 25 minutes; each pseudo-terminal run waits out real
# timeouts).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ $# -eq 0 ]; then set -- --runs 1000 --pty-runs 100 --batches 20 --seed 1; fi
build/bin/fault-campaign "$@"
