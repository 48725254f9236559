# The bandwidth test screen and its gauge, the gauge's images drawn into the skin at build time,
# and a program rendering the screen's states to PNG for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_bandwidth_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dashboard_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dashboard_ui.h
    ${CMAKE_CURRENT_LIST_DIR}/network_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/network_form.h)
  set_target_properties(kestrane_bandwidth_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_bandwidth_ui PUBLIC
    kestrane_options kestrane_windows kestrane_bandwidth kestrane_probes)

  add_executable(kestrane-skin-images-bandwidth ${CMAKE_CURRENT_LIST_DIR}/gauge_images.cpp)
  target_link_libraries(kestrane-skin-images-bandwidth PRIVATE kestrane_options Qt6::Gui)
  set_property(GLOBAL APPEND PROPERTY KESTRANE_SKIN_GENERATORS kestrane-skin-images-bandwidth)

  add_executable(kestrane-screenshots-bandwidth ${CMAKE_CURRENT_LIST_DIR}/bandwidth_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-bandwidth PRIVATE kestrane_bandwidth_ui kestrane_shot_session)
endif()
