# The Wayland protocol code the backend speaks, generated at build time with wayland-scanner from
# descriptions that come from Debian: wlroots' own (fetched from its source package by
# scripts/wlr-protocols.sh into a cache shared by all build folders) and xdg-shell from wayland-protocols
# (for the test client). Sets QV_WAYLAND_PROTOCOL_SOURCES and QV_WAYLAND_PROTOCOL_DIR.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(QV_WAYLAND_SCANNER wayland-scanner wayland_scanner)
pkg_get_variable(QV_WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT QV_WAYLAND_SCANNER OR NOT QV_WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-scanner and wayland-protocols are needed: scripts/install-deps.sh installs them")
endif()

if(DEFINED ENV{XDG_CACHE_HOME})
  set(qv_cache_home $ENV{XDG_CACHE_HOME})
else()
  set(qv_cache_home $ENV{HOME}/.cache)
endif()
set(QV_WLR_PROTOCOL_CACHE ${qv_cache_home}/qvserver/wlr-protocols CACHE PATH
    "Where the wlroots protocol descriptions are kept once fetched")
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/wlr-protocols.sh ${QV_WLR_PROTOCOL_CACHE}
                RESULT_VARIABLE qv_fetch_result OUTPUT_QUIET ERROR_VARIABLE qv_fetch_error)
if(NOT qv_fetch_result EQUAL 0)
  message(FATAL_ERROR "The wlroots protocol descriptions could not be fetched:\n${qv_fetch_error}")
endif()

set(QV_WAYLAND_PROTOCOL_DIR ${CMAKE_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${QV_WAYLAND_PROTOCOL_DIR})
set(QV_WAYLAND_PROTOCOL_SOURCES "")
foreach(xml ${QV_WLR_PROTOCOL_CACHE}/wlr-screencopy-unstable-v1.xml
            ${QV_WLR_PROTOCOL_CACHE}/wlr-virtual-pointer-unstable-v1.xml
            ${QV_WAYLAND_PROTOCOLS_DIR}/stable/xdg-shell/xdg-shell.xml)
  get_filename_component(name ${xml} NAME_WE)
  set(header ${QV_WAYLAND_PROTOCOL_DIR}/${name}-client-protocol.h)
  set(code ${QV_WAYLAND_PROTOCOL_DIR}/${name}-protocol.c)
  add_custom_command(OUTPUT ${header} COMMAND ${QV_WAYLAND_SCANNER} client-header ${xml} ${header}
                     DEPENDS ${xml} VERBATIM)
  add_custom_command(OUTPUT ${code} COMMAND ${QV_WAYLAND_SCANNER} private-code ${xml} ${code}
                     DEPENDS ${xml} VERBATIM)
  list(APPEND QV_WAYLAND_PROTOCOL_SOURCES ${header} ${code})
endforeach()
