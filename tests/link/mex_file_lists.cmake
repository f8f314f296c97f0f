# cmake -DTOP=SOURCE_TREE -P mex_file_lists.cmake
#
# The lists of MEX files that cannot be derived from cmake/mex_files.cmake
# must agree with it, so that a row forgotten in one of them fails here:
#   CMakePresets.json               a configure, build and test preset for
#                                   each row's PRESET; each preset's
#                                   VOXBLUR_DELIVERABLE a row of that preset
#   tests/link/check_mex_file.sh    the expected link properties of each kind
#   tests/package/CMakeLists.txt    each row's FILE in the bundle's list
#   README.md                       each row's FILE in the table of MEX files
cmake_minimum_required(VERSION 3.25)
include(${TOP}/cmake/mex_files.cmake)
set(faults)

file(READ ${TOP}/CMakePresets.json presets)
foreach(group configurePresets buildPresets testPresets)
    set(${group})
    string(JSON count LENGTH "${presets}" ${group})
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
        string(JSON name GET "${presets}" ${group} ${i} name)
        list(APPEND ${group} ${name})
        if(NOT group STREQUAL "configurePresets")
            continue()
        endif()
        string(JSON kind ERROR_VARIABLE missing
               GET "${presets}" ${group} ${i} cacheVariables VOXBLUR_DELIVERABLE)
        if(NOT missing STREQUAL "NOTFOUND")
            continue()
        endif()
        string(JSON hidden ERROR_VARIABLE no_hidden GET "${presets}" ${group} ${i} hidden)
        if(NOT kind IN_LIST VOXBLUR_MEX_KINDS)
            list(APPEND faults "CMakePresets.json: preset ${name} builds ${kind}, not a row")
        elseif(NOT hidden)
            # (A hidden preset, the sanitizers', lends its row to others.)
            voxblur_mex_property(row_preset ${kind} PRESET)
            if(NOT row_preset STREQUAL name)
                list(APPEND faults
                     "CMakePresets.json: preset ${name} builds ${kind}, whose row names ${row_preset}")
            endif()
        endif()
    endforeach()
endforeach()

file(READ ${TOP}/tests/link/check_mex_file.sh link_check)
file(READ ${TOP}/tests/package/CMakeLists.txt package_tests)
file(READ ${TOP}/README.md readme)
foreach(kind ${VOXBLUR_MEX_KINDS})
    voxblur_mex_property(preset ${kind} PRESET)
    voxblur_mex_property(file ${kind} FILE)
    foreach(group configurePresets buildPresets testPresets)
        if(NOT preset IN_LIST ${group})
            list(APPEND faults "CMakePresets.json: no ${group} entry ${preset} for ${kind}")
        endif()
    endforeach()
    string(REPLACE "." "\\." file_pattern "${file}")
    if(NOT link_check MATCHES "\n +${kind}\\) ")
        list(APPEND faults "tests/link/check_mex_file.sh: no link properties for ${kind}")
    endif()
    if(NOT package_tests MATCHES "\n +${file_pattern}\n")
        list(APPEND faults "tests/package/CMakeLists.txt: ${file} is not in the bundle's list")
    endif()
    if(NOT readme MATCHES "\\| `out/${file_pattern}` \\|")
        list(APPEND faults "README.md: no row for out/${file} in the table of MEX files")
    endif()
endforeach()

if(faults)
    list(JOIN faults "\n" faults)
    message(FATAL_ERROR "The lists of MEX files disagree with cmake/mex_files.cmake:\n${faults}")
endif()
list(LENGTH VOXBLUR_MEX_KINDS count)
message("ok: the ${count} rows of cmake/mex_files.cmake are in every list of MEX files")
