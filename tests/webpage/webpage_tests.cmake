kestrane_add_gtest(webpage_unit_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/web_record_test.cpp
  LIBS kestrane_webpage
  LABELS unit)

# The engine and the page offscreen, against the lab's portal sites.
if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrane_add_gtest(webpage_engine_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/web_speed_test.cpp ${CMAKE_CURRENT_LIST_DIR}/web_speed_form_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/web_main.cpp
    LIBS kestrane_webpage_ui kestrane_labfixture Qt6::Test
    LABELS gui integration
    TIMEOUT 300)
endif()
