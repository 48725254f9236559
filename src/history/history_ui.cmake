# The history page, and the program that renders its states for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_history_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/history_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/history_form.h)
  set_target_properties(kestrane_history_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_history_ui PUBLIC
    kestrane_options kestrane_history kestrane_settings kestrane_base kestrane_ui_binding)
  target_link_libraries(kestrane_ui INTERFACE kestrane_history_ui)
  target_link_libraries(kestrane_app PUBLIC kestrane_history_ui)

  add_executable(kestrane-screenshots-history ${CMAKE_CURRENT_LIST_DIR}/history_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-history PRIVATE kestrane_history_ui kestrane_shot_session)
endif()
