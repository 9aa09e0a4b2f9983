# arvel_static_linux_runtime(<target>)
#
# Links the C++ runtime (libstdc++, libgcc) of a Linux x86-64 module
# statically, and binds every glibc function it calls to a version no newer
# than GLIBC_2.17 (src/mex/glibcCompat.cpp), so that the module needs of the
# host process only its C library, libm and libpthread. The version script
# keeps the runtime's symbols out of the module's exports. The runtime's own
# unwinder and the host's both unwind through the module: an exception of
# the host passes its frames, and the module's own exceptions stay inside it.
set(ARVEL_WRAPPED_GLIBC
  memcpy log pow pthread_create pthread_join pthread_detach pthread_once
  __pthread_key_create pthread_key_create pthread_key_delete
  pthread_getspecific pthread_setspecific __libc_single_threaded _dl_find_object getentropy
  arc4random)

function(arvel_static_linux_runtime target)
  set(compat ${PROJECT_SOURCE_DIR}/src/mex/glibcCompat.cpp)
  target_sources(${target} PRIVATE ${compat})
  set_source_files_properties(${compat} PROPERTIES
    SKIP_UNITY_BUILD_INCLUSION ON COMPILE_DEFINITIONS ARVEL_OLD_GLIBC)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  foreach(symbol ${ARVEL_WRAPPED_GLIBC})
    target_link_options(${target} PRIVATE "LINKER:--wrap=${symbol}")
  endforeach()
  # libpthread by name, as older C libraries hold the thread functions there.
  find_file(ARVEL_LIBPTHREAD libpthread.so.0
    PATHS /lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu /lib64 /usr/lib64
    NO_DEFAULT_PATH)
  if(ARVEL_LIBPTHREAD)
    target_link_libraries(${target} PRIVATE ${ARVEL_LIBPTHREAD})
  endif()
endfunction()
