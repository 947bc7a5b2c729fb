# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installation and Debian packages of the front end.
#
# Components:
#   runtime      the shared library
#   development  the header (include/trelvo/Trelvo.h), trelvo.pc and the CMake
#                package (find_package(Trelvo) gives Trelvo::Trelvo)
#   tools        trelvo-doctor, its companion library beside the front end,
#                and its manual page
#   sample       the sample implementation, beside the front end, where its
#                search finds it; never packaged
#
# The directories come from cmake/installdirs.cmake, so that cpack in any
# build tree of the presets makes the packages.

include(CMakePackageConfigHelpers)

# A project that adds this one as a subdirectory uses the names an installed
# copy has: the target Trelvo::Trelvo and the header <trelvo/Trelvo.h>.
add_library(Trelvo::Trelvo ALIAS Trelvo)
configure_file(${PROJECT_SOURCE_DIR}/api/Trelvo.h ${PROJECT_BINARY_DIR}/include/trelvo/Trelvo.h
    COPYONLY)
target_include_directories(Trelvo PUBLIC $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)

set(TRELVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Trelvo)

install(TARGETS Trelvo EXPORT TrelvoTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/api/Trelvo.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/trelvo COMPONENT development)

install(EXPORT TrelvoTargets NAMESPACE Trelvo::
    DESTINATION ${TRELVO_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TrelvoConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TrelvoConfig.cmake
    INSTALL_DESTINATION ${TRELVO_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TrelvoConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TrelvoConfig.cmake ${PROJECT_BINARY_DIR}/TrelvoConfigVersion.cmake
    DESTINATION ${TRELVO_INSTALL_CMAKEDIR} COMPONENT development)

# trelvo.pc is written when it is installed, so that it names the prefix in
# force then (cmake --install --prefix, or the packaging prefix of CPack)
# rather than the one configured.
foreach(dir IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
        set(TRELVO_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
        set(TRELVO_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
endforeach()
install(CODE "
    set(PROJECT_VERSION [[${PROJECT_VERSION}]])
    set(TRELVO_PC_LIBDIR [[${TRELVO_PC_LIBDIR}]])
    set(TRELVO_PC_INCLUDEDIR [[${TRELVO_PC_INCLUDEDIR}]])
    configure_file([[${CMAKE_CURRENT_LIST_DIR}/trelvo.pc.in]] [[${PROJECT_BINARY_DIR}/trelvo.pc]] @ONLY)"
    COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/trelvo.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

if(TARGET VeltApiSample)
    install(TARGETS VeltApiSample
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sample EXCLUDE_FROM_ALL)
endif()

# Debian packages: one for each component but the sample, for the
# architecture the build targets.
set(TRELVO_PACKAGE_MAINTAINER "libTrelvo developers <libtrelvo@example.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")
set(TRELVO_PACKAGED_COMPONENTS runtime development)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtrelvo)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtrelvo-dev)
if(TARGET trelvo-doctor)
    list(APPEND TRELVO_PACKAGED_COMPONENTS tools)
    set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME trelvo-doctor)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libtrelvo)
set(CPACK_PACKAGE_VENDOR libTrelvo)
set(CPACK_PACKAGE_CONTACT "${TRELVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TRELVO_PACKAGED_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE libtrelvo)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(TRELVO_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

# CPack 3.25 knows no Multi-Arch field; the generator writes the section
# verbatim, so the field follows it on a line of its own. The amd64 and arm64
# packages of the library then install side by side; trelvo-doctor, one
# program in /usr/bin, for one architecture at a time.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs\nMulti-Arch: same")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION "libdevel\nMulti-Arch: same")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

# The loader's cache is refreshed through dpkg's ldconfig trigger. The symbols
# file, one line for each export of the linker map, gives programs built
# against the library a versioned dependency on libtrelvo through
# dpkg-shlibdeps: on the version built, never too weak if stricter than the
# version that brought the export.
file(STRINGS ${TRELVO_EXPORT_MAP} TRELVO_EXPORTS REGEX "^ +[A-Za-z_]+;$")
list(TRANSFORM TRELVO_EXPORTS REPLACE "^ +(.+);$" " \\1@Base ${PROJECT_VERSION}")
list(JOIN TRELVO_EXPORTS "\n" TRELVO_EXPORTS)
file(WRITE ${PROJECT_BINARY_DIR}/debian/symbols
    "libTrelvo_aarch64.so libtrelvo #MINVER#\n* Build-Depends-Package: libtrelvo-dev\n${TRELVO_EXPORTS}\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/triggers ${PROJECT_BINARY_DIR}/debian/symbols)
# The control files get the modes dpkg wants, whatever the umask.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "VELT API front end
libTrelvo_aarch64.so gives client programs the VELT API without binding them
to one implementation of it: it finds an implementation library
(libVeltApi_aarch64.so) at run time, loads it and forwards every call to it.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "VELT API front end - development files
The header trelvo/Trelvo.h, the pkg-config file trelvo.pc and the CMake
package Trelvo (imported target Trelvo::Trelvo) for building programs
against libTrelvo.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "VELT API front end - diagnosis of its search
trelvo-doctor tells which VELT API implementation libTrelvo_aarch64.so will
use, and why not another: its configuration, every candidate of its search,
the file the loader maps and the entry points it exports.")

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()

# The times of the files in the packages come from SOURCE_DATE_EPOCH, by
# default the date of the changelog's latest entry, as in Debian's own builds:
# a date kept in the tree, so that every build of one source tree, a clone or
# an unpacked tarball without git, today or later, gives the same packages.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in TRELVO_CHANGELOG_TRAILERS REGEX "^ -- ")
list(GET TRELVO_CHANGELOG_TRAILERS 0 TRELVO_CHANGELOG_DATE)
string(REGEX REPLACE "^ -- .*  " "" TRELVO_CHANGELOG_DATE "${TRELVO_CHANGELOG_DATE}")
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND date -u -d "${TRELVO_CHANGELOG_DATE}" +%s
        OUTPUT_VARIABLE TRELVO_CHANGELOG_TIME OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "no date in the changelog's trailer: '${TRELVO_CHANGELOG_DATE}'")
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${TRELVO_CHANGELOG_TIME})
endif()

# Every package's copyright, changelog and lintian overrides, as Debian wants
# them.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
foreach(component IN LISTS TRELVO_PACKAGED_COMPONENTS)
    string(TOUPPER ${component} COMPONENT)
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${docdir} COMPONENT ${component})
    trelvo_install_gzipped(${PROJECT_BINARY_DIR}/debian/changelog.Debian ${docdir} ${component})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian/${CPACK_DEBIAN_${COMPONENT}_PACKAGE_NAME}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
endforeach()

# Dependencies: dpkg-shlibdeps on each package's binaries when cpack runs
# (not CPack's own call, which would add maintainer scripts that run
# ldconfig). It knows only the host's packages, so a cross build names them
# itself: those the native build of the same sources gets.
if(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.35)")
    set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11)")
else()
    set(TRELVO_SHLIBDEPS "trelvo_shlibdeps(RUNTIME $<TARGET_FILE:Trelvo>)\n")
    if(TARGET trelvo-doctor)
        string(APPEND TRELVO_SHLIBDEPS
            "trelvo_shlibdeps(TOOLS $<TARGET_FILE:trelvo-doctor> $<TARGET_FILE:TrelvoDoctorProbe>)\n")
    endif()
endif()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake CONTENT
    "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} \"$ENV{SOURCE_DATE_EPOCH}\")
endif()
set(TRELVO_SHLIBDEPS_DIR [[${PROJECT_BINARY_DIR}/debian/shlibdeps]])
include([[${CMAKE_CURRENT_LIST_DIR}/debian/CPackProjectConfig.cmake]])
${TRELVO_SHLIBDEPS}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Library" REQUIRED)
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(tools DISPLAY_NAME "trelvo-doctor" DEPENDS runtime)
