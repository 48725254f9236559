kestrane_add_gtest(session_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp
  LIBS kestrane_session
  LABELS unit)
kestrane_add_gtest(session_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_lab_test.cpp
  LIBS kestrane_session kestrane_labfixture
  LABELS integration)
