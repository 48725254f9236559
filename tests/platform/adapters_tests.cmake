kestrane_add_gtest(adapters_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/adapters_tests.cpp
    ${CMAKE_SOURCE_DIR}/tests/auto/netns_topology.cpp
  LIBS kestrane_adapters kestrane_probes kestrane_process
  LABELS integration
  SERIAL
  TIMEOUT 120)
target_include_directories(adapters_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/auto)
