# cmake -DCOMPILER=c++ -DSOURCE=threads_posix.cpp -DENGINE_DIR=src/engine
#       -DFOLDER=dir -DNM=nm -P posix_without_affinity.cmake
#
# Compiles threads_posix.cpp as on Linux, where it counts the processors of
# the process's affinity, and as on a POSIX system whose sched.h has no
# cpu_set_t or sched_getaffinity (macOS): glibc declares them only for
# _GNU_SOURCE, which g++ defines unless told not to. The second must still
# compile, warning-free, and count with sysconf instead.
function(undefined_calls name flags result)
    set(object ${FOLDER}/${name}.o)
    execute_process(
        COMMAND ${COMPILER} -std=c++17 -O2 -Wall -Wextra -Werror ${flags} -I${ENGINE_DIR}
                -c ${SOURCE} -o ${object}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "threads_posix.cpp does not compile ${name}")
    endif()
    execute_process(COMMAND ${NM} -u ${object} OUTPUT_VARIABLE calls COMMAND_ERROR_IS_FATAL ANY)
    set(${result} "${calls}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${FOLDER})
undefined_calls(with_affinity "" linux_calls)
if(NOT linux_calls MATCHES "sched_getaffinity")
    message(FATAL_ERROR "With _GNU_SOURCE, threads_posix.cpp does not ask sched_getaffinity:\n${linux_calls}")
endif()
undefined_calls(without_affinity "-U_GNU_SOURCE;-D_POSIX_C_SOURCE=200809L" posix_calls)
if(posix_calls MATCHES "sched_getaffinity" OR NOT posix_calls MATCHES "sysconf")
    message(FATAL_ERROR "Without _GNU_SOURCE, threads_posix.cpp should call sysconf and not sched_getaffinity:\n${posix_calls}")
endif()
message("threads_posix.cpp: sched_getaffinity with _GNU_SOURCE, sysconf alone without")
