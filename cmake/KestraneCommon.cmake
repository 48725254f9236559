# Shared compile settings: every target links kestrane_options.
add_library(kestrane_options INTERFACE)
target_compile_features(kestrane_options INTERFACE cxx_std_20)
target_compile_options(kestrane_options INTERFACE -Wall -Wextra -Wpedantic)
target_include_directories(kestrane_options INTERFACE ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(kestrane_options INTERFACE
  KESTRANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  KESTRANE_DIST_DIR="${KESTRANE_DIST_DIR}")
if(KESTRANE_SANITIZE)
  # pointer-overflow stays recoverable only so that tests/ubsan.supp can name the one known site
  # outside our code; UBSAN_OPTIONS=halt_on_error=1 still stops at any other.
  target_compile_options(kestrane_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined -fsanitize-recover=pointer-overflow)
  target_link_options(kestrane_options INTERFACE -fsanitize=address,undefined)
endif()
if(KESTRANE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # Coverage for the fuzzers reaches into every library they link, not only their own file.
  target_compile_options(kestrane_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(KESTRANE_TSAN)
  target_compile_options(kestrane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(kestrane_options INTERFACE -fsanitize=thread)
endif()
if(KESTRANE_GUI)
  target_compile_definitions(kestrane_options INTERFACE KESTRANE_GUI=1)
endif()

# The engine side of the product. Module fragments add their static libraries to it with
#   target_link_libraries(kestrane_core INTERFACE kestrane_<module>)
add_library(kestrane_core INTERFACE)
if(KESTRANE_GUI)
  # The widget side: the toolkit binding and every screen. Fragments link their screen libraries.
  add_library(kestrane_ui INTERFACE)
  target_link_libraries(kestrane_ui INTERFACE kestrane_core)
endif()

# kestrane_module(NAME SOURCES ... LIBS ...): one static library of the engine side.
function(kestrane_module name)
  cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_link_libraries(${name} PUBLIC kestrane_options ${M_LIBS})
endfunction()

# kestrane_dist_program(target): the program (or shared library) is built into the program folder.
function(kestrane_dist_program target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${KESTRANE_DIST_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${KESTRANE_DIST_DIR}
    BUILD_RPATH "$ORIGIN"
    INSTALL_RPATH "$ORIGIN")
  set_property(GLOBAL APPEND PROPERTY KESTRANE_DIST_TARGETS ${target})
endfunction()

# kestrane_add_gtest(NAME SOURCES ... LIBS ... LABELS ... [SERIAL] [TIMEOUT s])
# Tests depend on the whole program folder being assembled, since many start its programs.
function(kestrane_add_gtest name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kestrane_options kestrane_testsupport GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
  add_dependencies(${name} kestrane_dist)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  # Test discovery flattens property values, so a list value must come last (and keeps only
  # its first element): anything after it would be taken for part of it.
  list(APPEND props ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# kestrane_add_fuzz(NAME SOURCES ... LIBS ... CORPUS dir): a libFuzzer target (a file defining
# LLVMFuzzerTestOneInput). With KESTRANE_FUZZ and clang it builds as a real fuzzer; otherwise
# it is a plain program that replays every file of its seed corpus, run under CTest.
function(kestrane_add_fuzz name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE kestrane_options ${F_LIBS})
  if(KESTRANE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    # scripts/fuzz finds every fuzzer and its seed corpus here.
    file(WRITE ${CMAKE_BINARY_DIR}/fuzzers/${name} "${F_CORPUS}\n")
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_main.cpp)
    if(KESTRANE_TESTS)
      add_test(NAME ${name}.replay COMMAND ${name} ${F_CORPUS})
      set_tests_properties(${name}.replay PROPERTIES LABELS unit TIMEOUT 120)
    endif()
  endif()
endfunction()
