kestrane_add_gtest(autostart_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/autostart_tests.cpp
  LIBS kestrane_autostart kestrane_process
  LABELS unit)
