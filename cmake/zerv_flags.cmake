# Warning and code-generation flags of the project's own targets, carried by the
# interface library zerv_flags (third-party code such as GoogleTest is built
# without -Werror).
add_library(zerv_flags INTERFACE)

# Line tables are enough for backtraces and sanitizer reports, and full debug
# information nearly doubles the time spent compiling the tests.
set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O2 -g1 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O2 -g1 -DNDEBUG")
if(ZERV_ASAN)
  # -O1, as the sanitizers advise: a third less CPU in the tests for a tenth
  # more in the compiler, and the asserts stay. The test code keeps -O0.
  set(CMAKE_C_FLAGS_DEBUG "-g1 -O1")
  set(CMAKE_CXX_FLAGS_DEBUG "-g1 -O1")
endif()
set(ZERV_COMMON_FLAGS -Wall -Wextra -Wformat=2 -Werror -ffp-contract=off -fno-fast-math)
if(NOT ZERV_ASAN AND NOT ZERV_FUZZ)
  # Signed overflow wraps as a backstop; the sanitizer trees leave it out so
  # that UBSan reports any overflow still in the code.
  list(APPEND ZERV_COMMON_FLAGS -fwrapv)
endif()
if(ZERV_ASAN)
  list(APPEND ZERV_COMMON_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(ZERV_FUZZ)
  list(APPEND ZERV_COMMON_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -Wno-unknown-warning-option)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ZERV_M32)
  # SSE maths so that float and double round as on x86-64; long double stays 80-bit.
  set(ZERV_M32_FLAGS "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64")
  set(CMAKE_C_FLAGS "${CMAKE_C_FLAGS} ${ZERV_M32_FLAGS}")
  set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} ${ZERV_M32_FLAGS}")
  add_link_options(-m32)
endif()
target_compile_options(zerv_flags INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${ZERV_COMMON_FLAGS}>")
if(ZERV_ASAN)
  # The test code (targets with ZERV_TEST_CODE set) leaves out the checks that
  # instrument every pointer use: null, alignment and dynamic type. They were
  # a third of the tree's compile time; the engine keeps them, and a null
  # dereference still stops under AddressSanitizer.
  target_compile_options(zerv_flags INTERFACE
    "$<$<BOOL:$<TARGET_PROPERTY:ZERV_TEST_CODE>>:-fno-sanitize=null$<COMMA>alignment$<COMMA>vptr>")
endif()
if(ZERV_ASAN)
  # Two loops dominate the sanitizer tree's test time: the digest's byte
  # folding (the test harness digests the whole state after every tick) and
  # the shading tables built for every collection loaded (half the corruption
  # sweeps). They are compiled at -O2, and still instrumented.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/src/zerv_digest.cpp ${CMAKE_SOURCE_DIR}/src/shading_tables.cpp
    PROPERTIES COMPILE_OPTIONS -O2)
endif()
