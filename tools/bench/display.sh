# Sourced by the benchmark scripts, after they set $build: runs the calling script again under
# xvfb-run (X11, as an operator's desktop) when there is no display, or falls back to the
# offscreen platform when Xvfb is missing. Sets QT_QPA_PLATFORM and $display, its description.
if [ -z "${DISPLAY:-}" ] && [ -z "${TAVO_BENCH_UNDER_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
    export TAVO_BENCH_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$build"
fi
if [ -n "${DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=xcb
    display="X11 (xcb) on ${TAVO_BENCH_UNDER_XVFB:+Xvfb }display $DISPLAY, no window manager"
else
    export QT_QPA_PLATFORM=offscreen
    display="offscreen platform (no X server found)"
fi
