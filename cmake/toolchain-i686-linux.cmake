# Linux x86 (32-bit) with the multilib compilers. Plain -m32 keeps double
# arithmetic in the x87 unit, as the 32-bit MEX files are meant to.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

# The C library's headers include the kernel's <asm/...>, which Debian puts
# in /usr/include/ARCH-linux-gnu/asm, and which g++-12-multilib does not
# bring for i386 (linux-libc-dev:i386 would, but only in the very version of
# the amd64 one, which a package mirror in the middle of a sync may lack).
# The kernel's x86 headers are one set for both: i386 programs test
# __i386__ in them. So without i386 ones, the -m32 builds alone see the
# amd64 ones as asm/, through a link in a folder of the build trees.
set(amd64_asm /usr/include/x86_64-linux-gnu/asm)
if(NOT EXISTS /usr/include/i386-linux-gnu/asm AND NOT EXISTS /usr/include/asm
   AND EXISTS ${amd64_asm})
    get_filename_component(i386_include ${CMAKE_CURRENT_LIST_DIR}/../out/build/i386-include
                           ABSOLUTE)
    if(NOT EXISTS ${i386_include}/asm)
        file(MAKE_DIRECTORY ${i386_include})
        file(CREATE_LINK ${amd64_asm} ${i386_include}/asm SYMBOLIC)
    endif()
    string(APPEND CMAKE_C_FLAGS_INIT " -isystem ${i386_include}")
    string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem ${i386_include}")
endif()
