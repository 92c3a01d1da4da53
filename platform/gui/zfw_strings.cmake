# zfw_string_table(<target> SOURCE <file.txt> SYMBOL <name>)
# Generates, at build time, the string table of <file.txt> (format: platform/gui/base/
# string_table_source.h) into <name>.cpp/<name>.h, adds them to <target>, and makes
# `#include "<name>.h"` available to it. Install the table at start-up with
# zfw::StringTable::install(<name>()).
function(zfw_string_table target)
  cmake_parse_arguments(A "" "SOURCE;SYMBOL" "" ${ARGN})
  if(NOT A_SOURCE OR NOT A_SYMBOL)
    message(FATAL_ERROR "zfw_string_table: SOURCE and SYMBOL are required")
  endif()
  get_filename_component(source ${A_SOURCE} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/zfw_strings/${A_SYMBOL})
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${dir}/${A_SYMBOL}.cpp ${dir}/${A_SYMBOL}.h
    COMMAND zfw_string_table_gen ${source} ${A_SYMBOL} ${dir}/${A_SYMBOL}.cpp ${dir}/${A_SYMBOL}.h
    DEPENDS zfw_string_table_gen ${source}
    COMMENT "String table ${A_SYMBOL} from ${A_SOURCE}"
    VERBATIM)
  target_sources(${target} PRIVATE ${dir}/${A_SYMBOL}.cpp ${dir}/${A_SYMBOL}.h)
  target_include_directories(${target} PUBLIC ${dir})
endfunction()
