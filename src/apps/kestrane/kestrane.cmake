# Kestrane, the main program: start-up, the main window and its tests page, and the table of
# screens by class name. A static library the tests link, and the program that only wires it.
if(KESTRANE_GUI)
  add_library(kestrane_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/form_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_main.h
    ${CMAKE_CURRENT_LIST_DIR}/handle_speed_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handle_speed_form.h
    ${CMAKE_CURRENT_LIST_DIR}/program.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program.h
    ${CMAKE_CURRENT_LIST_DIR}/scheduler_wiring.cpp
    ${CMAKE_CURRENT_LIST_DIR}/scheduler_wiring.h
    ${CMAKE_CURRENT_LIST_DIR}/screen_table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/screen_table.h
    ${CMAKE_CURRENT_LIST_DIR}/start_up.cpp
    ${CMAKE_CURRENT_LIST_DIR}/start_up.h)
  set_target_properties(kestrane_app PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_app PUBLIC
    kestrane_options kestrane_windows kestrane_bandwidth_ui kestrane_filedown_ui
    kestrane_webpage_ui kestrane_probes kestrane_settings kestrane_session kestrane_scheduler_ui kestrane_video_ui
    kestrane_ui_binding kestrane_base kestrane_platform)

  add_executable(Kestrane ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(Kestrane PRIVATE kestrane_app kestrane_pingtrace kestrane_update_client)
  kestrane_dist_program(Kestrane)

  # The main window's images, drawn into the skin at build time.
  add_executable(kestrane-skin-images-main ${CMAKE_CURRENT_LIST_DIR}/main_images.cpp)
  target_link_libraries(kestrane-skin-images-main PRIVATE kestrane_options kestrane_program_icon Qt6::Gui)
  set_property(GLOBAL APPEND PROPERTY KESTRANE_SKIN_GENERATORS kestrane-skin-images-main)
endif()

if(KESTRANE_GUI)
  add_executable(kestrane-screenshots-main ${CMAKE_CURRENT_LIST_DIR}/main_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-main PRIVATE kestrane_app kestrane_shot_session)
endif()
