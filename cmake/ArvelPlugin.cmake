# Builds the plug-in module from its sources.
#
# arvel_add_plugin(<target> SUFFIX <ext> [HOST_MEX_H] [INCLUDES dirs...]
#                  [LIBRARIES libs...])
#
# The sources of src/core and src/mex are compiled as one translation unit. Only
# mexFunction is exported. HOST_MEX_H builds against the host's own mex.h
# (found in INCLUDES) instead of the project's declarations of the host API.
set(ARVEL_PLUGIN_SOURCES
  ${PROJECT_SOURCE_DIR}/src/mex/Arvel.cpp
  ${PROJECT_SOURCE_DIR}/src/core/CMatrix.cpp
  ${PROJECT_SOURCE_DIR}/src/mex/mxHelper.cpp
  ${PROJECT_SOURCE_DIR}/src/core/utilFunctions.cpp
  ${PROJECT_SOURCE_DIR}/src/core/hest_continuous.cpp
  ${PROJECT_SOURCE_DIR}/src/core/mi_continuous.cpp
  ${PROJECT_SOURCE_DIR}/src/core/ksg.cpp
  ${PROJECT_SOURCE_DIR}/src/core/workers.cpp)
set(ARVEL_PLUGIN_INCLUDES
  ${PROJECT_SOURCE_DIR}/src/core ${PROJECT_SOURCE_DIR}/src/mex)

function(arvel_add_plugin target)
  cmake_parse_arguments(P "HOST_MEX_H" "SUFFIX" "INCLUDES;LIBRARIES" ${ARGN})
  add_library(${target} MODULE ${ARVEL_PLUGIN_SOURCES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME Arvel PREFIX "" SUFFIX "${P_SUFFIX}"
    UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    SKIP_BUILD_RPATH ON
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/plugin
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/plugin)
  target_include_directories(${target} PRIVATE ${ARVEL_PLUGIN_INCLUDES})
  target_include_directories(${target} SYSTEM PRIVATE ${P_INCLUDES})
  target_link_libraries(${target} PRIVATE nanoflann::nanoflann Threads::Threads
    ${P_LIBRARIES})
  if(P_HOST_MEX_H)
    target_compile_definitions(${target} PRIVATE ARVEL_HOST_MEX_H)
  endif()
  arvel_compile_options(${target})
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/Arvel.def)
  elseif(APPLE)
    target_link_options(${target} PRIVATE
      "LINKER:-exported_symbol,_mexFunction")
  else()
    target_link_options(${target} PRIVATE
      "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/Arvel.map")
  endif()
endfunction()

# arvel_add_plugin_folder(<target> <folder> [INSTALL_DIR <dir>])
#
# Lays out a folder for the host's path: the module under each name it
# answers to, since the host picks the function by the file's name, the
# toolbox functions around them, Contents.m (ArvelToolbox.cmake), and the
# licence with the notices of the code compiled into the module. The
# same folder is installed as <prefix>/<dir>, by default arvel-<extension>
# (arvel-mexa64, say), and recorded in the global property
# ARVEL_INSTALL_FOLDERS as "<dir>=<module file>" for the install test.
set(ARVEL_LICENCE_FILES ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES)

# The names the module answers to, one copy of it under each.
set(ARVEL_ENTRY_POINTS entkl_internal mikl_internal miksg_internal
    cmiksg_internal)

function(arvel_add_plugin_folder target folder)
  cmake_parse_arguments(P "" "INSTALL_DIR" "" ${ARGN})
  get_target_property(suffix ${target} SUFFIX)
  if(NOT P_INSTALL_DIR)
    string(SUBSTRING ${suffix} 1 -1 extension)
    set(P_INSTALL_DIR arvel-${extension})
  endif()
  file(GLOB_RECURSE toolbox CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/toolbox/*.m)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.folder.stamp)
  set(copies "")
  foreach(name ${ARVEL_ENTRY_POINTS})
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy
         $<TARGET_FILE:${target}> ${folder}/${name}${suffix})
  endforeach()
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    ${copies}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/toolbox
            ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${ARVEL_TOOLBOX_CONTENTS} ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${ARVEL_LICENCE_FILES} ${folder}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${target} ${toolbox} ${ARVEL_TOOLBOX_CONTENTS} ${ARVEL_LICENCE_FILES}
    VERBATIM)
  add_custom_target(${target}_folder ALL DEPENDS ${stamp})

  foreach(name ${ARVEL_ENTRY_POINTS})
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION ${P_INSTALL_DIR}
            RENAME ${name}${suffix})
  endforeach()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/toolbox/ DESTINATION ${P_INSTALL_DIR}
          FILES_MATCHING PATTERN "*.m")
  install(FILES ${ARVEL_TOOLBOX_CONTENTS} ${ARVEL_LICENCE_FILES}
          DESTINATION ${P_INSTALL_DIR})
  set_property(GLOBAL APPEND PROPERTY ARVEL_INSTALL_FOLDERS
               "${P_INSTALL_DIR}=$<TARGET_FILE:${target}>")
endfunction()
