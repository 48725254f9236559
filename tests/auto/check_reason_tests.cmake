kestrane_add_gtest(kestrane_check_reason_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/check_reason_test.cpp
  LIBS kestrane_checkreason
  LABELS unit)
