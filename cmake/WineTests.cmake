# What the Windows build's tests need to run under Wine on the build machine: a prefix of their
# own (never ~/.wine), Qt's and MinGW's DLLs on WINEPATH, and QtTest's output on standard error.
# Wine drops variables that begin with QT_, so Qt's own are given as WINEQT_.
set(TAVO_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
    OUTPUT_VARIABLE tavo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(tavo_gcc_runtime "${tavo_libgcc}" DIRECTORY)
set(tavo_wine_dirs "${TAVO_QT_DIR}/bin" "${tavo_gcc_runtime}" "/usr/x86_64-w64-mingw32/lib")
set(TAVO_WINEPATH "")
foreach(dir IN LISTS tavo_wine_dirs)
    string(REPLACE "/" "\\\\" dir "Z:${dir}")
    string(APPEND TAVO_WINEPATH "${dir}\\\\;")
endforeach()
set(TAVO_WINE_TEST_ENV
    "WINEPREFIX=${TAVO_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml="
    "WINEPATH=${TAVO_WINEPATH}"
    "WINEQT_FORCE_STDERR_LOGGING=1"
    "WINEQT_QPA_PLATFORM=offscreen"
    "WINEQT_PLUGIN_PATH=Z:${TAVO_QT_DIR}/plugins")

# A fresh prefix for every run, made once before the first test needs it.
add_test(NAME wine_prefix
    COMMAND sh -c "rm -rf \"$1\" && /usr/lib/wine/wine64 wineboot --init && /usr/lib/wine/wineserver -w"
        wine-prefix ${TAVO_WINEPREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix
    ENVIRONMENT "WINEPREFIX=${TAVO_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
    LABELS windows TIMEOUT 120)
