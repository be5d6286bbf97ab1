#!/usr/bin/env bash
# Newcomer set-up on Debian 12: installs what the mode needs, builds, then
#   ./setup.sh run   starts the console on the built-in projector simulator
#   ./setup.sh test  runs every test
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
mode=${1:-run}
build="$here/build"

# Building and running the console and the projector simulator.
run_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev libgl-dev
    fonts-ipafont-gothic
)

# The tests, the benchmarks and the deeper checks, on top of the above.
test_packages=(
    python3
    xvfb xauth xdotool openbox x11-utils imagemagick
    clang libclang-rt-14-dev valgrind
    ser2net
    mosquitto mosquitto-clients libmosquitto-dev openssl libsystemd-dev
    python3-prometheus-client qt6-httpserver-dev prometheus-cpp-dev python3-jinja2
    # promtool: the metrics' lint, the alert rules' checks and unit tests; PyYAML reads the rules.
    prometheus python3-yaml
    # Qt6HttpServer's CMake files look for Qt6WebSockets, but qt6-httpserver-dev does not
    # depend on it.
    qt6-websockets-dev
    nodejs
    chromium chromium-driver python3-selenium
    # The Debian packages and their service (tools/ci/package-checks.sh).
    lintian systemd man-db file libsystemd-dev
)

# ---- Windows leg (tools/windows/test-leg.sh) ------------------------------------------------
# The Windows build under Wine: installed only when the leg runs, which it does when the Qt kit
# for mingw-w64 is there. TAVO_WINDOWS=0 leaves it out of `./setup.sh test`; `./setup.sh windows`
# runs the leg alone (on a Linux build `test` made) and fails without the kit.
windows_packages=(
    mingw-w64 g++-mingw-w64-x86-64-posix wine64 nsis
    python3 xvfb xdotool openbox x11-utils imagemagick ser2net
)

# The prebuilt Qt for mingw-w64 the leg builds with (never part of the checkout).
windows_kit=${TAVO_QT_KIT:-$here/../shared/windows/qt-6.4.2-mingw64.tar.xz}

windows_leg() {
    if [ ! -f "$windows_kit" ]; then
        echo "The Windows leg did NOT run: no Qt kit for mingw-w64 at $windows_kit (set TAVO_QT_KIT)"
        return 1
    fi
    install_packages "${windows_packages[@]}"
    TAVO_QT_KIT=$(cd "$(dirname "$windows_kit")" && pwd)/$(basename "$windows_kit") \
        "$here/tools/windows/test-leg.sh" "$build"
}
# ---- end of the Windows leg ---------------------------------------------------------------------

# What demo.sh starts.
run_targets=(mx7300-control mx7300-sim)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# CMake cannot switch a build tree to another generator: a tree made by an older setup.sh
# (Unix Makefiles) is started afresh.
use_ninja_tree() {
    local cache="$build/CMakeCache.txt"
    if [ -f "$cache" ] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
        echo "Configuring $build afresh for Ninja (it was made with another generator)"
        rm -rf "$build"
    fi
}

# configure [CMAKE ARGS...]
configure() {
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

case "$mode" in
packages)
    # Every package either mode installs, one a line: what tools/ci/install-closure.sh checks
    # the configured build against.
    printf '%s\n' "${run_packages[@]}" "${test_packages[@]}" npm
    ;;
run)
    install_packages "${run_packages[@]}"
    use_ninja_tree
    # A first build leaves the tests out; a tree that `test` has configured keeps them.
    if [ -f "$build/CMakeCache.txt" ]; then configure; else configure -DBUILD_TESTING=OFF; fi
    cmake --build "$build" -j "$(nproc)" --target "${run_targets[@]}"
    exec "$here/tools/demo.sh" "$build"
    ;;
test)
    install_packages "${run_packages[@]}" "${test_packages[@]}"
    # The PJLink client the gateway's test drives, at the version its lock file names. Debian's
    # nodejs leaves npm to a package of its own; other builds of nodejs bring it.
    command -v npm >/dev/null || install_packages npm
    (cd "$here/tests/gateway/pjlink-client" && npm ci --no-audit --no-fund --loglevel=error)
    use_ninja_tree
    configure -DBUILD_TESTING=ON -DTAVO_GATEWAY=ON
    cmake --build "$build" -j "$(nproc)"
    cd "$build"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2
    # Where the kit is missing the leg says so and the Linux result stands.
    if [ "${TAVO_WINDOWS:-1}" != 0 ]; then windows_leg || [ ! -f "$windows_kit" ]; fi
    ;;
windows)
    windows_leg
    ;;
*)
    echo "usage: $0 run|test|packages|windows" >&2
    exit 2
    ;;
esac
