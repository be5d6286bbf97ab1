# The Debian packages, one per role, from the one install tree (`cpack -G DEB`):
#   tavo-mx7300-control  the console, the simulator and the catalogue dump (Qt GUI)
#   tavo-mx7300-tools    mx7300-ctl, for scripts and timers (no GUI library)
#   tavo-mx7300-gateway  the site gateway, its service and /etc templates (no GUI library)
# Packages are built from a tree configured with -DCMAKE_INSTALL_PREFIX=/usr, so that the
# plugin lands in the multiarch library folder and /etc and /lib are the system's own.

set(tavo_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(tavo_generated ${CMAKE_BINARY_DIR}/packaging)
set(tavo_control_package tavo-mx7300-control)
set(tavo_tools_package tavo-mx7300-tools)
set(tavo_gateway_package tavo-mx7300-gateway)

# System paths for a /usr install; under any other prefix (~/.local, /usr/local) the same files
# stay inside it, so `cmake --install` without root still works.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(tavo_etc_dir /etc)
    set(tavo_unit_dir /lib/systemd/system)
else()
    set(tavo_etc_dir ${CMAKE_INSTALL_SYSCONFDIR})
    set(tavo_unit_dir lib/systemd/system)
endif()

# Manual pages and the changelog go in gzipped, as Debian keeps them; -n leaves the name and
# time out of the header, so the same text always gives the same bytes.
set(tavo_gzipped)
macro(tavo_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
        DEPENDS ${source} VERBATIM)
    list(APPEND tavo_gzipped ${output})
endmacro()

# tavo_package_files(COMPONENT PACKAGE PAGE...): the manual pages and Debian's documents.
function(tavo_package_files component package)
    foreach(page IN LISTS ARGN)
        install(FILES ${tavo_generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
                COMPONENT ${component})
    endforeach()
    install(FILES ${tavo_packaging}/debian/copyright ${tavo_generated}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    set(PACKAGE ${package})
    configure_file(${tavo_packaging}/debian/lintian/overrides.in
                   ${tavo_generated}/lintian/${package} @ONLY)
    install(FILES ${tavo_generated}/lintian/${package}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endfunction()

tavo_gzip(${tavo_packaging}/debian/changelog ${tavo_generated}/changelog.Debian.gz)
foreach(page mx7300-control.1 mx7300-sim.1 mx7300-catalogue.1 mx7300-ctl.1 mx7300-gateway.1)
    tavo_gzip(${tavo_packaging}/${page} ${tavo_generated}/${page}.gz)
endforeach()
add_custom_target(tavo_gzipped_documents ALL DEPENDS ${tavo_gzipped})

# The console's desktop integration (the icons come from tools/icon).
install(FILES ${tavo_packaging}/tavo-mx7300-control.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT control)
tavo_package_files(control ${tavo_control_package}
    mx7300-control.1 mx7300-sim.1 mx7300-catalogue.1)
tavo_package_files(tools ${tavo_tools_package} mx7300-ctl.1)
set(CPACK_COMPONENTS_ALL control tools)

if(TARGET mx7300-gateway)
    tavo_package_files(gateway ${tavo_gateway_package} mx7300-gateway.1)
    install(FILES ${tavo_packaging}/mx7300-gateway@.service DESTINATION ${tavo_unit_dir}
            COMPONENT gateway)
    install(FILES ${tavo_packaging}/etc/mx7300-gateway DESTINATION ${tavo_etc_dir}/default
            COMPONENT gateway)
    install(FILES ${tavo_packaging}/etc/example.ini DESTINATION ${tavo_etc_dir}/tavo
            COMPONENT gateway)
    list(APPEND CPACK_COMPONENTS_ALL gateway)
endif()

set(CPACK_PACKAGE_NAME tavo-mx7300)
set(CPACK_PACKAGE_VENDOR "TAVO MX7300 CONTROL team")
set(CPACK_PACKAGE_CONTACT "TAVO MX7300 CONTROL team <mx7300@tavo.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE tavo-mx7300)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends computed from the binaries' libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Up to 1.1 one package held every program: the split packages take their files over.
set(tavo_from_single_package "${tavo_control_package} (<< 1.1-1)")

set(CPACK_DEBIAN_CONTROL_PACKAGE_NAME ${tavo_control_package})
# The platform plugins and the Japanese Gothic font the captions ask for are loaded at run time,
# so the library scan cannot see them.
set(CPACK_DEBIAN_CONTROL_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic")
set(CPACK_DEBIAN_CONTROL_PACKAGE_RECOMMENDS ${tavo_tools_package})
set(CPACK_DEBIAN_CONTROL_DESCRIPTION
    "control console for a TAVO MX7300 projector on an RS-232 line
Sends the projector's commands from one window of buttons, shows everything
sent and received as a transcript and decodes the status replies. The port is
a serial device or a serial device server (raw TCP or RFC 2217).
.
Includes mx7300-sim, a simulated projector on a pseudo-terminal, and
mx7300-catalogue, which prints the console's command lists.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${tavo_tools_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_BREAKS ${tavo_from_single_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_REPLACES ${tavo_from_single_package})
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "TAVO MX7300 projector commands from scripts and timers
mx7300-ctl sends the console's commands to one TAVO MX7300 projector or to a
whole site of them, over serial devices or serial device servers, and prints
the decoded replies as text or JSON. It needs no display and no GUI library.")

set(CPACK_DEBIAN_GATEWAY_PACKAGE_NAME ${tavo_gateway_package})
set(CPACK_DEBIAN_GATEWAY_PACKAGE_SECTION net)
set(CPACK_DEBIAN_GATEWAY_PACKAGE_BREAKS ${tavo_from_single_package})
set(CPACK_DEBIAN_GATEWAY_PACKAGE_REPLACES ${tavo_from_single_package})
set(CPACK_DEBIAN_GATEWAY_PACKAGE_CONTROL_EXTRA
    ${tavo_packaging}/debian/gateway/conffiles ${tavo_packaging}/debian/gateway/postinst
    ${tavo_packaging}/debian/gateway/prerm ${tavo_packaging}/debian/gateway/postrm)
set(CPACK_DEBIAN_GATEWAY_DESCRIPTION
    "site gateway for TAVO MX7300 projectors: MQTT, Prometheus, PJLink
mx7300-gateway holds every projector of a site (serial devices or serial
device servers), polls their power, input, lamp hours and temperatures, and
offers them to the building's systems: an MQTT broker with Home Assistant
discovery, Prometheus metrics and a JSON API over HTTP, PJLink for fleet
tools, and a status page for phones.
.
Runs as the systemd service mx7300-gateway@SITE, one instance per site. No
display and no GUI library needed.")

# A package built from a tree with another prefix would put /etc under it: refused.
configure_file(${tavo_packaging}/CPackChecks.cmake.in ${tavo_generated}/CPackChecks.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${tavo_generated}/CPackChecks.cmake)
include(CPack)
