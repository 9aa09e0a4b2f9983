# Compile options for the project's own code.
#
# Floating-point contraction is off and fast-math is never used: the
# estimators fix the grouping of their sums, and a fused multiply-add would
# change their last bits.
function(arvel_compile_options target)
  target_compile_features(${target} PRIVATE cxx_std_17)
  target_compile_options(${target} PRIVATE
    -ffp-contract=off -fno-fast-math
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wold-style-cast -Wnon-virtual-dtor -Wcast-align -Wnull-dereference
    -Wdouble-promotion -Wformat=2)
  if(ARVEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # AddressSanitizer (with its leak checker) and UndefinedBehaviorSanitizer;
  # the first report ends the program. GCC leaves float-cast-overflow out of
  # "undefined", so it is named: k and the counts pass through such casts.
  # The library's own assertions check container indexing.
  if(ARVEL_SANITIZE)
    set(sanitizers
      -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all)
    target_compile_options(${target} PRIVATE ${sanitizers}
      -fno-omit-frame-pointer -g)
    target_link_options(${target} PRIVATE ${sanitizers})
    target_compile_definitions(${target} PRIVATE _GLIBCXX_ASSERTIONS)
  endif()
  # ThreadSanitizer, for the worker threads; it cannot be combined with
  # AddressSanitizer, so it is a build of its own.
  if(ARVEL_SANITIZE_THREAD)
    target_compile_options(${target} PRIVATE -fsanitize=thread
      -fno-omit-frame-pointer -g)
    target_link_options(${target} PRIVATE -fsanitize=thread)
  endif()
endfunction()
