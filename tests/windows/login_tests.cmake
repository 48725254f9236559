if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(login_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/login_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_windows kestrane_labfixture Qt6::Test
    LABELS gui integration)
endif()
