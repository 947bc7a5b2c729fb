# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The install directories, shared by every install rule of the project.
#
# The library directory is Debian's multiarch one, lib/<triplet>, whatever the
# prefix and in a cross build too (GNUInstallDirs picks it only natively and
# for the prefix /usr): the packages that CPack makes from any build tree then
# install where the system's loader, pkg-config and CMake look, and the amd64
# and arm64 packages lie side by side.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# Installs a text file compressed as Debian wants documentation: gzip -9n,
# without name or time stamp, so that two builds give the same bytes.
function(trelvo_install_gzipped source destination component)
    get_filename_component(name ${source} NAME)
    set(compressed ${PROJECT_BINARY_DIR}/gzipped/${name}.gz)
    if(NOT TARGET gzip-${name})
        add_custom_command(OUTPUT ${compressed}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/gzipped
            COMMAND gzip -9nc ${source} > ${compressed}
            DEPENDS ${source} VERBATIM)
        add_custom_target(gzip-${name} ALL DEPENDS ${compressed})
    endif()
    install(FILES ${compressed} DESTINATION ${destination} COMPONENT ${component})
endfunction()
