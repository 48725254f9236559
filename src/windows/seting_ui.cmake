# The settings page, its target rows and add dialog, and the program that renders its states
# for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_seting_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/seting_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/seting_form.h)
  set_target_properties(kestrane_seting_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_seting_ui PUBLIC
    kestrane_options kestrane_windows kestrane_settings kestrane_autostart kestrane_process
    kestrane_base kestrane_update_client Boost::regex)
  target_link_libraries(kestrane_ui INTERFACE kestrane_seting_ui)
  target_link_libraries(kestrane_app PUBLIC kestrane_seting_ui)

  add_executable(kestrane-screenshots-settings ${CMAKE_CURRENT_LIST_DIR}/seting_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-settings PRIVATE kestrane_seting_ui kestrane_shot_session)
endif()
