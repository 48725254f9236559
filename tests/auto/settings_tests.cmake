kestrane_add_gtest(settings_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_files_test.cpp
  LIBS kestrane_settings kestrane_labfixture
  LABELS integration)
