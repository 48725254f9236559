kestrane_add_gtest(filedown_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_record_test.cpp
  LIBS kestrane_filedown
  LABELS unit)

# The engine against the lab's file server on free ports.
kestrane_add_gtest(filedown_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_down_speed_test.cpp
  LIBS kestrane_filedown kestrane_labfixture
  LABELS integration
  TIMEOUT 300)
