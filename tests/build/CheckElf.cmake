# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Run with cmake -P; reads ELF files with READELF alone (a host readelf reads
# other machines' files too):
#   -DBINARY=<file>    the file must be a 64-bit ELF file for MACHINE, or
#   -DTREE=<dir>       every ELF file under the directory whose machine is
#                      MACHINE is checked; there must be at least one.
#   -DMACHINE=<name>   as readelf -h names it: AArch64, Advanced Micro Devices X86-64
#   -DRUNPATH=<path>   the dynamic section carries exactly that run-time search path
#   -DGLIBC_MAX=<ver>  no GLIBC_ version above it, nor one that is no numbered
#                      release (GLIBC_PRIVATE, say), among the versions of the
#                      symbols the file takes from others and its version needs
#   -DNEEDED=<list>    every shared object the file needs is in the list
# Prints a line for each file checked: the file, the highest glibc version it
# needs and the objects it needs. Fails at once when a file cannot be read,
# and, after checking them all, when any file breaks a rule.
cmake_minimum_required(VERSION 3.18)
foreach(variable READELF MACHINE)
    if(NOT ${variable})
        message(FATAL_ERROR "CheckElf.cmake needs -D${variable}=...")
    endif()
endforeach()
if(DEFINED BINARY AND DEFINED TREE OR NOT DEFINED BINARY AND NOT DEFINED TREE)
    message(FATAL_ERROR "CheckElf.cmake needs either -DBINARY=<file> or -DTREE=<dir>")
endif()

# Stops with the message unwrapped, as one line for each problem.
function(fail)
    foreach(problem IN LISTS ARGN)
        message("error: ${problem}")
    endforeach()
    message(FATAL_ERROR "CheckElf.cmake: failed")
endfunction()

find_program(readelf_program ${READELF})
if(NOT readelf_program)
    fail("cannot run READELF=${READELF}: not found")
endif()

# The output of readelf with the options given on the file.
function(read_elf output file)
    execute_process(COMMAND ${readelf_program} ${ARGN} ${file}
        OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " options "${ARGN}")
        fail("cannot read ${file} with ${READELF} ${options} (${result}): ${errors}")
    endif()
    set(${output} "${text}" PARENT_SCOPE)
endfunction()

# The value of the ELF header's field, as readelf -h prints it.
function(header_field output header field file)
    if(NOT header MATCHES "\n *${field}: *([^\n]*[^ \n])")
        fail("${READELF} --file-header printed no ${field} line for ${file}:\n${header}")
    endif()
    set(${output} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

function(machine_of output file)
    read_elf(header ${file} --file-header)
    header_field(class "${header}" Class ${file})
    header_field(machine "${header}" Machine ${file})
    set(${output} "${class} ${machine}" PARENT_SCOPE)
endfunction()

# The GLIBC_ versions the file needs: those of the symbols it takes from
# others, and its version needs, which the loader checks and which also hold
# the needs that name no symbol.
function(glibc_versions output file)
    read_elf(symbols ${file} --dyn-syms --wide)
    read_elf(needs ${file} --version-info --wide)
    string(REGEX MATCHALL "[^\n]* UND [^\n]*@GLIBC_[^\n]*" undefined "${symbols}")
    string(REGEX MATCHALL "@GLIBC_[A-Za-z0-9_.]+" from_symbols "${undefined}")
    # Past its definitions, which name versions the file itself gives.
    string(FIND "${needs}" "Version needs section" at)
    if(at EQUAL -1)
        set(needs "")
    else()
        string(SUBSTRING "${needs}" ${at} -1 needs)
    endif()
    string(REGEX MATCHALL "Name: GLIBC_[A-Za-z0-9_.]+" from_needs "${needs}")
    set(versions ${from_symbols} ${from_needs})
    list(TRANSFORM versions REPLACE "^(@|Name: )GLIBC_" "")
    list(REMOVE_DUPLICATES versions)
    list(SORT versions COMPARE NATURAL)
    set(${output} "${versions}" PARENT_SCOPE)
endfunction()

# The dynamic section: the NEEDED entries and the RUNPATH (none: "-").
function(dynamic_entries needed_output runpath_output file)
    read_elf(dynamic ${file} --dynamic)
    if(NOT dynamic MATCHES "Dynamic section at|There is no dynamic section")
        fail("${READELF} --dynamic printed no dynamic section for ${file}:\n${dynamic}")
    endif()
    string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^\n]*\\]" entries "${dynamic}")
    list(TRANSFORM entries REPLACE ".*\\[(.*)\\]$" "\\1")
    set(runpath -)
    if(dynamic MATCHES "\\(RUNPATH\\)[ \t]+Library runpath: \\[([^\n]*)\\]")
        set(runpath "${CMAKE_MATCH_1}")
    endif()
    set(${needed_output} "${entries}" PARENT_SCOPE)
    set(${runpath_output} "${runpath}" PARENT_SCOPE)
endfunction()

# Checks the file, named in messages by name; appends what it breaks to errors.
function(check_file file name)
    set(problems)
    glibc_versions(versions ${file})
    dynamic_entries(needed runpath ${file})
    set(newest none)
    foreach(version IN LISTS versions)
        if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)*$")
            list(APPEND problems "needs GLIBC_${version}, not a numbered glibc release")
            continue()
        endif()
        if(newest STREQUAL none OR version VERSION_GREATER newest)
            set(newest ${version})
        endif()
        if(DEFINED GLIBC_MAX AND version VERSION_GREATER GLIBC_MAX)
            list(APPEND problems "needs GLIBC_${version}, newer than GLIBC_${GLIBC_MAX}")
        endif()
    endforeach()
    if(DEFINED NEEDED)
        string(REPLACE ";" " " allowed "${NEEDED}")
        foreach(object IN LISTS needed)
            if(NOT object IN_LIST NEEDED)
                list(APPEND problems "needs ${object}, not one of ${allowed}")
            endif()
        endforeach()
    endif()
    if(DEFINED RUNPATH AND runpath STREQUAL -)
        list(APPEND problems "no RUNPATH")
    elseif(DEFINED RUNPATH AND NOT runpath STREQUAL RUNPATH)
        list(APPEND problems "RUNPATH [${runpath}], not [${RUNPATH}]")
    endif()
    string(REPLACE ";" " " needed "${needed}")
    message(STATUS "${name}  GLIBC_${newest}  ${needed}")
    list(TRANSFORM problems PREPEND "${name}: ")
    set(errors ${errors} ${problems} PARENT_SCOPE)
endfunction()

set(wanted "ELF64 ${MACHINE}")
set(errors)
if(DEFINED BINARY)
    machine_of(machine ${BINARY})
    if(NOT machine STREQUAL wanted)
        fail("not \"${MACHINE}\": ${BINARY} is ${machine}")
    endif()
    check_file(${BINARY} ${BINARY})
else()
    get_filename_component(TREE ${TREE} ABSOLUTE)
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${TREE}/*")
    list(SORT files)
    set(checked 0)
    foreach(file IN LISTS files)
        file(READ ${file} magic LIMIT 4 HEX)
        if(IS_SYMLINK ${file} OR NOT magic STREQUAL 7f454c46)
            continue()
        endif()
        machine_of(machine ${file})
        if(machine STREQUAL wanted)
            file(RELATIVE_PATH name ${TREE} ${file})
            check_file(${file} ${name})
            math(EXPR checked "${checked} + 1")
        endif()
    endforeach()
    if(checked EQUAL 0)
        fail("no ${wanted} file under ${TREE}")
    endif()
endif()
if(errors)
    fail(${errors})
endif()
