# Installation and Debian packages of the front end.
#
# Components:
#   runtime      the shared library
#   development  the header (include/trelvo/Trelvo.h), trelvo.pc and the CMake
#                package (find_package(Trelvo) gives Trelvo::Trelvo)
#   sample       the sample implementation, beside the front end, where its
#                search finds it; never packaged
#
# Packages want the Debian multiarch layout: configure with
# CMAKE_INSTALL_PREFIX=/usr, and in a cross build also with
# CMAKE_INSTALL_LIBDIR=lib/<triplet>, which GNUInstallDirs picks only natively
# (scripts/check-packages.sh does both).

include(GNUInstallDirs)
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

# Debian packages: libtrelvo (runtime) and libtrelvo-dev (development), for
# the architecture the build targets.
set(TRELVO_PACKAGE_MAINTAINER "libTrelvo developers <libtrelvo@example.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME libtrelvo)
set(CPACK_PACKAGE_VENDOR libTrelvo)
set(CPACK_PACKAGE_CONTACT "${TRELVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtrelvo)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The loader's cache is refreshed through dpkg's ldconfig trigger; CPack adds
# maintainer scripts that call ldconfig only where it ran dpkg-shlibdeps.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "VELT API front end
libTrelvo_aarch64.so gives client programs the VELT API without binding them
to one implementation of it: it finds an implementation library
(libVeltApi_aarch64.so) at run time, loads it and forwards every call to it.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtrelvo-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "VELT API front end - development files
The header trelvo/Trelvo.h, the pkg-config file trelvo.pc and the CMake
package Trelvo (imported target Trelvo::Trelvo) for building programs
against libTrelvo.")

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()

# dpkg-shlibdeps knows only the host's packages, so a cross build names its
# dependencies itself: those dpkg-shlibdeps gives for the native build of the
# same sources with the same compiler release.
if(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.35)")
else()
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
endif()

# File times in the packages come from SOURCE_DATE_EPOCH, by default the time
# of the last commit, so that the packages of one commit are byte-identical.
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE TRELVO_LAST_COMMIT_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(TRELVO_LAST_COMMIT_TIME)
    file(WRITE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake
        "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
        "    set(ENV{SOURCE_DATE_EPOCH} ${TRELVO_LAST_COMMIT_TIME})\n"
        "endif()\n")
    set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
endif()

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Library" REQUIRED)
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime)
