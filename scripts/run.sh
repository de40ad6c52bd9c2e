#!/usr/bin/env bash
# Installs what is missing, builds, and shows the firmware package this build carries.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build/bin/package-info
