#!/usr/bin/env bash
# Fails when a C++ source of the project differs from .clang-format, and names the files.
#   bash scripts/check-format.sh          check
#   bash scripts/check-format.sh --fix    format them in place
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(find app boot cli fuzz link modbus package platform sim station support tests ui upgrade bench \
  -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if [ "${1:-}" = "--fix" ]; then
  echo "$files" | xargs clang-format -i
  exit 0
fi
bad=()
for f in $files; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "check-format: ${#bad[@]} files differ from .clang-format (bash scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: $(echo "$files" | wc -l) files follow .clang-format"
