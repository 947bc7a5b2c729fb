# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Run with cmake -P: checks the installation of the build tree BUILD_DIR in
# prefixes below WORK, which it empties first.
#   -DCHECK=Components  each component (runtime, development, sample) installs
#                       its own files and nothing else
#   -DCHECK=Consumers   everything and the sample installed, then the prefix
#                       moved, so that what follows finds nothing that names
#                       the place it was installed in: the front end's
#                       RUNPATH $ORIGIN (CheckElf.cmake, READELF, MACHINE), the
#                       consumers of debian/tests/consumers built against the
#                       prefix and run (TRIPLET: cross-built with its compilers;
#                       EMULATOR runs them), then a Trelvo.conf beside the
#                       installed front end that names another directory
# Also needs SOURCE_DIR, LIBDIR (CMAKE_INSTALL_LIBDIR) and BUILD_TYPE.
foreach(variable CHECK BUILD_DIR WORK SOURCE_DIR LIBDIR)
    if(NOT ${variable})
        message(FATAL_ERROR "CheckInstall.cmake needs -D${variable}=...")
    endif()
endforeach()
set(front_end libTrelvo_aarch64.so)
set(implementation libVeltApi_aarch64.so)
# An installation into a prefix of its own goes there, not below a DESTDIR of the build's.
unset(ENV{DESTDIR})
file(REMOVE_RECURSE ${WORK})

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}")
    endif()
endfunction()

function(install_into prefix)
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${ARGN})
endfunction()

function(check_components)
    if(BUILD_TYPE)
        string(TOLOWER ${BUILD_TYPE} config)
    else()
        set(config noconfig)
    endif()
    set(runtime ${LIBDIR}/${front_end})
    set(development include/trelvo/Trelvo.h ${LIBDIR}/pkgconfig/trelvo.pc)
    foreach(file TrelvoConfig TrelvoConfigVersion TrelvoTargets TrelvoTargets-${config})
        list(APPEND development ${LIBDIR}/cmake/Trelvo/${file}.cmake)
    endforeach()
    set(sample ${LIBDIR}/${implementation})
    foreach(component runtime development sample)
        install_into(${WORK}/${component} --component ${component})
        file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${WORK}/${component}
            ${WORK}/${component}/*)
        list(SORT installed)
        list(SORT ${component})
        if(NOT "${installed}" STREQUAL "${${component}}")
            string(REPLACE ";" "\n  " installed "${installed}")
            string(REPLACE ";" "\n  " expected "${${component}}")
            message(FATAL_ERROR "component ${component} installed:\n  ${installed}\nexpected:\n  ${expected}")
        endif()
        message(STATUS "component ${component}: ${installed}")
    endforeach()
endfunction()

# The consumers of debian/tests/consumers, built and run against the prefix;
# they stay in the directory given.
function(check_consumers prefix directory)
    set(ENV{TRELVO_PREFIX} ${prefix})
    set(ENV{TRELVO_TRIPLET} "${TRIPLET}")
    set(ENV{TRELVO_EMULATOR} "${EMULATOR}")
    set(ENV{AUTOPKGTEST_TMP} ${directory})
    file(MAKE_DIRECTORY ${directory})
    run(sh ${SOURCE_DIR}/debian/tests/consumers)
endfunction()

# A Trelvo.conf beside the installed front end names another directory and
# turns the default search off: the C consumer must be given the copy of the
# implementation there, and the front end logs its choice beside itself.
function(check_configuration_file libdir consumers)
    set(elsewhere ${WORK}/elsewhere)
    file(COPY ${libdir}/${implementation} DESTINATION ${elsewhere})
    file(WRITE ${libdir}/Trelvo.conf "veltapipath = ${elsewhere}\nignoredefaultsearch = true\n")
    include(${SOURCE_DIR}/cmake/ClientVariables.cmake)
    foreach(variable IN LISTS TRELVO_CLIENT_VARIABLES)
        unset(ENV{${variable}})
    endforeach()
    set(ENV{TRELVODEBUG} 1)
    separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
    execute_process(COMMAND ${emulator} ${consumers}/c-consumer ${elsewhere}/${implementation}
        WORKING_DIRECTORY ${consumers}/run RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the C consumer did not get ${elsewhere}/${implementation} (${result})")
    endif()
    set(digits2 "[0-9][0-9]")
    set(stamp "^${digits2}${digits2}-${digits2}-${digits2} ${digits2}:${digits2}:${digits2},[0-9]${digits2} ")
    file(STRINGS ${libdir}/Trelvo.log lines)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "${stamp}" "" text "${line}")
        if(NOT text STREQUAL line AND text STREQUAL "Using VELT API from \"${elsewhere}/${implementation}\"")
            return()
        endif()
    endforeach()
    file(READ ${libdir}/Trelvo.log log)
    message(FATAL_ERROR "${libdir}/Trelvo.log lacks the line naming ${elsewhere}/${implementation}:\n${log}")
endfunction()

if(CHECK STREQUAL Components)
    check_components()
elseif(CHECK STREQUAL Consumers)
    set(prefix ${WORK}/prefix)
    install_into(${WORK}/installed)
    install_into(${WORK}/installed --component sample)
    file(RENAME ${WORK}/installed ${prefix})
    run(${CMAKE_COMMAND} -DREADELF=${READELF} "-DMACHINE=${MACHINE}" -DBINARY=${prefix}/${LIBDIR}/${front_end}
        "-DRUNPATH=\$ORIGIN" -P ${CMAKE_CURRENT_LIST_DIR}/../build/CheckElf.cmake)
    check_consumers(${prefix} ${WORK}/consumers)
    check_configuration_file(${prefix}/${LIBDIR} ${WORK}/consumers)
else()
    message(FATAL_ERROR "unknown check '${CHECK}' (Components or Consumers)")
endif()
