# Included by CMakeLists.txt in the trees of the 32-bit files.
# Some x86-64 kernels run no i386 program ("Exec format error"), and the
# Linux x86 loader and wine's 32-bit loader are i386 programs. So the trees
# of the 32-bit files find out once, by running a tiny one; the variable
# VOXBLUR_NO_NATIVE_I386=1 in the environment of configuring acts as if the
# answer were no. Then the Linux x86 loader runs under qemu-i386, and the
# runs under wine of the Windows x86 files (wine does not run under
# qemu-i386) are skipped, naming the reason in skipped-case-tables.txt for
# make test to report; their link checks still run.
if(NOT DEFINED VOXBLUR_RUNS_I386)
    set(probe ${CMAKE_BINARY_DIR}/i386_probe)
    file(WRITE ${probe}.c "int main(void) { return 0; }\n")
    execute_process(COMMAND gcc -m32 -o ${probe} ${probe}.c
                    RESULT_VARIABLE built ERROR_VARIABLE build_errors)
    if(NOT built EQUAL 0)
        message(FATAL_ERROR "gcc -m32 cannot build ${probe}.c (g++-12-multilib missing?):\n"
                            "${build_errors}")
    endif()
    execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_QUIET ERROR_QUIET)
    if(ran EQUAL 0)
        set(runs_i386 ON)
    else()
        set(runs_i386 OFF)
    endif()
    set(VOXBLUR_RUNS_I386 ${runs_i386} CACHE INTERNAL "Whether this machine runs i386 programs")
endif()
if(NOT VOXBLUR_RUNS_I386)
    set(no_native_i386_reason "this machine runs no 32-bit programs")
elseif("$ENV{VOXBLUR_NO_NATIVE_I386}")
    set(no_native_i386_reason
        "VOXBLUR_NO_NATIVE_I386=$ENV{VOXBLUR_NO_NATIVE_I386}: no 32-bit program runs natively")
endif()
if(no_native_i386_reason AND VOXBLUR_MEX_RUNNER MATCHES "loader")
    find_program(QEMU_I386 qemu-i386 REQUIRED)
    set(loader "${QEMU_I386} ${loader}")
endif()
