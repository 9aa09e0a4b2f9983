# The MATLAB module of this platform built against an installed MATLAB
# (ARVEL_WITH_MATLAB): MATLAB's own mex.h, libmex, libmx and libmat, found by
# CMake's FindMatlab (Matlab_ROOT_DIR picks an installation), with the
# separate-complex API of R2017b. The module takes MATLAB's extension for the
# platform: Arvel.mexa64, Arvel.mexw64 or Arvel.mexmaci64.
find_package(Matlab REQUIRED COMPONENTS MX_LIBRARY MAT_LIBRARY)

if(NOT Matlab_MEX_EXTENSION)
  if(WIN32)
    set(Matlab_MEX_EXTENSION mexw64)
  elseif(APPLE)
    set(Matlab_MEX_EXTENSION mexmaci64)
  else()
    set(Matlab_MEX_EXTENSION mexa64)
  endif()
endif()
set(ARVEL_MATLAB_MODULE Arvel.${Matlab_MEX_EXTENSION})

matlab_add_mex(NAME ${ARVEL_MATLAB_MODULE} MODULE R2017b
  OUTPUT_NAME Arvel
  SRC ${ARVEL_PLUGIN_SOURCES}
  LINK_TO nanoflann::nanoflann ${Matlab_MAT_LIBRARY})
set_target_properties(${ARVEL_MATLAB_MODULE} PROPERTIES
  OUTPUT_NAME Arvel PREFIX "" SUFFIX .${Matlab_MEX_EXTENSION}
  UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/plugin
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/plugin)
target_include_directories(${ARVEL_MATLAB_MODULE} PRIVATE
  ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(${ARVEL_MATLAB_MODULE} PRIVATE ARVEL_HOST_MEX_H)
arvel_compile_options(${ARVEL_MATLAB_MODULE})
if(MINGW)
  target_link_options(${ARVEL_MATLAB_MODULE} PRIVATE
    -static-libgcc -static-libstdc++)
endif()
arvel_add_plugin_folder(${ARVEL_MATLAB_MODULE} ${PROJECT_BINARY_DIR}/matlab)
