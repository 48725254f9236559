# The history page in a small host window, offscreen, over real history databases.
if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(history_ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/history_form_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_history_ui Qt6::Test
    LABELS gui)
endif()
