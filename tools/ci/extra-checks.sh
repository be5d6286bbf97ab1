#!/usr/bin/env bash
# Checks CI runs after `./setup.sh test` (which leaves the normal build in build/):
#   1. the whole test suite built with AddressSanitizer + UndefinedBehaviorSanitizer
#      (g++, build-asan/), leak checking on;
#   2. the receive-path fuzzer (clang++ and libFuzzer, build-fuzz/) for FUZZ_SECONDS
#      on tests/fuzz/corpus;
#   3. valgrind memcheck on the core test programs of build/.
# Any finding fails the script. JOBS (default 2) sets build and ctest parallelism.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}
started=$SECONDS

step() {
    printf '\n=== %s (at %ds)\n' "$1" "$((SECONDS - started))"
}

sanitized_suite() {
    step "ASan+UBSan build (build-asan)"
    cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=g++ -DTAVO_SANITIZE=ON >/dev/null
    cmake --build "$here/build-asan" -j "$jobs"

    step "whole test suite under ASan+UBSan+LSan"
    (
        cd "$here/build-asan"
        export QT_QPA_PLATFORM=offscreen
        export ASAN_OPTIONS=detect_leaks=1
        export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        ctest --output-on-failure -j "$jobs"
    )
}

fuzz() {
    step "fuzzer build (build-fuzz, clang++)"
    cmake -S "$here" -B "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DTAVO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$here/build-fuzz" --target fuzz_receive -j "$jobs"

    step "fuzz_receive for ${fuzz_seconds}s"
    # New inputs go to a scratch folder; the checked-in corpus is only read.
    local scratch="$here/build-fuzz/new-inputs"
    rm -rf "$scratch"
    mkdir -p "$scratch" "$here/build-fuzz/findings"
    if ! "$here/build-fuzz/bin/fuzz_receive" -max_total_time="$fuzz_seconds" -max_len=2048 \
        -print_final_stats=1 -artifact_prefix="$here/build-fuzz/findings/" \
        "$scratch" "$here/tests/fuzz/corpus"; then
        echo "fuzz_receive found a failing input: $(ls "$here/build-fuzz/findings/")" >&2
        return 1
    fi
}

memcheck() {
    local tests=(tst_link_lifecycle tst_transmission tst_replies tst_panel
        tst_port_dialog_model tst_console_model tst_ctl_session tst_ctl_invocation
        tst_rfc2217_codec tst_open_failure)
    step "valgrind memcheck on the core tests (build)"
    cmake -S "$here" -B "$here/build" >/dev/null
    cmake --build "$here/build" -j "$jobs" --target "${tests[@]}"
    local config="$here/build/memcheck-config"
    rm -rf "$config"
    mkdir -p "$config"
    for t in "${tests[@]}"; do
        echo "--- $t"
        XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen \
            valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite \
            --error-exitcode=1 --quiet "$here/build/bin/$t" -silent
    done
}

sanitized_suite
fuzz
memcheck
step "all extra checks passed"
