kestrane_add_gtest(ping_trace_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ping_trace_test.cpp
  LIBS kestrane_pingtrace
  LABELS unit)

# Whole passes against the lab's update role, probing the loopback address.
kestrane_add_gtest(ping_trace_pass_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ping_trace_pass_test.cpp
  LIBS kestrane_pingtrace kestrane_labfixture
  LABELS integration
  TIMEOUT 240)
