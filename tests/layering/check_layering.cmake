# Fails when a file includes a header from a floor above it (or beside it, where the floors
# are not stacked). Every folder of src/ is a floor, and so are ui (the QML library's C++),
# sim, bench, fuzz and tests. Bottom to top:
#   common, platform            the shared names and the platform layers
#   capture                     cameras and audio inputs
#   recording, audio, update    files and encoders; the mixer and monitoring; updates (used
#                               from ui up: the manager and the server never need them)
#   studio                      linked recorders: the link, the clock check, the leader's
#                               and the follower's sides of a studio take
#   models                      the interface's models and items
#   app                         the manager and what it hands work to
#   remote                      the phone's server
#   ui                          the QML module's registration
#   main                        the program's entry
# beside them, never part of the program: sim (simulated cameras) on capture; fuzz on the
# program's floors; bench and tests on everything but main (bench may use sim, tests may use
# sim). A floor may include its own folder and the floors it lists below.
#
# An include is placed by where its file lives: beside the including file first (as the
# compiler looks), then by its first folder ("app/X.h", "ui/X.h", "src/app/X.h"), and one
# without a folder ("ManagerTestCase.h") by the folder that holds a header of that name. What
# names no file of these folders (Qt, FFmpeg, SDL, generated files) is not checked.
#   cmake -DROOT=<repo> -P check_layering.cmake
cmake_minimum_required(VERSION 3.16)
if(NOT IS_DIRECTORY "${ROOT}/src")
  message(FATAL_ERROR "ROOT '${ROOT}' has no src folder")
endif()

set(src_floors common platform capture recording audio update studio models app remote main)
set(top_floors ui sim bench fuzz tests)

set(allowed_common    common)
set(allowed_platform  platform common)
set(allowed_capture   capture platform common)
set(allowed_recording recording capture platform common)
set(allowed_audio     audio capture platform common)
set(allowed_update    update common)
set(allowed_studio    studio recording capture platform common)
set(allowed_models    models recording capture platform common)
set(allowed_app       app models studio recording audio capture platform common)
set(allowed_remote    remote ${allowed_app})
set(allowed_ui        ui update ${allowed_remote})
set(allowed_main      main ${allowed_ui})
set(allowed_sim       sim capture platform common)
set(allowed_fuzz      fuzz ${allowed_remote})
set(allowed_bench     bench sim ${allowed_ui})
set(allowed_tests     tests sim ${allowed_ui})

# A folder of src/ that is not a floor above would go unchecked: name it here first.
file(GLOB src_entries RELATIVE "${ROOT}/src" "${ROOT}/src/*")
foreach(entry IN LISTS src_entries)
  if(IS_DIRECTORY "${ROOT}/src/${entry}" AND NOT entry IN_LIST src_floors)
    message(FATAL_ERROR "src/${entry} is no floor of the layering check: give it its place")
  endif()
endforeach()

# The floor of a path relative to ROOT; empty outside every floor.
function(floor_of relative out)
  set(floor "")
  if(relative MATCHES "^src/([^/]+)/")
    set(floor "${CMAKE_MATCH_1}")
  elseif(relative MATCHES "^([^/]+)/")
    if(CMAKE_MATCH_1 IN_LIST top_floors)
      set(floor "${CMAKE_MATCH_1}")
    endif()
  endif()
  set(${out} "${floor}" PARENT_SCOPE)
endfunction()

# Every file to check, and every header by its name (for includes without a folder).
set(files)
foreach(floor IN LISTS src_floors top_floors)
  if(floor IN_LIST src_floors)
    set(dir "${ROOT}/src/${floor}")
  else()
    set(dir "${ROOT}/${floor}")
  endif()
  file(GLOB_RECURSE found "${dir}/*.h" "${dir}/*.hpp" "${dir}/*.cpp")
  list(APPEND files ${found})
endforeach()
list(LENGTH files checked)
if(checked EQUAL 0)
  message(FATAL_ERROR "no source files found under ${ROOT}")
endif()
foreach(path IN LISTS files)
  if(path MATCHES "\\.(h|hpp)$")
    get_filename_component(name "${path}" NAME)
    file(RELATIVE_PATH relative "${ROOT}" "${path}")
    floor_of("${relative}" floor)
    list(APPEND "headers_${name}" "${floor}")
  endif()
endforeach()

set(violations)
set(counted_floors)
foreach(path IN LISTS files)
  file(RELATIVE_PATH shown "${ROOT}" "${path}")
  floor_of("${shown}" floor)
  list(APPEND counted_floors "${floor}")
  get_filename_component(dir "${path}" DIRECTORY)
  file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header "${line}")
    set(targets)
    if(EXISTS "${dir}/${header}" AND NOT IS_DIRECTORY "${dir}/${header}")
      # Beside the file, or "../x/Y.h" from it: the floor of the file it names.
      get_filename_component(target "${dir}/${header}" ABSOLUTE)
      file(RELATIVE_PATH target "${ROOT}" "${target}")
      floor_of("${target}" target_floor)
      set(targets "${target_floor}")
    elseif(header MATCHES "/")
      string(REGEX REPLACE "^(\\.\\./)+" "" named "${header}")
      string(REGEX REPLACE "^src/" "" named "${named}")
      string(REGEX MATCH "^[^/]+" first "${named}")
      if(first IN_LIST src_floors OR first IN_LIST top_floors)
        set(targets "${first}")
      endif()
    else()
      get_filename_component(name "${header}" NAME)
      set(targets ${headers_${name}})
    endif()
    if(NOT targets)
      continue()   # a system, library or generated header
    endif()
    # A name that more than one floor holds is fine when one of them may be used.
    set(permitted FALSE)
    foreach(target IN LISTS targets)
      if(target STREQUAL "" OR target IN_LIST allowed_${floor})
        set(permitted TRUE)
      endif()
    endforeach()
    if(NOT permitted)
      list(JOIN targets " or " where)
      list(APPEND violations "  ${shown} (${floor}) includes ${header} (${where})")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "includes that point up the floors:\n${text}")
endif()
set(summary)
foreach(floor IN LISTS src_floors top_floors)
  set(count 0)
  foreach(entry IN LISTS counted_floors)
    if(entry STREQUAL floor)
      math(EXPR count "${count} + 1")
    endif()
  endforeach()
  list(APPEND summary "${floor} ${count}")
endforeach()
list(JOIN summary ", " summary)
message(STATUS "${checked} files include only their own floor and those below (${summary})")
