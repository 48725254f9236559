if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/gui_main.cpp
    LIBS kestrane_ui_binding Qt6::Test PkgConfig::LIBZIP
    LABELS gui)
endif()
