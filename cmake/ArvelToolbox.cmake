# The toolbox as users get it: its functions, and Contents.m.
#
# ARVEL_RELEASE_DATE (yyyy-mm-dd) dates the package and Contents.m; it is
# the day of configuration, or that of SOURCE_DATE_EPOCH where it is set.
#
# ARVEL_TOOLBOX_CONTENTS is Contents.m, MATLAB's contents file of a toolbox
# folder: its name and version line, which ver shows, and a line per public
# function made from the function's H1 line, which "help <folder>" shows.
# Editing a toolbox file reruns the configuration, which remakes it.
string(TIMESTAMP ARVEL_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ARVEL_CONTENTS_DATE "%d-%b-%Y" UTC)

file(GLOB ARVEL_TOOLBOX_FUNCTIONS CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/toolbox/*.m)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${ARVEL_TOOLBOX_FUNCTIONS})

# arvel_contents_list(<var> files...): the lines of Contents.m that list
# the functions of FILES.
function(arvel_contents_list var)
  set(width 0)
  foreach(file ${ARGN})
    get_filename_component(name ${file} NAME_WE)
    string(LENGTH ${name} length)
    if(length GREATER width)
      set(width ${length})
    endif()
  endforeach()
  set(list "")
  foreach(file ${ARGN})
    get_filename_component(name ${file} NAME_WE)
    # The H1 line, "%NAME  What it does." or "% NAME  What it does."
    file(STRINGS ${file} h1 REGEX "^%" LIMIT_COUNT 1)
    string(REGEX REPLACE "^% *[A-Za-z0-9_]+ +" "" what "${h1}")
    if(what STREQUAL "" OR what STREQUAL h1)
      message(FATAL_ERROR "${file}: no H1 line \"%NAME  What it does.\"")
    endif()
    string(LENGTH ${name} length)
    math(EXPR pad "${width} - ${length}")
    string(REPEAT " " ${pad} spaces)
    string(APPEND list "%   ${name}${spaces} - ${what}\n")
  endforeach()
  string(REGEX REPLACE "\n$" "" list "${list}")
  set(${var} "${list}" PARENT_SCOPE)
endfunction()

arvel_contents_list(ARVEL_CONTENTS_LIST ${ARVEL_TOOLBOX_FUNCTIONS})
set(ARVEL_TOOLBOX_CONTENTS ${PROJECT_BINARY_DIR}/toolbox/Contents.m)
configure_file(${PROJECT_SOURCE_DIR}/cmake/Contents.m.in
               ${ARVEL_TOOLBOX_CONTENTS} @ONLY)
