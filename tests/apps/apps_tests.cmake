# kestrane-cli run as a process against the lab (management, time and test server roles).
kestrane_add_gtest(cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
  LIBS kestrane_core kestrane_labfixture
  LABELS integration
  SERIAL
  TIMEOUT 600)
target_include_directories(cli_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})

# kestrane-cli ping and trace, on loopback and across namespaces (root only, one at a time).
kestrane_add_gtest(cli_probe_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_probe_test.cpp ${CMAKE_SOURCE_DIR}/tests/auto/netns_topology.cpp
  LIBS kestrane_base kestrane_process
  LABELS integration
  SERIAL
  TIMEOUT 240)
target_include_directories(cli_probe_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})
if(KESTRANE_GUI)
  target_compile_definitions(cli_tests PRIVATE KESTRANE_CLI_WEBPAGE)
endif()
