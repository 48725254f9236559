kestrane_add_gtest(session_reply_numbers_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_reply_numbers_test.cpp
  LIBS kestrane_session
  LABELS unit)
