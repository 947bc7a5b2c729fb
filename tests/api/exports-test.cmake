# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# The front end's dynamic symbol table defines exactly the functions that the
# public header declares TRELVO_API, and nothing else of its own: the linker
# map, generated from the entry points' description, must agree with the
# header. Run with -DNM=<the toolchain's nm> -DLIBRARY=<the front end>
# -DHEADER=<api/Trelvo.h>, so it reads a cross-built library as well.
file(STRINGS ${HEADER} expected REGEX "^TRELVO_API ")
list(TRANSFORM expected REPLACE "^[^(]*[ *]([A-Za-z_][A-Za-z0-9_]*)\\(.*" "T \\1")
if(NOT expected)
    message(FATAL_ERROR "no function declared in ${HEADER}")
endif()

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
