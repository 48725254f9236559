# Starting with the desktop session (the XDG autostart entry of the settings screen).
add_library(kestrane_autostart STATIC
  ${CMAKE_CURRENT_LIST_DIR}/autostart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/autostart.h)
target_link_libraries(kestrane_autostart PUBLIC kestrane_options kestrane_platform)
target_link_libraries(kestrane_core INTERFACE kestrane_autostart)
