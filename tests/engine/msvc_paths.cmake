# cmake -DCLANG_CL=clang-cl -DNM=llvm-nm -DENGINE_DIR=src/engine -DMEX_DIR=src/mex
#       -DFOLDER=dir -P msvc_paths.cmake
#
# The preprocessor paths of Microsoft's compiler, checked with clang-cl
# (there is no Microsoft compiler, Windows SDK or Microsoft C library
# here). Microsoft's compiler names x86-64 _M_X64 only, where clang-cl also
# defines __x86_64__: with that taken away, the engine must still find the
# x86-64 vector passes, and for _M_ARM64 the NEON ones. Then the engine
# sources that need no C library headers are compiled warning-free for
# both, and their objects must hold the vector passes and a choice among
# them on threads, not the plain passes alone; the gateway is compiled so
# for x64 too. Like Microsoft's compiler, clang-cl takes C++14 by default,
# and so does this check.
file(MAKE_DIRECTORY ${FOLDER})

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${FOLDER} RESULT_VARIABLE failed
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(failed)
        list(JOIN ARGN " " command)
        message(FATAL_ERROR "${command}\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

# macros(TARGET EXTRA_FLAG RESULT): what volume_passes.h defines for it
function(macros target flag result)
    run(${CLANG_CL} --target=${target} ${flag} /TP /E /clang:-dM -- ${ENGINE_DIR}/volume_passes.h)
    set(${result} "${output}" PARENT_SCOPE)
endfunction()

macros(x86_64-pc-windows-msvc -U__x86_64__ x64)
if(NOT x64 MATCHES "#define VOXBLUR_VECTORS_X86_64 1")
    message(FATAL_ERROR "_M_X64 without __x86_64__ does not select the x86-64 vector passes")
endif()
macros(aarch64-pc-windows-msvc "" arm64)
if(NOT arm64 MATCHES "#define VOXBLUR_VECTORS_NEON 1")
    message(FATAL_ERROR "_M_ARM64 does not select the NEON passes")
endif()

# compile(TARGET SOURCE...) into FOLDER/<target>/
function(compile target)
    file(MAKE_DIRECTORY ${FOLDER}/${target})
    foreach(source ${ARGN})
        run(${CLANG_CL} --target=${target} /c /O2 /W4 /WX -Xclang -ffreestanding
            -I${ENGINE_DIR} -I${MEX_DIR} /Fo${target}/${source}.obj -- ${ENGINE_DIR}/${source}.cpp)
    endforeach()
endfunction()

# symbols(TARGET SOURCE RESULT): the object's defined and undefined names
function(symbols target source result)
    run(${NM} ${FOLDER}/${target}/${source}.obj)
    set(${result} "${output}" PARENT_SCOPE)
endfunction()

function(require text pattern what)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: no ${pattern} in\n${text}")
    endif()
endfunction()

compile(x86_64-pc-windows-msvc passes_select passes_sse2 passes_avx passes_avx512 passes_plain
        filter_1d)
# The gateway as voxblur_build compiles it for MATLAB on Windows, also
# C++14 and warning-free (its host declarations need no C library headers).
foreach(source gateway mexversion)
    run(${CLANG_CL} --target=x86_64-pc-windows-msvc /c /O2 /W4 /WX -Xclang -ffreestanding
        -DVOXBLUR_HOST_R14 -I${ENGINE_DIR} -I${MEX_DIR} /Fox86_64-pc-windows-msvc/${source}.obj
        -- ${MEX_DIR}/${source}.cpp)
endforeach()
symbols(x86_64-pc-windows-msvc passes_select chooser)
foreach(name U\ volume_passes_avx512 U\ volume_passes_avx\n U\ volume_passes_sse2
             U\ threads_available T\ cpu_has_avx512)
    require("${chooser}" "${name}" "passes_select for x86-64")
endforeach()
foreach(variant sse2 avx avx512)
    symbols(x86_64-pc-windows-msvc passes_${variant} variant_symbols)
    require("${variant_symbols}" "T volume_passes_${variant}" "passes_${variant} for x86-64")
endforeach()

compile(aarch64-pc-windows-msvc passes_select passes_neon)
symbols(aarch64-pc-windows-msvc passes_select chooser)
foreach(name U\ volume_passes_neon U\ threads_available)
    require("${chooser}" "${name}" "passes_select for 64-bit ARM")
endforeach()
symbols(aarch64-pc-windows-msvc passes_neon neon_symbols)
require("${neon_symbols}" "T volume_passes_neon" "passes_neon for 64-bit ARM")
message("Microsoft's x64 and ARM64 paths: the vector passes, chosen among on threads; "
        "the gateway compiles as C++14")
