# The file download test: the timed fetch of one large file, its samples and its record.
kestrane_module(kestrane_filedown
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/file_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_down_speed.cpp
  LIBS kestrane_base kestrane_settings kestrane_history kestrane_packaging kestrane_transport
       kestrane_bandwidth Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_filedown)

# The file download page and its rate chart, the chart's pictures, and the program that renders
# the page's states for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_filedown_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/file_down_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_down_ui.h
    ${CMAKE_CURRENT_LIST_DIR}/tee_chart_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tee_chart_ui.h)
  set_target_properties(kestrane_filedown_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_filedown_ui PUBLIC
    kestrane_options kestrane_filedown kestrane_ui_binding kestrane_windows)
  target_link_libraries(kestrane_ui INTERFACE kestrane_filedown_ui)

  add_executable(kestrane-skin-images-filedown ${CMAKE_CURRENT_LIST_DIR}/filedown_images.cpp)
  target_link_libraries(kestrane-skin-images-filedown PRIVATE kestrane_options Qt6::Gui)
  set_property(GLOBAL APPEND PROPERTY KESTRANE_SKIN_GENERATORS kestrane-skin-images-filedown)

  add_executable(kestrane-screenshots-filedown ${CMAKE_CURRENT_LIST_DIR}/filedown_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-filedown PRIVATE kestrane_filedown_ui kestrane_shot_session)
endif()
