# SPDX-FileCopyrightText: 2026 The libTrelvo developers
# SPDX-License-Identifier: MIT

# Hardening for every target that links trelvo_options, as distributions build
# system libraries: stack protector, fortified libc calls in optimised builds,
# full RELRO with immediate binding, and branch protection for the processor.
#
# Flags from the environment win, as packagers expect: a protection whose
# family CFLAGS, CXXFLAGS, CPPFLAGS or LDFLAGS already name (even to turn it
# off) is left to them.

option(TRELVO_HARDENING "Build with the hardening flags that distributions use" ON)

# CMake takes CFLAGS and CXXFLAGS from the environment at the first configure,
# but drops CPPFLAGS; keep them the same way and give them to both languages.
set(TRELVO_CPPFLAGS "$ENV{CPPFLAGS}" CACHE STRING
    "Preprocessor flags for C and C++ (initialised from the environment's CPPFLAGS)")
separate_arguments(_trelvo_cppflags UNIX_COMMAND "${TRELVO_CPPFLAGS}")
target_compile_options(trelvo_options INTERFACE ${_trelvo_cppflags})

set(_trelvo_given_compile_flags "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS} ${TRELVO_CPPFLAGS}")
set(_trelvo_given_link_flags "${CMAKE_SHARED_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_MODULE_LINKER_FLAGS}")

# Adds the compile flag unless the given flags match the family's pattern.
function(trelvo_harden_compile family flag)
    if(NOT _trelvo_given_compile_flags MATCHES "${family}")
        target_compile_options(trelvo_options INTERFACE "${flag}")
    endif()
endfunction()

function(trelvo_harden_link family flag)
    if(NOT _trelvo_given_link_flags MATCHES "${family}")
        target_link_options(trelvo_options INTERFACE "${flag}")
    endif()
endfunction()

if(TRELVO_HARDENING)
    trelvo_harden_compile("stack-protector" -fstack-protector-strong)
    trelvo_harden_compile("stack-clash-protection" -fstack-clash-protection)
    # glibc refuses to fortify without optimisation, and says so in a warning.
    trelvo_harden_compile("_FORTIFY_SOURCE"
        "$<$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>:-D_FORTIFY_SOURCE=2>")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
        trelvo_harden_compile("cf-protection" -fcf-protection)
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
        trelvo_harden_compile("branch-protection" -mbranch-protection=standard)
    endif()
    trelvo_harden_link("relro" "LINKER:-z,relro")
    trelvo_harden_link("-z,(now|lazy)|-znow|-zlazy" "LINKER:-z,now")
endif()
