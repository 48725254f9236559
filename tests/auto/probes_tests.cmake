# A library that loads but lacks the probe exports.
add_library(network_status_empty_library SHARED ${CMAKE_CURRENT_LIST_DIR}/empty_library.c)
set_target_properties(network_status_empty_library PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-libraries)

kestrane_add_gtest(probes_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/network_status_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/client_address_tests.cpp
  LIBS kestrane_probes
  LABELS unit
  TIMEOUT 120)
target_compile_definitions(probes_tests PRIVATE
  EMPTY_LIBRARY_PATH="$<TARGET_FILE:network_status_empty_library>")
add_dependencies(probes_tests network_status_empty_library)

# Probes across network namespaces the tests build themselves: root only, one at a time.
kestrane_add_gtest(probes_netns_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/probes_netns_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/netns_topology.cpp
  LIBS kestrane_probes kestrane_process
  LABELS integration
  SERIAL
  TIMEOUT 180)
