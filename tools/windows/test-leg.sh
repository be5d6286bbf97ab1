#!/usr/bin/env bash
# The Windows leg: builds the console, mx7300-ctl and the catalogue dump for Windows with the Qt
# kit for mingw-w64, runs their tests under Wine (a fresh prefix per run, never ~/.wine) and,
# given a Linux build with mx7300-sim and mx7300-layout, the console on a virtual display with
# COM1 mapped to the simulator, and the installer (cpack) installed silently under Wine.
#   tools/windows/test-leg.sh [LINUX_BUILD_DIR]
# TAVO_QT_KIT names the kit's archive (default: ../shared/windows/qt-6.4.2-mingw64.tar.xz beside
# the checkout). Builds at -j2 under nice.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
linux_build=${1:-}
build="$here/build-windows"

args=()
if [ -n "$linux_build" ] && [ -x "$linux_build/bin/mx7300-sim" ]; then
    args+=("-DTAVO_LINUX_TOOLS=$(cd "$linux_build/bin" && pwd)")
fi
cd "$here"
cmake --preset windows "${args[@]}" >/dev/null
nice cmake --build --preset windows
cd "$build"
# The installer the wine_installer test installs.
nice cpack >/dev/null
# CTest makes the Wine prefix afresh (the wine_prefix fixture) before the first test.
ctest --output-on-failure -j 2
