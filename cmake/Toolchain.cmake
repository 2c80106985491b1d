# Compiler cache, warnings and sanitizers.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
option(VO_WERROR "Treat compiler warnings as errors" OFF)
if(VO_WERROR)
  add_compile_options(-Werror)
  # g++ 12 with sanitizers reports uses of uninitialised members inside the
  # standard library's own code (std::regex, std::function) that cannot
  # happen; those reports stay warnings.
  if(VO_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-error=maybe-uninitialized)
  endif()
endif()

if(VO_SANITIZE)
  add_compile_options(-fsanitize=${VO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${VO_SANITIZE})
endif()

# libFuzzer: every library is instrumented for coverage; the fuzz programs
# themselves link the fuzzer (tests/fuzz).
if(VO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VO_FUZZ needs clang (use the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
