# The login window, and a program that renders its states to PNG for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_windows STATIC
    ${CMAKE_CURRENT_LIST_DIR}/login_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/login_ui.h)
  set_target_properties(kestrane_windows PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_windows PUBLIC
    kestrane_options kestrane_ui_binding kestrane_session kestrane_process kestrane_base kestrane_platform)
  target_link_libraries(kestrane_ui INTERFACE kestrane_windows)

  add_executable(kestrane-screenshots-login ${CMAKE_CURRENT_LIST_DIR}/login_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-login PRIVATE kestrane_windows)
endif()
