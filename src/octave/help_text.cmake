# Writes the help of help/NAME.m as a C string for the Octave function:
#   cmake -DHELP_FILE=help/voxblur.m -DOUTPUT=voxblur_help.h -P help_text.cmake
# The macro is NAME_HELP_TEXT in capitals (VOXBLUR_HELP_TEXT).
# The text is what Octave's help shows for voxblur.m: the first block of
# comment lines, each without its comment sign. (String operations only:
# as a CMake list, the text's semicolons and brackets would be taken apart.)
file(READ ${HELP_FILE} text)
string(REGEX MATCH "^(%[^\n]*\n)+" text "${text}")
string(REGEX REPLACE "(^|\n)%" "\\1" text "${text}")
string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
string(REPLACE "\n" "\\n\" \\\n    \"" text "${text}")
get_filename_component(name ${HELP_FILE} NAME_WE)
string(TOUPPER ${name} macro)
file(WRITE ${OUTPUT}.new "/* Written from ${name}.m by help_text.cmake. */\n"
                         "#define ${macro}_HELP_TEXT \\\n    \"${text}\"\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
