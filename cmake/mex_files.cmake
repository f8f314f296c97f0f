# The MEX files, one row each, and what each one needs. Every decision that
# differs from one MEX file to another reads this table: the engine's
# threads and C-library binding, the host generation, the link, where the
# file goes, and how the tests run it and what they expect. A seventh MEX
# file is a seventh row (and its link settings in build/). The Makefile
# takes the files from here (cmake/list_mex_files.cmake) and the presets
# from CMakePresets.json, which cannot read this table; the presets, the
# link checks' own expectations (tests/link/check_mex_file.sh), the release
# bundle's file list (tests/package/CMakeLists.txt) and the README's table
# are checked against it (tests/link/mex_file_lists.cmake).
#
#   PRESET      the preset of CMakePresets.json that builds it (one preset
#               may build several rows' files)
#   FILE        where it goes, relative to out/
#   HOST        R14: the dimension calls under their _700 names; R11: the
#               plain names of earlier hosts
#   THREADS     the run_in_threads it links (src/engine/threads_*.cpp):
#               single keeps every pass on the calling thread, as the
#               link properties of the specified files require
#   GLIBC       oldest: exp and sprintf bound to the oldest glibc versions
#               (oldest_glibc.h); none: no versions recorded, or no glibc
#   LINK        the link recipe of src/mex/CMakeLists.txt
#   EXPORT      the gateway's export
#   VERSION     what mexVersion returns, or none where there is no export
#   ARITHMETIC  the results the case table expects (host_tests
#               --arithmetic): double, double-msvcrt (msvcrt.dll's exp),
#               x87-64 or x87-53 (each run once per value given)
#   RUNNER      loader: the stand-in host's loader, natively; valgrind:
#               once more under valgrind; wine or wine64: the Windows
#               loader under that wine
#   DEFAULT_LINK  which link checks a default link of the same sources
#               must fail (tests/link/CMakeLists.txt), or none
#   ALSO        the other functions whose MEX file the same tree builds
#               beside it, named FUNCTION.EXT in the same folder: voxsmooth
#               (with threads and the 64-bit array calls: not one of the
#               five files whose link is fixed), or none
set(VOXBLUR_MEX_KEYS PRESET FILE HOST THREADS GLIBC LINK EXPORT VERSION ARITHMETIC RUNNER
                     DEFAULT_LINK ALSO)
function(voxblur_mex_file kind)
    cmake_parse_arguments(PARSE_ARGV 1 row "" "" "${VOXBLUR_MEX_KEYS}")
    foreach(key ${VOXBLUR_MEX_KEYS})
        if(NOT DEFINED row_${key})
            message(FATAL_ERROR "cmake/mex_files.cmake: ${kind} has no ${key}")
        endif()
        set_property(GLOBAL PROPERTY VOXBLUR_MEX_${kind}_${key} "${row_${key}}")
    endforeach()
    set_property(GLOBAL APPEND PROPERTY VOXBLUR_MEX_KINDS ${kind})
endfunction()

voxblur_mex_file(mexa64       PRESET native
    FILE voxblur.mexa64        HOST R14  THREADS single  GLIBC oldest
    LINK linux-r14             EXPORT mexFunction         VERSION "MATLAB R14 native"
    ARITHMETIC double          RUNNER loader valgrind     DEFAULT_LINK linux
    ALSO voxsmooth)
voxblur_mex_file(mexglx       PRESET mexglx
    FILE voxblur.mexglx        HOST R14  THREADS single  GLIBC oldest
    LINK linux-r14             EXPORT mexFunction         VERSION "MATLAB R14 native"
    ARITHMETIC x87-64          RUNNER loader              DEFAULT_LINK linux
    ALSO none)
voxblur_mex_file(mexglx-r11   PRESET mexglx-r11
    FILE r11/voxblur.mexglx    HOST R11  THREADS single  GLIBC none
    LINK linux-r11             EXPORT mexFunction         VERSION "MATLAB R11 native"
    ARITHMETIC x87-64          RUNNER loader              DEFAULT_LINK none
    ALSO none)
voxblur_mex_file(mexw32       PRESET mexw32
    FILE voxblur.mexw32        HOST R14  THREADS single  GLIBC none
    LINK windows-msvcr71       EXPORT mexFunction         VERSION none
    ARITHMETIC x87-53 x87-64   RUNNER wine                DEFAULT_LINK win32
    ALSO none)
voxblur_mex_file(dll          PRESET dll
    FILE voxblur.dll           HOST R11  THREADS single  GLIBC none
    LINK windows-crtdll        EXPORT _mexFunction        VERSION none
    ARITHMETIC x87-53 x87-64   RUNNER wine                DEFAULT_LINK none
    ALSO none)
voxblur_mex_file(mexw64       PRESET mexw64
    FILE voxblur.mexw64        HOST R14  THREADS win32   GLIBC none
    LINK windows-msvcrt        EXPORT mexFunction         VERSION none
    ARITHMETIC double-msvcrt   RUNNER wine64              DEFAULT_LINK win64
    ALSO voxsmooth)

get_property(VOXBLUR_MEX_KINDS GLOBAL PROPERTY VOXBLUR_MEX_KINDS)

# voxblur_mex_property(VARIABLE KIND KEY): the table's entry.
function(voxblur_mex_property variable kind key)
    get_property(value GLOBAL PROPERTY VOXBLUR_MEX_${kind}_${key})
    set(${variable} "${value}" PARENT_SCOPE)
endfunction()

# voxblur_mex_files(VARIABLE KIND): the files of the row, relative to out/:
# voxblur's, then those of the functions built beside it.
function(voxblur_mex_files variable kind)
    voxblur_mex_property(file ${kind} FILE)
    voxblur_mex_property(also ${kind} ALSO)
    set(files ${file})
    get_filename_component(folder ${file} DIRECTORY)
    get_filename_component(extension ${file} LAST_EXT)
    foreach(function ${also})
        if(NOT function STREQUAL "none")
            if(folder)
                list(APPEND files ${folder}/${function}${extension})
            else()
                list(APPEND files ${function}${extension})
            endif()
        endif()
    endforeach()
    set(${variable} ${files} PARENT_SCOPE)
endfunction()
