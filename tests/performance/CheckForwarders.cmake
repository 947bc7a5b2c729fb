# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Reads the disassembly of the front end and checks that each of the 17 plain
# forwarders, once the library is ready, reaches the implementation in a few
# instructions: every path through the forwarder's own body that ends in an
# indirect branch (the tail call) is at most the limit long, counting the
# branch, and has no call, no stack frame and no store on the way. The
# initialization path lies outside the body (a .cold part or a function of its
# own) and is not followed.
#
#   cmake -DOBJDUMP=... -DLIBRARY=... -DPROCESSOR=aarch64|x86_64
#         -DENTRY_POINTS=.../api/EntryPoints.h -P CheckForwarders.cmake

# The plain forwarders by binding, from the rows "X(symbol, binding, Forwarded,"
# of the entry points' description.
file(READ ${ENTRY_POINTS} description)
string(REGEX MATCHALL "X\\([A-Za-z_]+, *[A-Za-z]+, *Forwarded" rows "${description}")
foreach(row IN LISTS rows)
    string(REGEX MATCH "X\\(([A-Za-z_]+), *([A-Za-z]+)" row "${row}")
    string(TOLOWER ${CMAKE_MATCH_2} binding)
    list(APPEND ${binding}_forwarders ${CMAKE_MATCH_1})
endforeach()
if(NOT required_forwarders OR NOT optional_forwarders)
    message(FATAL_ERROR "No forwarders of both bindings described in ${ENTRY_POINTS}")
endif()

# On x86-64 the client's call also passes through a PLT jump: with it, a
# required forwarder may add at most 6 instructions to a direct call and an
# optional one at most 8.
if(PROCESSOR STREQUAL "aarch64")
    set(comment "//")
    set(landing_pad "^bti$")
    set(required_limit 10)
    set(optional_limit 10)
    set(indirect_branch "^br")
    set(call "^bl")
    set(conditional_branch "^(b\\.|cbn?z$|tbn?z$)")
    set(direct_branch "^b$")
    set(store "^(st|swp|cas|ld(add|clr|eor|set|smax|smin|umax|umin))")
    set(stack_use "(^|[^a-z0-9_])(w?sp|x29)([^a-z0-9_]|$)")
elseif(PROCESSOR STREQUAL "x86_64")
    set(comment "#")
    set(landing_pad "^endbr64$")
    set(required_limit 5)
    set(optional_limit 7)
    set(indirect_branch "^jmp\\*")
    set(call "^call")
    set(conditional_branch "^j")
    set(direct_branch "^jmp")
    set(stack_use "^(push|pop|enter|leave)|%[re]?(sp|bp)")
else()
    message(FATAL_ERROR "No rules for the processor '${PROCESSOR}'")
endif()

# AT&T syntax: the destination is the last operand, a store when it is memory.
function(is_x86_store mnemonic operands out)
    set(${out} FALSE PARENT_SCOPE)
    if(mnemonic MATCHES "^(cmp|test|j|call|nop|lea)")
        return()
    endif()
    string(REGEX REPLACE "\\([^)]*\\)" "(m)" operands "${operands}")
    string(REGEX REPLACE ".*," "" destination "${operands}")
    if(destination MATCHES "\\(")
        set(${out} TRUE PARENT_SCOPE)
    endif()
endfunction()

# Disassembles one function into the lists addresses, mnemonics and operands
# (set in the caller). An indirect x86 jump gets the mnemonic "jmp*".
function(disassemble name)
    execute_process(
        COMMAND ${OBJDUMP} -d --no-show-raw-insn --disassemble=${name} ${LIBRARY}
        OUTPUT_VARIABLE text RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
    endif()
    # Brackets and semicolons would upset CMake's lists.
    string(REPLACE ";" "," text "${text}")
    string(REPLACE "[" "(" text "${text}")
    string(REPLACE "]" ")" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(addresses)
    set(mnemonics)
    set(operands)
    foreach(line IN LISTS lines)
        if(NOT line MATCHES "^ *([0-9a-f]+):\t(.*)$")
            continue()
        endif()
        set(address ${CMAKE_MATCH_1})
        string(REGEX REPLACE "[ \t]*${comment}.*$" "" instruction "${CMAKE_MATCH_2}")
        string(REGEX REPLACE "^((notrack|bnd|rep|repz|lock|cs|ds|data16) +)+" ""
            instruction "${instruction}")
        string(REGEX MATCH "^([a-z0-9.]+)[ \t]*(.*)$" instruction "${instruction}")
        set(mnemonic "${CMAKE_MATCH_1}")
        set(operand "${CMAKE_MATCH_2}")
        # Branch-protection landing pads are no-ops on the way: not counted.
        if(mnemonic MATCHES "${landing_pad}")
            continue()
        endif()
        # Older objdump spells the 64-bit jumps and calls "jmpq", "callq".
        string(REGEX REPLACE "^(jmp|call)q$" "\\1" mnemonic "${mnemonic}")
        if(mnemonic STREQUAL "jmp" AND operand MATCHES "^\\*")
            set(mnemonic "jmp*")
        endif()
        math(EXPR address "0x${address}")
        list(APPEND addresses ${address})
        list(APPEND mnemonics "${mnemonic}")
        # The mark keeps empty operands as list elements of their own.
        list(APPEND operands "=${operand}")
    endforeach()
    set(addresses ${addresses} PARENT_SCOPE)
    set(mnemonics ${mnemonics} PARENT_SCOPE)
    set(operands "${operands}" PARENT_SCOPE)
endfunction()

# The index of the branch's target inside the function, or -1 outside it.
function(branch_target operand out)
    set(${out} -1 PARENT_SCOPE)
    if(operand MATCHES "([0-9a-f]+) <")
        math(EXPR target "0x${CMAKE_MATCH_1}")
        list(FIND addresses ${target} index)
        set(${out} ${index} PARENT_SCOPE)
    endif()
endfunction()

# Follows every path from the entry; appends a problem to the caller's
# problems and sets longest to the longest path ending in an indirect branch
# (0 when none does).
function(check_forwarder name limit)
    disassemble(${name})
    list(LENGTH addresses size)
    set(longest 0)
    set(found_problems)
    if(size EQUAL 0)
        list(APPEND found_problems "${name}: not found in ${LIBRARY}")
    endif()
    # Each pending path: its next instruction's index and its length so far.
    set(pending "0:0")
    while(pending AND size GREATER 0)
        list(POP_FRONT pending path)
        string(REPLACE ":" ";" path "${path}")
        list(GET path 0 index)
        list(GET path 1 length)
        while(index GREATER_EQUAL 0 AND index LESS size)
            math(EXPR length "${length} + 1")
            list(GET mnemonics ${index} mnemonic)
            list(GET operands ${index} operand)
            string(SUBSTRING "${operand}" 1 -1 operand)
            if(PROCESSOR STREQUAL "x86_64")
                is_x86_store("${mnemonic}" "${operand}" writes)
            else()
                string(REGEX MATCH "${store}" writes "${mnemonic}")
            endif()
            set(problem)
            if(length GREATER 64)
                set(problem "the path does not end")
            elseif(mnemonic MATCHES "${indirect_branch}")
                if(length GREATER limit)
                    set(problem "more than ${limit} instructions")
                endif()
                if(length GREATER longest)
                    set(longest ${length})
                endif()
            elseif(mnemonic MATCHES "${call}")
                set(problem "a call")
            elseif(mnemonic MATCHES "${stack_use}" OR operand MATCHES "${stack_use}")
                set(problem "uses the stack")
            elseif(writes)
                set(problem "writes to memory")
            endif()
            if(problem)
                list(APPEND found_problems
                    "${name}: instruction ${length}, '${mnemonic} ${operand}': ${problem}")
            endif()
            if(problem OR mnemonic MATCHES "${indirect_branch}|^ret")
                break()
            endif()
            if(mnemonic MATCHES "${direct_branch}")
                branch_target("${operand}" index)
            elseif(mnemonic MATCHES "${conditional_branch}")
                branch_target("${operand}" target)
                if(target GREATER_EQUAL 0)
                    list(APPEND pending "${target}:${length}")
                endif()
                math(EXPR index "${index} + 1")
            else()
                math(EXPR index "${index} + 1")
            endif()
        endwhile()
    endwhile()
    if(size GREATER 0 AND longest EQUAL 0 AND NOT found_problems)
        list(APPEND found_problems "${name}: no path ends in an indirect branch")
    endif()
    set(longest ${longest} PARENT_SCOPE)
    set(problems ${problems} ${found_problems} PARENT_SCOPE)
endfunction()

set(problems)
foreach(binding required optional)
    foreach(name IN LISTS ${binding}_forwarders)
        check_forwarder(${name} ${${binding}_limit})
        message(STATUS "${name} (${binding}): ${longest} instructions to the tail call"
            " (limit ${${binding}_limit})")
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n  " report)
    message(FATAL_ERROR "Forwarders off the fast path shape:\n  ${report}")
endif()
