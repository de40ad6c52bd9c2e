#!/usr/bin/env bash
# Sanitizer builds and their test runs.
#
#   bash scripts/sanitize.sh address   ASan + UBSan into build-asan/, the whole test suite
#   bash scripts/sanitize.sh thread    TSan into build-tsan/, the tests of the receive thread,
#                                      the port, the Qt message loop and the runner over a pty,
#                                      then a short soak (upgrades and open/close cycles)
#
# Qt and its libraries are not built with the sanitizers. TSan needs no suppressions: the Qt
# message loop hands posted tasks between threads under a lock of its own, which TSan sees.
# LeakSanitizer is told about one block the font library under Qt keeps until exit
# (scripts/lsan.supp); nothing else is suppressed.
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-}"
case "$kind" in
  address) dir=build-asan ;;
  thread) dir=build-tsan ;;
  *) echo "usage: bash scripts/sanitize.sh address|thread" >&2; exit 2 ;;
esac
bash scripts/setup.sh
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBOOTLOADER_SANITIZE="$kind" \
    -DBOOTLOADER_WINE_TESTS=OFF
fi
cmake --build "$dir" -j2
cd "$dir"
export QT_QPA_PLATFORM=offscreen
if [ "$kind" = address ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/../scripts/lsan.supp"
  ctest --output-on-failure -j2 --timeout 900
else
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  ctest --output-on-failure -j2 --timeout 900 \
    -R 'RxThreadTest|LinkPort|LumoCommsPtyTest|PosixPortFactoryTest|PosixSerialDeviceTest|QtMessageLoopTest|LibmodbusInterop|UnitSimUpgrade|BootloaderCliTest'
  bin/soak --upgrades 3 --cycles 300
fi
