# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The front end's dynamic symbol table defines exactly the functions that the
# version script MAP makes global, and nothing else of its own. Run with
# -DNM=<the toolchain's nm> -DLIBRARY=<the front end> -DMAP=<Trelvo.map>, so it
# reads a cross-built library as well.
file(READ ${MAP} map)
if(NOT map MATCHES "global:([^}]*)local:")
    message(FATAL_ERROR "no global names in ${MAP}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
list(TRANSFORM expected PREPEND "T ")

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE table ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

# "<address> <type> <name>" per symbol; the type and name are compared.
string(REGEX MATCHALL "[^\n]+" defined "${table}")
list(TRANSFORM defined REPLACE "^[0-9a-fA-F]* +" "")
list(SORT defined)
list(SORT expected)
if(NOT defined STREQUAL expected)
    set(unexpected ${defined})
    list(REMOVE_ITEM unexpected ${expected})
    set(missing ${expected})
    list(REMOVE_ITEM missing ${defined})
    message(FATAL_ERROR "dynamic symbols of ${LIBRARY} differ from the API.\n"
        "Not expected: ${unexpected}\nMissing: ${missing}")
endif()
