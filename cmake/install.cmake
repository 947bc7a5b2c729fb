# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Installation of the front end; debian/ packages the components.
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
# The directories are GNUInstallDirs' ones.

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

# trelvo.pc finds its prefix from where it lies, ${pcfiledir} and one ".." for
# each directory of LIBDIR/pkgconfig (three for a multiarch lib/<triplet>), so
# that an installed tree can be moved. It names the prefix only when LIBDIR is
# absolute, and under /usr, which is never moved: there pkg-config must see
# the system's own directories, which it leaves out of the flags, and a
# relative spelling of them would put them before the caller's -L options.
# Written when it is installed, to know the prefix in force then
# (cmake --install --prefix) rather than the one configured.
set(TRELVO_PC_PREFIX)
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    file(RELATIVE_PATH TRELVO_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
    string(REGEX REPLACE "/$" "" TRELVO_PC_PREFIX "\${pcfiledir}/${TRELVO_PC_PREFIX}")
endif()
foreach(dir IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
        set(TRELVO_PC_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
        set(TRELVO_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
    endif()
endforeach()
install(CODE "
    set(PROJECT_VERSION [[${PROJECT_VERSION}]])
    set(TRELVO_PC_PREFIX [[${TRELVO_PC_PREFIX}]])
    if(NOT TRELVO_PC_PREFIX OR CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(TRELVO_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    endif()
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
