# The engine's sources, named once for every build of them: the engine
# library and the MEX file, the Octave builds and the Octave package, the
# fuzz target, the arithmetic builds and the header-order check.
# voxblur_build.m takes this folder's *.cpp at run time instead; a test
# holds what it compiles to this list.
set(VOXBLUR_ENGINE_SOURCE_NAMES
    compute_gauss.cpp
    filter_1d.cpp
    gauss_filter.cpp
    passes_avx.cpp
    passes_avx512.cpp
    passes_neon.cpp
    passes_plain.cpp
    passes_select.cpp
    passes_sse2.cpp)
set(VOXBLUR_ENGINE_SOURCES ${VOXBLUR_ENGINE_SOURCE_NAMES})
list(TRANSFORM VOXBLUR_ENGINE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

# The engine hands its work to run_in_threads (threads.h); each build links
# one of these with the sources above.
set(VOXBLUR_THREADS_SINGLE ${CMAKE_CURRENT_LIST_DIR}/threads_single.cpp)
set(VOXBLUR_THREADS_POSIX ${CMAKE_CURRENT_LIST_DIR}/threads_posix.cpp)
set(VOXBLUR_THREADS_WIN32 ${CMAKE_CURRENT_LIST_DIR}/threads_win32.cpp)

# smooth_volume (smooth_volume.h) and what it alone uses, in a folder of
# their own: they allocate their work areas, so they stay out of the MEX
# files whose imports are fixed, and out of voxblur_build.m, which takes
# every *.cpp of this folder (not of its subfolders). Builds that compile
# them add this folder and smooth/ to the include path.
set(VOXBLUR_SMOOTH_SOURCE_NAMES
    smooth_passes_avx.cpp
    smooth_passes_avx512.cpp
    smooth_passes_neon.cpp
    smooth_passes_plain.cpp
    smooth_passes_sse2.cpp
    smooth_volume.cpp
    smooth_volumes.cpp
    smooth_work.cpp)
set(VOXBLUR_SMOOTH_SOURCES ${VOXBLUR_SMOOTH_SOURCE_NAMES})
list(TRANSFORM VOXBLUR_SMOOTH_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/smooth/)

# The vector passes, of the engine and of smooth_volume, match this. They
# call no library function and are the slowest sources to compile, so the
# builds that compile the rest of the engine their own way (the fuzz
# targets, the link checks' ordinarily linked file) link the tree's own
# objects of these instead of compiling them again.
set(VOXBLUR_VECTOR_PASSES_PATTERN "passes_(sse2|avx|avx512|neon)\\.cpp")
