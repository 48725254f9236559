kestrane_add_gtest(kestrane_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lab_server_tests.cpp
  LIBS kestrane_labfixture
  LABELS integration)
