# kestrane-cli auto and check as processes: against the lab (127.0.8.32:8080) and inside a
# network namespace of their own (root only, one at a time).
kestrane_add_gtest(cli_auto_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_auto_test.cpp ${CMAKE_SOURCE_DIR}/tests/auto/netns_topology.cpp
  LIBS kestrane_core kestrane_labfixture
  LABELS integration
  SERIAL
  TIMEOUT 300)
target_include_directories(cli_auto_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})
