# Windows builds of the plug-in with mingw-w64.
#
# arvel_add_windows_plugin(<target> <suffix>)
#   The plug-in for MATLAB on Windows: a DLL exporting mexFunction alone,
#   linked against import libraries of libmex.dll and libmx.dll made from
#   cmake/libmex.def and cmake/libmx.def, as a module built by MATLAB
#   imports them. The C and C++ runtimes of the compiler and its threads
#   library (winpthreads) are linked in, since MATLAB has none of them on
#   its path; what is left to import comes from Windows itself.
#
# arvel_add_import_library(<var> <def>)
#   Makes, at build time, an import library from the module definition file
#   <def> with dlltool and sets <var> to its path. The DLL's name is the
#   LIBRARY line of <def>.
if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "dlltool not found: set CMAKE_DLLTOOL")
endif()

function(arvel_add_import_library var def)
  get_filename_component(name ${def} NAME_WE)
  set(out ${PROJECT_BINARY_DIR}/importlib/${name}.a)
  if(NOT TARGET arvel_import_${name})
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/importlib
      COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-lib ${out}
      DEPENDS ${def}
      COMMENT "Import library of ${name}.dll"
      VERBATIM)
    add_custom_target(arvel_import_${name} DEPENDS ${out})
  endif()
  set(${var} ${out} PARENT_SCOPE)
endfunction()

function(arvel_add_windows_plugin target suffix)
  arvel_add_import_library(mex ${PROJECT_SOURCE_DIR}/cmake/libmex.def)
  arvel_add_import_library(mx ${PROJECT_SOURCE_DIR}/cmake/libmx.def)
  arvel_add_plugin(${target} SUFFIX ${suffix} LIBRARIES ${mex} ${mx})
  add_dependencies(${target} arvel_import_libmex arvel_import_libmx)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  arvel_add_plugin_folder(${target} ${PROJECT_BINARY_DIR}/matlab)
endfunction()
