# The state-owner test: a header of src/ declares no mutable global outside
# its module's state structure. An `extern` in a header must be either a
# constant (`extern const T Name...`, no pointer that could be re-pointed) or
# the one instance of the module's state structure: `extern <X>State <Name>;`
# where `struct <X>State` is defined in the same header with a comment above
# it (what it holds and which threads touch it) and the header declares a
# `Reset...()` function.
# Usage: cmake -DSRC=<src folder> -P state_owners.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SRC)
  message(FATAL_ERROR "state owners: give SRC")
endif()

# Globals not yet moved into their module's state structure (file:name).
set(_not_yet
)

set(failures 0)
set(_seen "")
file(GLOB_RECURSE headers "${SRC}/*.h")
foreach(file IN LISTS headers)
  file(RELATIVE_PATH rel "${SRC}/.." "${file}")
  file(STRINGS "${file}" externs REGEX "^[ \t]*extern[ \t]")
  if(NOT externs)
    continue()
  endif()
  file(READ "${file}" text)
  foreach(line IN LISTS externs)
    if(line MATCHES "^[ \t]*extern[ \t]+\"C")
      continue()
    endif()
    if(line MATCHES "^[ \t]*extern[ \t]+const[ \t]")
      # A pointer declarator without its own const could be re-pointed.
      if(NOT line MATCHES "\\*[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*(\\[|;|=)")
        continue()
      endif()
      set(rule "a pointer that is not const itself")
    elseif(line MATCHES "^[ \t]*extern[ \t]+([A-Za-z_][A-Za-z0-9_]*State)[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]*;")
      set(type "${CMAKE_MATCH_1}")
      if(NOT text MATCHES "//[^\n]*\n[ \t]*struct[ \t]+${type}[ \t]*{")
        set(rule "${type} is not defined in this header with a comment above it saying what it holds and which threads touch it")
      elseif(NOT text MATCHES "\n[ \t]*void[ \t]+Reset[A-Za-z0-9_]*\\([ \t]*\\)[ \t]*;")
        set(rule "the header declares no Reset...() for ${type}")
      else()
        continue()
      endif()
    else()
      set(rule "a mutable global outside the module's state structure")
    endif()
    string(REGEX REPLACE "[ \t]*//.*$" "" line "${line}")
    string(REGEX REPLACE "^.*[ \t*&(]([A-Za-z_][A-Za-z0-9_]*)[ \t]*(\\[[^]]*\\])?[ \t)]*(\\([^)]*\\))?[ \t]*(=[^;]*)?;.*$" "\\1" name "${line}")
    if("${rel}:${name}" IN_LIST _not_yet)
      list(APPEND _seen "${rel}:${name}")
      continue()
    endif()
    string(STRIP "${line}" shown)
    message(SEND_ERROR "${rel}:${name} (`${shown}`): ${rule}.")
    math(EXPR failures "${failures} + 1")
  endforeach()
endforeach()

foreach(entry IN LISTS _not_yet)
  if(NOT entry IN_LIST _seen)
    message(SEND_ERROR "state owners: ${entry} is listed as not yet moved but is no longer declared: take it off the list.")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "state owners: ${failures} declaration(s) outside a state structure.")
endif()
list(LENGTH _not_yet left)
message(STATUS "state owners: every header global is a constant or a state structure (${left} not yet moved).")
