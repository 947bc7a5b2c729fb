# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Run with cmake -P. Fails unless BINARY is a 64-bit ELF file for MACHINE (the
# machine as `file` names it) and, when RUNPATH is given, its dynamic section
# carries exactly that run-time search path.
foreach(variable FILE_COMMAND READELF BINARY MACHINE)
    if(NOT ${variable})
        message(FATAL_ERROR "CheckElf.cmake needs -D${variable}=...")
    endif()
endforeach()

function(run_tool output)
    execute_process(COMMAND ${ARGN} ${BINARY}
        OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN} ${BINARY} failed (${result}): ${errors}")
    endif()
    set(${output} "${text}" PARENT_SCOPE)
endfunction()

run_tool(description ${FILE_COMMAND} --brief --dereference)
foreach(expected "ELF 64-bit" "${MACHINE}")
    string(FIND "${description}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not \"${expected}\": ${BINARY}: ${description}")
    endif()
endforeach()

if(DEFINED RUNPATH)
    run_tool(dynamic ${READELF} --dynamic)
    if(NOT dynamic MATCHES "\\(RUNPATH\\)[ \t]+Library runpath: \\[([^\n]*)\\]")
        message(FATAL_ERROR "no RUNPATH: ${BINARY}")
    endif()
    if(NOT CMAKE_MATCH_1 STREQUAL RUNPATH)
        message(FATAL_ERROR "RUNPATH [${CMAKE_MATCH_1}], not [${RUNPATH}]: ${BINARY}")
    endif()
endif()
message(STATUS "${BINARY}: ${description}")
