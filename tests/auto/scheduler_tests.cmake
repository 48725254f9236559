kestrane_add_gtest(environment_checks_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/environment_checks_test.cpp
  LIBS kestrane_scheduler kestrane_process
  LABELS unit
  TIMEOUT 120)

# The traffic and shared-line checks across network namespaces: root only, one at a time.
kestrane_add_gtest(environment_netns_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/environment_netns_tests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/netns_topology.cpp
  LIBS kestrane_scheduler kestrane_process
  LABELS integration
  SERIAL
  TIMEOUT 240)

# The scheduler with the bandwidth engine against the lab's test server on 127.0.8.31:8080.
kestrane_add_gtest(scheduler_lab_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/scheduler_test.cpp
  LIBS kestrane_scheduler kestrane_bandwidth kestrane_labfixture
  LABELS integration
  SERIAL
  TIMEOUT 300)

if(KESTRANE_GUI)
  # The scheduler hosted by a window: its timer and the web page step on the window thread.
  kestrane_add_gtest(scheduler_window_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/scheduler_window_test.cpp ${CMAKE_SOURCE_DIR}/tests/ui/gui_main.cpp
    LIBS kestrane_scheduler_ui
    LABELS gui
    TIMEOUT 120)
endif()
