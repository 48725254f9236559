kestrane_add_gtest(core_foundation_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/properties_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/log_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/codepage_test.cpp
  LIBS kestrane_base
  LABELS unit)
