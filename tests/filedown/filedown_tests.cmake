kestrane_add_gtest(filedown_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_record_test.cpp
  LIBS kestrane_filedown
  LABELS unit)
