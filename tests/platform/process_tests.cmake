kestrane_add_gtest(process_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/process_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ini_file_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/atomic_file_tests.cpp
  LIBS kestrane_process GTest::gtest_main
  LABELS unit)
