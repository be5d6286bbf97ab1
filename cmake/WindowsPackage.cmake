# The Windows installer (`cpack -G NSIS`, Debian's nsis): the programs, Qt's DLLs and the plugins
# they load (the windowed platform, the style, TLS for network ports), and the MinGW runtime, all
# beside the programs as Windows looks for them. A Start-menu entry for the console; uninstalling
# removes the programs, never the user's settings (registry and %LOCALAPPDATA%\TAVO).
set(tavo_qt_dlls Core Gui Widgets Network SerialPort)
foreach(module IN LISTS tavo_qt_dlls)
    install(FILES ${TAVO_QT_DIR}/bin/Qt6${module}.dll DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
foreach(plugin platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend
               imageformats/qico)
    get_filename_component(kind ${plugin} DIRECTORY)
    install(FILES ${TAVO_QT_DIR}/plugins/${plugin}.dll DESTINATION ${CMAKE_INSTALL_BINDIR}/${kind})
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
    OUTPUT_VARIABLE tavo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(tavo_gcc_runtime "${tavo_libgcc}" DIRECTORY)
install(FILES ${tavo_gcc_runtime}/libstdc++-6.dll ${tavo_gcc_runtime}/libgcc_s_seh-1.dll
              /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME tavo-mx7300-control)
# The name the Windows tests install from (tests/CMakeLists.txt).
set(CPACK_PACKAGE_FILE_NAME tavo-mx7300-control-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_VENDOR "TAVO MX7300 CONTROL team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control console for a TAVO MX7300 projector on an RS-232 line")
set(CPACK_STRIP_FILES ON)
# A 64-bit installer (Debian's nsis ships the amd64 stubs), so a 64-bit Wine runs it too, into
# the 64-bit Program Files. CPack's script has no place of its own for `Target`: it rides on the
# compressor's line, which comes before anything is compressed, as NSIS requires.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "TAVO MX7300 CONTROL")
set(CPACK_PACKAGE_EXECUTABLES mx7300-control "TAVO MX7300 CONTROL")
set(CPACK_NSIS_DISPLAY_NAME "TAVO MX7300 CONTROL ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "TAVO MX7300 CONTROL")
set(CPACK_NSIS_INSTALLED_ICON_NAME bin\\\\mx7300-control.exe)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/tavo-mx7300-control.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/windows/tavo-mx7300-control.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
include(CPack)
