# The Octave package build/arvel-<version>.tar.gz (target
# arvel_octave_package), for "pkg install": the toolbox in inst/, the
# plug-in's sources in src/ with a Makefile that compiles them with
# mkoctfile when the package is installed (packaging/octave/Makefile).
set(ARVEL_OCTAVE_PACKAGE
    ${PROJECT_BINARY_DIR}/arvel-${PROJECT_VERSION}.tar.gz)
file(GLOB arvel_package_inputs CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/src/core/*.h
     ${PROJECT_SOURCE_DIR}/src/mex/*.h
     ${PROJECT_SOURCE_DIR}/toolbox/*.m
     ${PROJECT_SOURCE_DIR}/toolbox/private/*.m
     ${PROJECT_SOURCE_DIR}/packaging/octave/*)
string(REPLACE ";" "|" arvel_package_sources "${ARVEL_PLUGIN_SOURCES}")
add_custom_command(OUTPUT ${ARVEL_OCTAVE_PACKAGE}
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DSTAGE_DIR=${PROJECT_BINARY_DIR}/octave-package
    -DOUTPUT=${ARVEL_OCTAVE_PACKAGE}
    -DVERSION=${PROJECT_VERSION}
    -DRELEASE_DATE=${ARVEL_RELEASE_DATE}
    -DCONTENTS=${ARVEL_TOOLBOX_CONTENTS}
    -DSOURCES=${arvel_package_sources}
    -P ${PROJECT_SOURCE_DIR}/cmake/octave_package.cmake
  DEPENDS ${ARVEL_PLUGIN_SOURCES} ${arvel_package_inputs}
          ${ARVEL_TOOLBOX_CONTENTS} ${PROJECT_SOURCE_DIR}/cmake/Arvel.map
          ${PROJECT_SOURCE_DIR}/cmake/octave_package.cmake
          ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
  COMMENT "Octave package arvel-${PROJECT_VERSION}.tar.gz"
  VERBATIM)
add_custom_target(arvel_octave_package ALL DEPENDS ${ARVEL_OCTAVE_PACKAGE})
unset(arvel_package_inputs)
unset(arvel_package_sources)
