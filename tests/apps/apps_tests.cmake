# kestrane-cli run as a process against the lab (management, time and test server roles).
kestrane_add_gtest(cli_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
  LIBS kestrane_core kestrane_labfixture
  LABELS integration
  SERIAL
  TIMEOUT 600)
target_include_directories(cli_tests PRIVATE ${RAPIDJSON_INCLUDE_DIR})
