# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Read by cpack before it makes the packages, through the CPackProjectConfig.cmake
# that cmake/install.cmake generates in the build tree with the calls.

# Sets the component's Depends to what dpkg-shlibdeps finds for the binaries.
function(trelvo_shlibdeps component)
    file(WRITE ${TRELVO_SHLIBDEPS_DIR}/debian/control "")
    list(TRANSFORM ARGN PREPEND -e)
    execute_process(COMMAND dpkg-shlibdeps -O ${ARGN} WORKING_DIRECTORY ${TRELVO_SHLIBDEPS_DIR}
        OUTPUT_VARIABLE depends ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-shlibdeps failed for the ${component} package")
    endif()
    string(REGEX REPLACE "^shlibs:Depends=([^\n]*)\n?$" "\\1" depends "${depends}")
    set(CPACK_DEBIAN_${component}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
endfunction()
