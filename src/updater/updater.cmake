# The Update program: the update logic in a library without widgets, its two windows, the
# program, the images of its windows and a program that renders the windows for people to see.
kestrane_module(kestrane_updater
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/http_get_to_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/install.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_job.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_program.cpp
  LIBS kestrane_base kestrane_process kestrane_manifest kestrane_update_process)

if(KESTRANE_GUI)
  add_library(kestrane_updater_windows STATIC
    ${CMAKE_CURRENT_LIST_DIR}/skin_btn.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_btn.h
    ${CMAKE_CURRENT_LIST_DIR}/static_ex.cpp
    ${CMAKE_CURRENT_LIST_DIR}/static_ex.h
    ${CMAKE_CURRENT_LIST_DIR}/skin_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin_dialog.h
    ${CMAKE_CURRENT_LIST_DIR}/prog_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/prog_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/end_tip_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/end_tip_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/update_windows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_windows.h)
  set_target_properties(kestrane_updater_windows PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_updater_windows PUBLIC kestrane_options kestrane_updater Qt6::Widgets)

  add_executable(Update ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(Update PRIVATE kestrane_updater_windows)
  kestrane_dist_program(Update)

  add_executable(kestrane-update-images ${CMAKE_CURRENT_LIST_DIR}/update_images.cpp)
  target_link_libraries(kestrane-update-images PRIVATE kestrane_options kestrane_program_icon)
  set(update_images_stamp ${CMAKE_BINARY_DIR}/update-images.stamp)
  add_custom_command(OUTPUT ${update_images_stamp}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen TSAN_OPTIONS=report_bugs=0
            $<TARGET_FILE:kestrane-update-images> ${KESTRANE_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${update_images_stamp}
    DEPENDS kestrane-update-images
    COMMENT "Drawing the updater's images into Image/common"
    VERBATIM)
  add_custom_target(kestrane_update_images DEPENDS ${update_images_stamp})
  set_property(GLOBAL APPEND PROPERTY KESTRANE_DIST_STEPS kestrane_update_images)

  add_executable(kestrane-screenshots-update ${CMAKE_CURRENT_LIST_DIR}/update_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-update PRIVATE kestrane_updater_windows)
  add_dependencies(kestrane-screenshots-update kestrane_update_images)
endif()
