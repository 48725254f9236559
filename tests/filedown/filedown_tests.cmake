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

# The page and its chart, offscreen, against the lab's file server.
if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(filedown_ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_down_ui_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_filedown_ui kestrane_labfixture Qt6::Test
    LABELS gui integration
    TIMEOUT 300)
endif()
