# cmake -DENGINE_DIR=src/engine -P header_first.cmake
#
# Fails unless every engine source that engine_sources.cmake names (smooth/ too) includes
# exact_arithmetic.h before anything else: its pragmas hold only for what
# follows them, so a header included earlier brings inline code that a
# compiler may still fuse.
include(${ENGINE_DIR}/engine_sources.cmake)
set(sources ${VOXBLUR_ENGINE_SOURCES} ${VOXBLUR_SMOOTH_SOURCES} ${VOXBLUR_THREADS_SINGLE}
            ${VOXBLUR_THREADS_POSIX} ${VOXBLUR_THREADS_WIN32})
set(offenders)
foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include" LIMIT_COUNT 1)
    if(NOT includes MATCHES "^[ \t]*#[ \t]*include[ \t]*\"exact_arithmetic.h\"")
        get_filename_component(name ${source} NAME)
        list(APPEND offenders "${name} (first include: ${includes})")
    endif()
endforeach()
if(offenders)
    list(JOIN offenders "\n  " offenders)
    message(FATAL_ERROR "Engine sources that do not include exact_arithmetic.h first:\n  ${offenders}")
endif()
list(LENGTH sources count)
message("All ${count} engine sources include exact_arithmetic.h first")
