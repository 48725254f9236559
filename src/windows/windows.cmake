# The login window and the small windows (score, audit, notices, questions), the drop shadow,
# the skin images they draw, and programs that render their states to PNG for
# scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_windows STATIC
    ${CMAKE_CURRENT_LIST_DIR}/about_from.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_from.h
    ${CMAKE_CURRENT_LIST_DIR}/auditing_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auditing_form.h
    ${CMAKE_CURRENT_LIST_DIR}/confirm_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/confirm_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/first_screen_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/first_screen_form.h
    ${CMAKE_CURRENT_LIST_DIR}/login_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/login_ui.h
    ${CMAKE_CURRENT_LIST_DIR}/message_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_form.h
    ${CMAKE_CURRENT_LIST_DIR}/quit_actions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quit_actions.h
    ${CMAKE_CURRENT_LIST_DIR}/quit_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/quit_form.h
    ${CMAKE_CURRENT_LIST_DIR}/score_popup_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/score_popup_form.h
    ${CMAKE_CURRENT_LIST_DIR}/score_tip.cpp
    ${CMAKE_CURRENT_LIST_DIR}/score_tip.h
    ${CMAKE_CURRENT_LIST_DIR}/secondary_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/secondary_window.h
    ${CMAKE_CURRENT_LIST_DIR}/speed_explanation_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speed_explanation_form.h
    ${CMAKE_CURRENT_LIST_DIR}/speed_hit_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speed_hit_form.h
    ${CMAKE_CURRENT_LIST_DIR}/stop_speed.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stop_speed.h
    ${CMAKE_CURRENT_LIST_DIR}/update_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_form.h
    ${CMAKE_CURRENT_LIST_DIR}/user_page.cpp
    ${CMAKE_CURRENT_LIST_DIR}/user_page.h
    ${CMAKE_CURRENT_LIST_DIR}/warning_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/warning_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/wnd_shadow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wnd_shadow.h)
  set_target_properties(kestrane_windows PROPERTIES AUTOMOC ON)
  target_include_directories(kestrane_windows PRIVATE ${RAPIDJSON_INCLUDE_DIR})
  target_link_libraries(kestrane_windows PUBLIC
    kestrane_options kestrane_ui_binding kestrane_session kestrane_settings kestrane_history
    kestrane_process kestrane_base kestrane_platform)
  # The shadow asks the X server whether a compositing manager runs.
  pkg_check_modules(XCB IMPORTED_TARGET xcb)
  if(XCB_FOUND)
    target_compile_definitions(kestrane_windows PRIVATE KESTRANE_HAVE_XCB=1)
    target_link_libraries(kestrane_windows PRIVATE PkgConfig::XCB)
  endif()
  target_link_libraries(kestrane_ui INTERFACE kestrane_windows)

  # The images of the small windows, drawn into the skin at build time.
  add_executable(kestrane-skin-images-windows ${CMAKE_CURRENT_LIST_DIR}/windows_images.cpp)
  target_link_libraries(kestrane-skin-images-windows PRIVATE kestrane_options Qt6::Gui)
  set_property(GLOBAL APPEND PROPERTY KESTRANE_SKIN_GENERATORS kestrane-skin-images-windows)

  add_executable(kestrane-screenshots-login ${CMAKE_CURRENT_LIST_DIR}/login_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-login PRIVATE kestrane_windows kestrane_shot_session)
  add_executable(kestrane-screenshots-windows ${CMAKE_CURRENT_LIST_DIR}/windows_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-windows PRIVATE kestrane_windows kestrane_shot_session)
endif()
