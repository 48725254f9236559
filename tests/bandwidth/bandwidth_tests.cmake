kestrane_add_gtest(bandwidth_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/band_logic_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_catalogue_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/band_record_test.cpp
  LIBS kestrane_bandwidth
  LABELS unit)

# The engine against the lab's test server on 127.0.8.x:8080, with shortened durations.
kestrane_add_gtest(bandwidth_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/network_speed_test.cpp
  LIBS kestrane_bandwidth kestrane_labfixture
  LABELS integration
  SERIAL
  TIMEOUT 300)
