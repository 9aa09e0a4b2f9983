# nanoflann for cross builds. The header-only package of the build machine
# serves every target, but its include directory is the build machine's
# /usr/include, whose C library headers a cross compiler must not see. The
# package is loaded as installed, and its target is pointed at a directory
# of the build tree that holds nanoflann.hpp alone.
set(ARVEL_NANOFLANN_CONFIG /usr/share/nanoflann/cmake/nanoflannConfig.cmake
    CACHE FILEPATH "nanoflannConfig.cmake of the build machine's package")
include(${ARVEL_NANOFLANN_CONFIG})

get_target_property(_arvel_nanoflann_include nanoflann::nanoflann
                    INTERFACE_INCLUDE_DIRECTORIES)
if(NOT _arvel_nanoflann_include MATCHES "nanoflann-include$")
  configure_file(${_arvel_nanoflann_include}/nanoflann.hpp
                 ${CMAKE_BINARY_DIR}/nanoflann-include/nanoflann.hpp COPYONLY)
  set_target_properties(nanoflann::nanoflann PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/nanoflann-include)
endif()
unset(_arvel_nanoflann_include)
