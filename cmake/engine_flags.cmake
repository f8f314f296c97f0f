# The engine's compiler settings, from cmake/engine_flags.txt, the one place
# every build reads them.
set(VOXBLUR_ENGINE_FLAGS_FILE ${CMAKE_CURRENT_LIST_DIR}/engine_flags.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VOXBLUR_ENGINE_FLAGS_FILE})

# voxblur_engine_flags(VARIABLE KEY...): the flags of those keys, as a list.
function(voxblur_engine_flags variable)
    file(STRINGS ${VOXBLUR_ENGINE_FLAGS_FILE} lines REGEX "^[a-z-]+:")
    set(flags)
    foreach(key ${ARGN})
        set(found OFF)
        foreach(line ${lines})
            if(line MATCHES "^${key}:(.*)$")
                separate_arguments(words UNIX_COMMAND "${CMAKE_MATCH_1}")
                list(APPEND flags ${words})
                set(found ON)
            endif()
        endforeach()
        if(NOT found)
            message(FATAL_ERROR "${VOXBLUR_ENGINE_FLAGS_FILE} has no line '${key}:'")
        endif()
    endforeach()
    set(${variable} ${flags} PARENT_SCOPE)
endfunction()

# voxblur_compiler_is_gcc(VARIABLE COMPILER): whether that compiler command is
# GCC (and not Clang under GCC's name, as on macOS).
function(voxblur_compiler_is_gcc variable compiler)
    execute_process(COMMAND ${compiler} --version OUTPUT_VARIABLE version ERROR_QUIET)
    if(version MATCHES "clang" OR NOT version MATCHES "Free Software Foundation")
        set(${variable} OFF PARENT_SCOPE)
    else()
        set(${variable} ON PARENT_SCOPE)
    endif()
endfunction()

# voxblur_mkoctfile_flags(VARIABLE): CXXFLAGS for our mkoctfile builds, as
# one string: the engine's settings for mkoctfile's compiler, and warnings
# as errors.
function(voxblur_mkoctfile_flags variable)
    execute_process(COMMAND ${MKOCTFILE} -p CXX OUTPUT_VARIABLE cxx
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(cxx UNIX_COMMAND "${cxx}")
    voxblur_compiler_is_gcc(is_gcc "${cxx}")
    set(keys numerics speed warnings)
    if(is_gcc)
        list(APPEND keys speed-gcc)
    endif()
    voxblur_engine_flags(flags ${keys})
    list(JOIN flags " " flags)
    set(${variable} "-std=c++17 ${flags} -Werror" PARENT_SCOPE)
endfunction()
