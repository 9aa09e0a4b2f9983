# Installs the build BUILD_DIR into a fresh PREFIX and checks the tree:
# exactly the folders of FOLDERS ("<dir>=<module file>" pairs joined by
# "|"), each holding the module under its two function names, byte for
# byte the built one, the toolbox functions, the licence and third-party
# notices, and a Contents.m whose version line carries VERSION and which
# lists every public function.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DFOLDERS=... -DVERSION=... -P check_layout.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(
  COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed: ${status}")
endif()

set(functions entkl mikl miksg cmiksg arvel_demo)
set(failures "")
set(expected "")
string(REPLACE "|" ";" FOLDERS "${FOLDERS}")
foreach(pair ${FOLDERS})
  if(NOT pair MATCHES "^([^=]+)=(.+)$")
    message(FATAL_ERROR "not <dir>=<module>: ${pair}")
  endif()
  set(dir ${CMAKE_MATCH_1})
  set(module ${CMAKE_MATCH_2})
  get_filename_component(extension ${module} LAST_EXT)
  foreach(f ${functions})
    list(APPEND expected ${dir}/${f}.m)
  endforeach()
  list(APPEND expected ${dir}/private/as_double.m ${dir}/Contents.m
       ${dir}/LICENSE ${dir}/THIRD-PARTY-NOTICES)

  file(SHA256 ${module} built)
  foreach(name entkl_internal mikl_internal miksg_internal cmiksg_internal)
    set(file ${dir}/${name}${extension})
    list(APPEND expected ${file})
    if(EXISTS ${PREFIX}/${file})
      file(SHA256 ${PREFIX}/${file} installed)
      if(NOT installed STREQUAL built)
        list(APPEND failures "${file} is not the built ${module}")
      endif()
    endif()
  endforeach()

  if(EXISTS ${PREFIX}/${dir}/Contents.m)
    file(READ ${PREFIX}/${dir}/Contents.m contents)
    string(REGEX REPLACE "\\." "\\\\." version "${VERSION}")
    if(NOT contents MATCHES "\n% Version ${version} [0-9][0-9]-[A-Z][a-z][a-z]-[0-9][0-9][0-9][0-9]\n")
      list(APPEND failures "${dir}/Contents.m: no line \"% Version ${VERSION} dd-mmm-yyyy\"")
    endif()
    foreach(f ${functions})
      if(NOT contents MATCHES "\n%   ${f} +- [^\n]+\n")
        list(APPEND failures "${dir}/Contents.m does not list ${f}")
      endif()
    endforeach()
  endif()
endforeach()

file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(extra ${installed})
list(REMOVE_ITEM extra ${expected})
foreach(f ${missing})
  list(APPEND failures "missing: ${f}")
endforeach()
foreach(f ${extra})
  list(APPEND failures "not expected: ${f}")
endforeach()

if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "install tree ${PREFIX}:\n  ${failures}")
endif()
list(LENGTH installed count)
message(STATUS "install tree ${PREFIX}: ${count} files as expected in ${FOLDERS}")
