if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  # The main window, its login sequence against the lab, the instance lock and the real program.
  kestrane_add_gtest(kestrane_program_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/kestrane_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_app kestrane_labfixture Qt6::Test
    LABELS gui integration
    TIMEOUT 300)
endif()
