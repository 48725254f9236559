kestrane_add_gtest(kestrane_transport_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_text_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/throughput_tests.cpp
  LIBS kestrane_transport kestrane_labfixture
  LABELS integration
  TIMEOUT 600)
