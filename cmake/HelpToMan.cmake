# Writes the manual page of linkward-cli from the program's own --help, so the
# page never falls behind the options. Run as
#   cmake -DPROGRAM=<linkward-cli> -DVERSION=<x.y> -DOUTPUT=<file.1> -P HelpToMan.cmake
#
# The help text's shape: a "Usage:" line, a description up to the first blank
# line, option lines ("  --name VALUE   what it does", continued by lines
# indented further), then closing paragraphs; one starting "Exit status:"
# becomes the EXIT STATUS section.
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${result}")
endif()

# Text for roff: backslashes and hyphens escaped, a leading dot or quote guarded.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE ";" "<semicolon>" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(state header)
set(description "")
set(options "")
set(notes "")
set(exit_status "")
foreach(line IN LISTS lines)
  string(REPLACE "<semicolon>" ";" line "${line}")
  if(state STREQUAL "header")
    if(line MATCHES "^Usage: ")
      set(state description)
    endif()
  elseif(state STREQUAL "description")
    if(line STREQUAL "")
      set(state options)
    else()
      roff_text(text "${line}")
      string(APPEND description "${text}\n")
    endif()
  elseif(state STREQUAL "options")
    if(line MATCHES "^  +(-[^ ]+)( [^ ]+)?(  +(.*))?$")
      set(name "${CMAKE_MATCH_1}")
      set(value "${CMAKE_MATCH_2}")
      set(what "${CMAKE_MATCH_4}")
      roff_text(name "${name}")
      string(APPEND options ".TP\n\\fB${name}\\fR")
      if(NOT value STREQUAL "")
        string(STRIP "${value}" value)
        string(APPEND options " \\fI${value}\\fR")
      endif()
      string(APPEND options "\n")
      if(NOT what STREQUAL "")
        roff_text(what "${what}")
        string(APPEND options "${what}\n")
      endif()
    elseif(line MATCHES "^   +(.*)$" AND NOT options STREQUAL "")
      roff_text(what "${CMAKE_MATCH_1}")
      string(APPEND options "${what}\n")
    elseif(line STREQUAL "")
      if(NOT options STREQUAL "")
        set(state notes)
      endif()
    else()
      set(state notes)
    endif()
  endif()
  if(state STREQUAL "notes" AND line MATCHES "^Exit status: *(.*)$")
    set(state exit)
    set(line "${CMAKE_MATCH_1}")
  endif()
  if(state STREQUAL "notes")
    if(line STREQUAL "")
      if(NOT notes STREQUAL "")
        string(APPEND notes ".PP\n")
      endif()
    else()
      roff_text(text "${line}")
      string(APPEND notes "${text}\n")
    endif()
  elseif(state STREQUAL "exit" AND NOT line STREQUAL "")
    roff_text(text "${line}")
    string(APPEND exit_status "${text}\n")
  endif()
endforeach()

if(options STREQUAL "")
  message(FATAL_ERROR "no options found in the output of ${PROGRAM} --help")
endif()
string(REGEX REPLACE "\\.PP\n$" "" notes "${notes}")

file(WRITE ${OUTPUT}.tmp
".TH LINKWARD\\-CLI 1 \"\" \"Linkward ${VERSION}\" \"User Commands\"
.SH NAME
linkward\\-cli \\- test the links of HTML files from a terminal
.SH SYNOPSIS
.B linkward\\-cli
[\\fIOPTIONS\\fR] \\fIFILE\\fR
.SH DESCRIPTION
${description}.SH OPTIONS
${options}")
if(NOT notes STREQUAL "")
  file(APPEND ${OUTPUT}.tmp ".SH NOTES\n${notes}")
endif()
if(NOT exit_status STREQUAL "")
  file(APPEND ${OUTPUT}.tmp ".SH EXIT STATUS\n${exit_status}")
endif()
file(APPEND ${OUTPUT}.tmp ".SH SEE ALSO
The desktop program \\fBlinkward\\fR and its help page (Help Topics in its Help menu).
")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
