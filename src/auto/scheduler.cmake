# Automatic testing: the environment checks and the scheduler that walks the selected kinds.
kestrane_module(kestrane_scheduler
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/environment_checks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scheduler.cpp
  LIBS kestrane_probes kestrane_history kestrane_checkreason kestrane_settings kestrane_markup
       kestrane_adapters kestrane_process kestrane_base Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_scheduler)

if(KESTRANE_GUI)
  # A window as the scheduler's host: its timer and its window message.
  add_library(kestrane_scheduler_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/scheduler_window_host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scheduler_window_host.h)
  target_link_libraries(kestrane_scheduler_ui PUBLIC
    kestrane_options kestrane_scheduler kestrane_ui_binding)
endif()
