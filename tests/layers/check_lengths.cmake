# SPDX-License-Identifier: GPL-3.0-or-later
# Fails on a function under src/ longer than MAX_FUNCTION lines and on a file
# longer than MAX_FILE lines. Run with
#   cmake -DSOURCE_DIR=<src folder> -P check_lengths.cmake
# It reads the layout clang-format gives: a function's body opens on a line
# that ends in "{" outside any other body (its signature's last line, or "{"
# alone) and closes at the next "}" in column 0. Namespaces do not count; a
# class, struct, enum or union at column 0, and a table ("= {" or "{{"), are
# passed over up to their own "}" in column 0. The count is the lines between
# the two braces.
cmake_minimum_required(VERSION 3.25)

set(MAX_FUNCTION 60)
set(MAX_FILE 500)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h)
list(SORT files)
set(problems 0)
set(functions 0)
foreach(file IN LISTS files)
  file(READ ${SOURCE_DIR}/${file} content)
  # Characters that mean something to a CMake list stand in for themselves.
  string(REPLACE ";" "," content "${content}")
  string(REPLACE "[" "(" content "${content}")
  string(REPLACE "]" ")" content "${content}")
  string(REPLACE "\\" "/" content "${content}")
  string(REPLACE "\n" ";" lines "${content}")
  list(LENGTH lines count)
  # A file that ends in a line break has one empty element after it.
  math(EXPR count "${count} - 1")
  if(count GREATER MAX_FILE)
    message("src/${file}: ${count} lines, more than ${MAX_FILE}")
    math(EXPR problems "${problems} + 1")
  endif()
  set(number 0)
  set(state outside)
  set(signature "")
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(state STREQUAL "outside")
      if(line MATCHES "^[ \t]*(#|//)" OR line STREQUAL "")
        continue()
      endif()
      if(line MATCHES "^[A-Za-z_~]")
        set(signature "${line}")
      endif()
      if(NOT line MATCHES "{$")
        continue()
      endif()
      if(line MATCHES "^namespace" OR line MATCHES "^extern ")
        continue()
      elseif(line MATCHES "^(class|struct|enum|union|template)[ <]" OR line MATCHES "(= *{|{{)$")
        set(state passed)
      else()
        set(state body)
        set(opened ${number})
      endif()
    elseif(line MATCHES "^}")
      if(state STREQUAL "body")
        math(EXPR length "${number} - ${opened} - 1")
        math(EXPR functions "${functions} + 1")
        if(length GREATER MAX_FUNCTION)
          string(REGEX REPLACE "\\(.*" "" name "${signature}")
          message("src/${file}:${opened}: ${name}: ${length} lines, more than ${MAX_FUNCTION}")
          math(EXPR problems "${problems} + 1")
        endif()
      endif()
      set(state outside)
    endif()
  endforeach()
endforeach()

list(LENGTH files total)
if(problems GREATER 0)
  message(FATAL_ERROR "${problems} too long")
endif()
message("${total} files, ${functions} functions, none too long")
