# The settings page in a small host window, offscreen: its files, the add dialog, and the
# manual update check against the lab's update server with a stand-in Update.
if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(seting_ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/seting_form_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_seting_ui kestrane_labfixture Qt6::Test
    LABELS gui integration
    TIMEOUT 300)
  add_dependencies(seting_ui_tests update_stand_in)
  target_compile_definitions(seting_ui_tests PRIVATE
    STAND_IN_PROGRAM="$<TARGET_FILE:update_stand_in>")
endif()
