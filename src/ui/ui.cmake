# The toolkit binding: windows built from the skin's layouts, notifications, timers, posted
# messages, tray icon and message boxes; and the skin itself, packed into Skin.zip.
if(KESTRANE_GUI)
  add_library(kestrane_ui_binding STATIC
    ${CMAKE_CURRENT_LIST_DIR}/application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_builder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layout_widget.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layout_widget.h
    ${CMAKE_CURRENT_LIST_DIR}/screen_page.h
    ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/skin.cpp
    ${CMAKE_CURRENT_LIST_DIR}/thread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_icon.h
    ${CMAKE_CURRENT_LIST_DIR}/window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window.h)
  set_target_properties(kestrane_ui_binding PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_ui_binding PUBLIC
    kestrane_options Qt6::Widgets Qt6::UiTools PkgConfig::LIBZIP)
  target_link_libraries(kestrane_ui INTERFACE kestrane_ui_binding)

  # The drawn program icon, shared by the skin's images and the dialog programs.
  add_library(kestrane_program_icon STATIC
    ${CMAKE_CURRENT_LIST_DIR}/tools/program_icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/program_icon.h)
  target_link_libraries(kestrane_program_icon PUBLIC kestrane_options Qt6::Gui)

  # The common start of the programs that render windows to PNG (scripts/screenshots).
  add_library(kestrane_shot_session STATIC
    ${CMAKE_CURRENT_LIST_DIR}/tools/shot_session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tools/shot_session.h)
  target_link_libraries(kestrane_shot_session PUBLIC kestrane_ui_binding kestrane_platform)

  # Draws the skin's images at build time.
  add_executable(kestrane-skin-images ${CMAKE_CURRENT_LIST_DIR}/tools/skin_images.cpp)
  target_link_libraries(kestrane-skin-images PRIVATE kestrane_options kestrane_program_icon)

  # Other modules may add image generators of their own: a program taking the staging folder
  # as its only argument, appended to the global property KESTRANE_SKIN_GENERATORS. The zip is
  # defined once every fragment has been read.
  set_property(GLOBAL APPEND PROPERTY KESTRANE_SKIN_GENERATORS kestrane-skin-images)
  function(kestrane_define_skin_zip)
    find_program(KESTRANE_ZIP_PROGRAM zip REQUIRED)
    file(GLOB_RECURSE skin_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/skin/*)
    get_property(generators GLOBAL PROPERTY KESTRANE_SKIN_GENERATORS)
    set(stage ${CMAKE_BINARY_DIR}/skin-stage)
    set(zip_file ${KESTRANE_DIST_DIR}/Skin.zip)
    set(run_generators)
    # A build with the thread sanitizer must not stop on reports from inside Qt.
    foreach(generator IN LISTS generators)
      list(APPEND run_generators COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
           TSAN_OPTIONS=report_bugs=0
           $<TARGET_FILE:${generator}> ${stage})
    endforeach()
    add_custom_command(OUTPUT ${zip_file}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/skin ${stage}
      ${run_generators}
      COMMAND ${CMAKE_COMMAND} -E rm -f ${zip_file}
      COMMAND sh -c "cd '${stage}' && '${KESTRANE_ZIP_PROGRAM}' -q -r -X '${zip_file}' ."
      DEPENDS ${skin_files} ${generators}
      COMMENT "Packing the skin into Skin.zip"
      VERBATIM)
    add_custom_target(kestrane_skin_zip DEPENDS ${zip_file})
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL kestrane_define_skin_zip)
  set_property(GLOBAL APPEND PROPERTY KESTRANE_DIST_STEPS kestrane_skin_zip)
endif()
