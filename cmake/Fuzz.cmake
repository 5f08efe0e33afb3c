# Fuzz targets of the core, built with clang and libFuzzer.
#
# The core and the test doubles are instrumented for coverage and checked by
# AddressSanitizer and UndefinedBehaviorSanitizer; only the fuzz programs
# link libFuzzer's driver. Every undefined-behaviour finding aborts, so the
# fuzzer reports it as a crash. Run them with scripts/fuzz.sh.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "The fuzz build needs clang (cmake --preset fuzz)")
endif()

set(START_FUZZ_FLAGS
  -fsanitize=fuzzer-no-link,address,undefined
  -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
foreach(library startcore starttoolkit starttext)
  target_compile_options(${library} PRIVATE ${START_FUZZ_FLAGS})
endforeach()
target_compile_options(starttestkit PRIVATE ${START_FUZZ_FLAGS})

set(START_FUZZ_TARGETS textversion profile replies sequence)
foreach(name ${START_FUZZ_TARGETS})
  add_executable(${name}_fuzz fuzz/${name}_fuzz.cpp)
  target_link_libraries(${name}_fuzz PRIVATE starttestkit)
  target_compile_options(${name}_fuzz PRIVATE ${START_FUZZ_FLAGS})
  target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
