#!/usr/bin/env bash
# Cross-builds both programs for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model) and packs them with the README into a zip:
#
#   bash scripts/build-windows.sh [cmake options]
#
# Result: build-windows/bootloader-<version>-windows-x64.zip holding bootloader.exe (the
# desktop program, a native window program), bootloader-cli.exe (the headless runner) and
# README.md. Each program is one statically linked file carrying the firmware package, with
# no DLLs beside it. Options go to the first configure, e.g. -DBOOTLOADER_IMAGE=firmware.bin
# -DBOOTLOADER_MODEL=6170 for another package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ ! -f build-windows/CMakeCache.txt ]; then
  cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release "$@"
fi
cmake --build build-windows -j2 --target bootloader bootloader-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
name="bootloader-$version-windows-x64"
stage="build-windows/$name"
rm -rf "$stage" "build-windows/$name.zip"
mkdir -p "$stage"
cp build-windows/bin/bootloader.exe build-windows/bin/bootloader-cli.exe README.md "$stage/"
summary=""
for program in bootloader.exe bootloader-cli.exe; do
  x86_64-w64-mingw32-strip "$stage/$program"
  # Each executable must need nothing but what every Windows has. setupapi.dll (the runner's
  # --list-ports reads the ports' friendly names through it) is part of every Windows.
  imports=$(x86_64-w64-mingw32-objdump -p "$stage/$program" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
  for dll in $imports; do
    case "${dll,,}" in
      kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | shell32.dll | version.dll | \
        msvcrt.dll | advapi32.dll | setupapi.dll) ;;
      *) echo "build-windows: $program needs $dll, which Windows does not carry" >&2; exit 1 ;;
    esac
  done
  summary+="$program (imports: ${imports% }) "
done
(cd build-windows && zip -q -r "$name.zip" "$name")
echo "build-windows/$name.zip: ${summary}and README.md"
