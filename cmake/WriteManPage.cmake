# Writes the manual page of the command line from the program's own --help text, so the two
# cannot disagree. Run at build time by cmake/ManPage.cmake:
#   cmake -DPROGRAM=/path/to/vireon -DOUTPUT=vireon.1 -P WriteManPage.cmake
foreach(option IN ITEMS help version)
  execute_process(COMMAND "${PROGRAM}" --${option}
                  OUTPUT_VARIABLE ${option}_text RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --${option} failed (${status}): ${error}")
  endif()
endforeach()
string(STRIP "${version_text}" version_text)

# roff reads a backslash as an escape and a leading dot or quote as a request; a hyphen in
# an option name must be the ASCII minus for copying and searching.
function(roff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One option line: names in bold, the value placeholder in italics ("--record <SECONDS>").
function(roff_option_names names out)
  roff_escape("${names}" names)
  string(REGEX REPLACE "<([^>]+)>" "\\\\fI\\1\\\\fR" names "${names}")
  string(REGEX REPLACE "(\\\\-[\\\\a-z-]+)" "\\\\fB\\1\\\\fR" names "${names}")
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

set(synopsis "")
set(summary "")
set(options "")
set(description "")   # of the option being read; Qt wraps long ones onto indented lines
set(names "")
macro(flush_option)
  if(NOT names STREQUAL "")
    roff_option_names("${names}" roff_names)
    roff_escape("${description}" roff_description)
    string(APPEND options ".TP\n${roff_names}\n${roff_description}\n")
  endif()
  set(names "")
  set(description "")
endmacro()

# Line by line without CMake lists, which would split or join lines at brackets.
string(APPEND help_text "\n")
while(NOT help_text STREQUAL "")
  string(FIND "${help_text}" "\n" end)
  string(SUBSTRING "${help_text}" 0 ${end} line)
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${help_text}" ${end} -1 help_text)

  if(line MATCHES "^Usage: [^ ]+ (.*)$")
    set(synopsis "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  (-[^ ].*[^ ])  +([^ ].*)$")
    flush_option()
    set(names "${CMAKE_MATCH_1}")
    set(description "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^ +([^ ].*)$" AND NOT names STREQUAL "")
    string(APPEND description " ${CMAKE_MATCH_1}")
  elseif(line MATCHES " - (.+)$" AND summary STREQUAL "")
    set(summary "${CMAKE_MATCH_1}")
  endif()
endwhile()
flush_option()

if(synopsis STREQUAL "" OR summary STREQUAL "" OR options STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help has no usage line, summary or options")
endif()
roff_escape("${summary}" summary)
roff_escape("${synopsis}" synopsis)
roff_escape("${version_text}" version_text)
file(WRITE "${OUTPUT}"
  ".TH VIREON 1 \"\" \"${version_text}\" \"User Commands\"\n"
  ".SH NAME\nvireon \\- ${summary}\n"
  ".SH SYNOPSIS\n.B vireon\n${synopsis}\n"
  ".SH OPTIONS\n${options}")
