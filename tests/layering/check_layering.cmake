# Fails when a file of a lower floor includes a header from a floor above it. The floors, top
# to bottom: ui -> remote -> app -> studio -> recording/models -> capture -> platform/common; a floor may
# include its own folder and those below it, so the lower layers build and test without the
# program above them. update sits beside recording: it needs only the shared names in common.
#   cmake -DSOURCE_DIR=<repo>/src -P check_layering.cmake
cmake_minimum_required(VERSION 3.16)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "SOURCE_DIR '${SOURCE_DIR}' is not a folder")
endif()

set(allowed_common    common)
set(allowed_platform  platform common)
set(allowed_capture   capture platform common)
set(allowed_recording recording capture platform common)
set(allowed_update    update common)
set(allowed_studio    studio recording capture platform common)

# Every top-level folder of the sources is a floor name an include can start with.
file(GLOB floor_entries RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(floors)
foreach(entry IN LISTS floor_entries)
  if(IS_DIRECTORY "${SOURCE_DIR}/${entry}")
    list(APPEND floors "${entry}")
  endif()
endforeach()

set(violations)
set(checked 0)
foreach(floor common platform capture recording update studio)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${floor}/*.h" "${SOURCE_DIR}/${floor}/*.cpp")
  foreach(path IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header "${line}")
      # "../app/X.h" from a sibling folder names the same floor as "app/X.h".
      string(REGEX REPLACE "^(\\.\\./)+" "" header "${header}")
      string(REGEX MATCH "^[^/]+" first "${header}")
      if(NOT header MATCHES "/" OR NOT first IN_LIST floors)
        continue()   # a system or library header, or one beside the file
      endif()
      if(NOT first IN_LIST allowed_${floor})
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${path}")
        list(APPEND violations "  src/${shown} includes ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no source files found under ${SOURCE_DIR}")
endif()
if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "includes that point up the floors:\n${text}")
endif()
message(STATUS "${checked} files of the lower floors include only their own floor and those below")
