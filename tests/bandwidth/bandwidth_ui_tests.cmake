if(KESTRANE_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  # The bandwidth screen and gauge: their numbers, the screen in a host window, and whole
  # tests against the lab's test server on 127.0.8.5:8080.
  kestrane_add_gtest(bandwidth_screen_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/network_form_test.cpp
            ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_bandwidth_ui kestrane_labfixture Qt6::Test
    LABELS gui integration
    SERIAL
    TIMEOUT 300)
endif()
