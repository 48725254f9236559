kestrane_add_gtest(ping_trace_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ping_trace_test.cpp
  LIBS kestrane_pingtrace
  LABELS unit)
