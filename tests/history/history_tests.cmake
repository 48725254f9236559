kestrane_add_gtest(kestrane_history_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/history_db_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/geo_db_test.cpp
  LIBS kestrane_history kestrane_settings SQLite::SQLite3
  LABELS unit)
