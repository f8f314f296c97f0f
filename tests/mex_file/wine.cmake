# Included by CMakeLists.txt for the rows whose runner is wine or wine64:
# the case table under wine, in a prefix of this build tree, made once
# before the cases; with the x86-64 file, the engine's choice of vector
# passes and the Windows threads under wine too.
# Debian's wine command starts the 32-bit loader whenever wine32 is
# installed, which hands new prefixes and 64-bit programs on to wine64
# only if that is installed too (a prefix made by wine32 alone runs no
# 64-bit program). So the x86-64 file's prefix is made, and its host
# run, by wine64 itself, and configuring fails without it.
set(wine_environment WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
                     WINEDLLOVERRIDES=mscoree,mshtml=)
if(VOXBLUR_MEX_RUNNER STREQUAL "wine64")
    find_program(WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
    set(wine ${WINE64})
    list(APPEND wine_environment WINELOADER=${WINE64})
else()
    set(wine wine)
endif()
# Without i386 programs, or without wine's 32-bit half (which make deps
# notes, with apt's reason, when it cannot install it), each command that
# would start wine's 32-bit loader (the prefix's and the cases') is put
# behind this, which ignores it, says why, and exits with the code CTest
# counts as skipped.
set(skip_reason "${no_native_i386_reason}")
set(VOXBLUR_PACKAGE_NOTES ${PROJECT_SOURCE_DIR}/out/build/packages-not-installed CACHE PATH
    "Where make deps notes the packages that it could not install, and why")
set(wine32_note ${VOXBLUR_PACKAGE_NOTES}/wine32:i386)
if(VOXBLUR_MEX_RUNNER STREQUAL "wine" AND EXISTS ${wine32_note})
    file(STRINGS ${wine32_note} wine32_missing LIMIT_COUNT 1)
    if(skip_reason)
        string(APPEND skip_reason "; ")
    endif()
    string(APPEND skip_reason "${wine32_missing}")
endif()
set(skip_wine32)
if(skip_reason)
    set(skip_wine32 sh -c "echo \"skipped: $0\" && exit 77"
                    "wine's 32-bit loader cannot run (${skip_reason})")
    file(WRITE ${skip_note} "${VOXBLUR_MEX_FILE}\n${skip_reason}\n")
endif()
add_test(NAME wine_prefix COMMAND ${skip_wine32} ${wine} wineboot --init)
set_tests_properties(wine_prefix PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}" TIMEOUT 300)
set(wine_tests)
foreach(arithmetic ${VOXBLUR_MEX_ARITHMETIC})
    # The loader sets the x87 unit's precision to that of the arithmetic.
    set(name ${cases_name})
    set(host_command "${wine} ${loader}")
    if(arithmetic MATCHES "^x87-(53|64)$")
        string(APPEND host_command " --x87-precision=${CMAKE_MATCH_1}")
    endif()
    if(arithmetic_count GREATER 1)
        string(REPLACE "-" "_" name ${cases_name}_${arithmetic})
    endif()
    add_test(NAME ${name}
             COMMAND ${skip_wine32} ${host_tests} "--host-command=${host_command}"
                     ${case_expectations} --arithmetic=${arithmetic})
    list(APPEND wine_tests ${name})
endforeach()
if(VOXBLUR_MEX_RUNNER STREQUAL "wine64")
    # The run-time choice of the vector passes works in a Windows
    # program too: under wine, the engine takes AVX-512 (for long
    # kernels only, or for all on some processors) or AVX where the
    # processor has it.
    add_executable(avx_choice ${PROJECT_SOURCE_DIR}/tests/engine/avx_choice.cpp $<TARGET_OBJECTS:voxblur_engine>
                              ${VOXBLUR_THREADS_WIN32})
    target_include_directories(avx_choice PRIVATE ${PROJECT_SOURCE_DIR}/src/engine)
    target_link_options(avx_choice PRIVATE -static-libgcc -static-libstdc++)
    target_link_libraries(avx_choice PRIVATE host_mex)
    set_target_properties(avx_choice PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:host_mex>)
    # (The choice expected is that of the processor that runs the test.)
    add_test(NAME engine_chooses_vector_passes_under_wine
             COMMAND ${PROJECT_SOURCE_DIR}/tests/engine/check_avx_choice.sh
                     ${wine} $<TARGET_FILE:avx_choice>)
    list(APPEND wine_tests engine_chooses_vector_passes_under_wine)
endif()
if(VOXBLUR_MEX_THREADS STREQUAL "win32")
    # run_in_threads on the Windows kernel's threads, under wine.
    add_executable(windows_threads ${PROJECT_SOURCE_DIR}/tests/threads/windows_threads.cpp ${VOXBLUR_THREADS_WIN32})
    target_include_directories(windows_threads PRIVATE ${PROJECT_SOURCE_DIR}/src/engine)
    target_link_options(windows_threads PRIVATE -static-libgcc -static-libstdc++)
    add_test(NAME windows_threads_under_wine COMMAND ${wine} $<TARGET_FILE:windows_threads>)
    list(APPEND wine_tests windows_threads_under_wine)
endif()
set_tests_properties(${wine_tests} PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT "${wine_environment}")
if(skip_wine32)
    set_tests_properties(wine_prefix ${wine_tests} PROPERTIES SKIP_RETURN_CODE 77)
endif()
