if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(secondary_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/secondary_windows_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_windows Qt6::Test
    LABELS gui)
  kestrane_add_gtest(audit_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/audit_user_page_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_windows kestrane_labfixture Qt6::Test
    LABELS gui integration)
endif()
