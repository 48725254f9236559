if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(tarnell_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tarnell_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_tarnell Qt6::Test
    LABELS gui)
endif()
