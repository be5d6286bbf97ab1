# Toolchain for the Windows build: unpacks the prebuilt Qt for x86_64-w64-mingw32 into the build
# tree on the first configure, then hands over to that Qt's own toolchain file (the MinGW
# compilers, its packages, Wine as the emulator that runs tests).
#
# The archive: TAVO_QT_KIT (a cache variable or environment variable), else the one kept beside
# the checkout in ../shared/windows/. It is never part of the source tree.
set(tavo_kit_name qt-6.4.2-mingw64)
if(NOT TAVO_QT_KIT)
    if(DEFINED ENV{TAVO_QT_KIT})
        set(TAVO_QT_KIT "$ENV{TAVO_QT_KIT}")
    else()
        get_filename_component(TAVO_QT_KIT
            "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows/${tavo_kit_name}.tar.xz" ABSOLUTE)
    endif()
endif()
set(TAVO_QT_KIT "${TAVO_QT_KIT}" CACHE FILEPATH "Archive of Qt built for x86_64-w64-mingw32")
# try_compile projects configure with this file too: they reuse the kit, never unpack it.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVO_QT_KIT TAVO_QT_DIR)

if(NOT TAVO_QT_DIR)
    set(TAVO_QT_DIR "${CMAKE_BINARY_DIR}/${tavo_kit_name}")
endif()
if(NOT EXISTS "${TAVO_QT_DIR}/lib/cmake/Qt6/qt.toolchain.cmake")
    if(NOT EXISTS "${TAVO_QT_KIT}")
        message(FATAL_ERROR "The Windows build needs Qt for mingw-w64: ${TAVO_QT_KIT} is missing "
                            "(set TAVO_QT_KIT to the archive ${tavo_kit_name}.tar.xz)")
    endif()
    message(STATUS "Unpacking ${TAVO_QT_KIT} into ${TAVO_QT_DIR}")
    get_filename_component(tavo_kit_parent "${TAVO_QT_DIR}" DIRECTORY)
    file(ARCHIVE_EXTRACT INPUT "${TAVO_QT_KIT}" DESTINATION "${tavo_kit_parent}")
endif()
set(TAVO_QT_DIR "${TAVO_QT_DIR}" CACHE PATH "Qt for x86_64-w64-mingw32, unpacked")

# Debian's Qt of the same version provides moc, rcc and uic.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
include("${TAVO_QT_DIR}/lib/cmake/Qt6/qt.toolchain.cmake")
