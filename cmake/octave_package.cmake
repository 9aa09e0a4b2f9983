# Makes the Octave package OUTPUT (arvel-VERSION.tar.gz), staged in
# STAGE_DIR: DESCRIPTION, INDEX and COPYING (the licence and the
# third-party notices); inst/ with the toolbox
# functions and CONTENTS (Contents.m); src/ with the plug-in's sources (of
# src/core and src/mex, in one folder), a
# unity source that includes SOURCES (joined by "|") in their order, the
# version script and the Makefile that pkg install runs.
#
#   cmake -DSOURCE_DIR=... -DSTAGE_DIR=... -DOUTPUT=... -DVERSION=...
#         -DRELEASE_DATE=yyyy-mm-dd -DCONTENTS=... -DSOURCES=a.cpp|b.cpp
#         -P octave_package.cmake
set(name arvel-${VERSION})
set(package ${STAGE_DIR}/${name})
set(packaging ${SOURCE_DIR}/packaging/octave)
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${package}/inst ${package}/src)

set(PROJECT_VERSION ${VERSION})
set(ARVEL_RELEASE_DATE ${RELEASE_DATE})
configure_file(${packaging}/DESCRIPTION.in ${package}/DESCRIPTION @ONLY)
file(COPY ${packaging}/INDEX DESTINATION ${package})
# COPYING, which pkg installs with the package: Arvel's licence, then the
# notices of the code compiled into its module.
file(READ ${SOURCE_DIR}/LICENSE licence)
file(READ ${SOURCE_DIR}/THIRD-PARTY-NOTICES notices)
file(WRITE ${package}/COPYING "${licence}\n\n${notices}")

file(COPY ${SOURCE_DIR}/toolbox/ DESTINATION ${package}/inst
     FILES_MATCHING PATTERN "*.m")
file(COPY ${CONTENTS} DESTINATION ${package}/inst)

string(REPLACE "|" ";" SOURCES "${SOURCES}")
file(GLOB headers ${SOURCE_DIR}/src/core/*.h ${SOURCE_DIR}/src/mex/*.h)
file(COPY ${SOURCES} ${headers} ${SOURCE_DIR}/cmake/Arvel.map
          ${packaging}/Makefile
     DESTINATION ${package}/src)
set(unity "// The plug-in's sources as one translation unit, in the order of the\n// project's CMake unity build.\n")
foreach(source ${SOURCES})
  get_filename_component(file ${source} NAME)
  string(APPEND unity "#include \"${file}\"\n")
endforeach()
file(WRITE ${package}/src/Arvel_unity.cpp "${unity}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar czf ${OUTPUT} --format=gnutar
          --mtime=${RELEASE_DATE} ${name}
  WORKING_DIRECTORY ${STAGE_DIR}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "could not write ${OUTPUT}")
endif()
