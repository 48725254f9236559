# The Update program: the real program against the lab, its parts in process, and its windows.
if(KESTRANE_GUI)
  kestrane_add_gtest(update_program_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_program_test.cpp
    LIBS kestrane_updater kestrane_labfixture
    LABELS integration
    TIMEOUT 900)
  add_dependencies(update_program_tests update_stand_in Update)
  target_compile_definitions(update_program_tests PRIVATE
    STAND_IN_PROGRAM="$<TARGET_FILE:update_stand_in>")

  kestrane_add_gtest(update_windows_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_windows_test.cpp
    LIBS kestrane_updater_windows
    LABELS gui)
endif()

kestrane_add_gtest(update_parts_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_parts_test.cpp
  LIBS kestrane_updater kestrane_labfixture
  LABELS integration)
