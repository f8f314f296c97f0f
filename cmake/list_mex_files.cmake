# cmake -P cmake/list_mex_files.cmake: the MEX files of the table, relative
# to out/, on one line (for the Makefile's deliverables).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/mex_files.cmake)
set(files)
foreach(kind ${VOXBLUR_MEX_KINDS})
    voxblur_mex_files(row_files ${kind})
    list(APPEND files ${row_files})
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E echo ${files})
