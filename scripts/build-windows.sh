#!/usr/bin/env bash
# Cross-builds the headless runner for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model) and packs it with the README into a zip:
#
#   bash scripts/build-windows.sh [cmake options]
#
# Result: build-windows/bootloader-cli-<version>-windows-x64.zip holding bootloader-cli.exe
# (one statically linked file, no DLLs beside it) and README.md. Options go to the first
# configure, e.g. -DBOOTLOADER_IMAGE=firmware.bin -DBOOTLOADER_MODEL=6170 for another package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ ! -f build-windows/CMakeCache.txt ]; then
  cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DBOOTLOADER_BUILD_GUI=OFF "$@"
fi
cmake --build build-windows -j2 --target bootloader-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
name="bootloader-cli-$version-windows-x64"
stage="build-windows/$name"
rm -rf "$stage" "build-windows/$name.zip"
mkdir -p "$stage"
cp build-windows/bin/bootloader-cli.exe README.md "$stage/"
x86_64-w64-mingw32-strip "$stage/bootloader-cli.exe"
# The executable must need nothing but what every Windows has.
imports=$(x86_64-w64-mingw32-objdump -p "$stage/bootloader-cli.exe" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll | user32.dll | shell32.dll | version.dll | msvcrt.dll | advapi32.dll) ;;
    *) echo "build-windows: bootloader-cli.exe needs $dll, which Windows does not carry" >&2; exit 1 ;;
  esac
done
(cd build-windows && zip -q -r "$name.zip" "$name")
echo "build-windows/$name.zip: bootloader-cli.exe (imports: $imports) and README.md"
