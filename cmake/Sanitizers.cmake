# WENDRAKE_SANITIZE: every target with AddressSanitizer and UndefinedBehaviorSanitizer,
# undefined behaviour ending the program like a memory error.
# WENDRAKE_FUZZ: the same with clang's coverage for libFuzzer, plus the targets in fuzz/.
option(WENDRAKE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(WENDRAKE_FUZZ "Build the libFuzzer targets in fuzz/ (clang)" OFF)

if(WENDRAKE_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "WENDRAKE_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
endif()

set(sanitizers address,undefined)
if(WENDRAKE_FUZZ)
  set(sanitizers fuzzer-no-link,${sanitizers})
endif()
if(WENDRAKE_SANITIZE OR WENDRAKE_FUZZ)
  add_compile_options(-fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# GTK and WebKit keep allocations for the life of the process and never free them
# (fontconfig's cache, GLib's quark blocks, JavaScriptCore's tables, the
# accessibility bridge's bus connection), and their stacks end inside those
# libraries: leaks are checked in every test that loads neither.
if(WENDRAKE_SANITIZE)
  set(WENDRAKE_DESKTOP_TEST_ENVIRONMENT ENVIRONMENT ASAN_OPTIONS=detect_leaks=0)
endif()
