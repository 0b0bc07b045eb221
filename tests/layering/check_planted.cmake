# The layering check must refuse an include that points up from any floor: for each floor, a
# copy of the sources with one such include planted in it fails the check, naming the planted
# file; the copy without it passes.
#   cmake -DROOT=<repo> -DWORK=<scratch folder> -DCHECK=<check_layering.cmake> -P check_planted.cmake
cmake_minimum_required(VERSION 3.16)
set(tree "${WORK}/tree")
file(REMOVE_RECURSE "${tree}")
foreach(folder src ui sim bench fuzz tests)
  file(COPY "${ROOT}/${folder}" DESTINATION "${tree}"
       FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp" PATTERN "*.cpp")
endforeach()

function(run_check out_result out_output)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DROOT=${tree} -P "${CHECK}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${out_result} "${result}" PARENT_SCOPE)
  set(${out_output} "${output}" PARENT_SCOPE)
endfunction()

run_check(result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the copy of the tree fails the check:\n${output}")
endif()
string(STRIP "${output}" output)
message(STATUS "tree: ${output}")

# folder to plant in | the include that points up from it
set(plants
  "src/common|capture/ISource.h"
  "src/platform|capture/ISource.h"
  "src/capture|audio/AudioMixer.h"
  "src/capture|ApplicationManager.h"
  "src/recording|audio/AudioMixer.h"
  "src/audio|recording/WavWriter.h"
  "src/update|app/ApplicationManager.h"
  "src/models|app/ApplicationManager.h"
  "src/app|remote/RemoteControlServer.h"
  "src/remote|ui/QmlRegistration.h"
  "ui|ManagerTestCase.h"
  "src/main|ManagerTestCase.h"
  "sim|app/ApplicationManager.h"
  "bench|ManagerTestCase.h"
  "fuzz|SimulatedV4l2Kernel.h"
  "tests/app|main/main.cpp")
set(failures)
foreach(plant IN LISTS plants)
  string(REPLACE "|" ";" parts "${plant}")
  list(GET parts 0 folder)
  list(GET parts 1 header)
  set(planted "${tree}/${folder}/zz_planted_upward.cpp")
  file(WRITE "${planted}" "#include \"${header}\"\n")
  run_check(result output)
  file(REMOVE "${planted}")
  if(result EQUAL 0 OR NOT output MATCHES "${folder}/zz_planted_upward.cpp \\([a-z]+\\) includes ${header}")
    list(APPEND failures "  ${folder} including ${header} was not refused:\n${output}")
  else()
    string(REGEX MATCH "${folder}/zz_planted_upward.cpp[^\n]*" line "${output}")
    message(STATUS "refused: ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${tree}")
if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "the check let an upward include through:\n${text}")
endif()
