# The video test's record and the texts exchanged with the player.
kestrane_module(kestrane_video
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/video_record.cpp
  LIBS kestrane_base kestrane_settings kestrane_history kestrane_packaging kestrane_resolvers
       Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_video)

# The engine window that hosts the player, the video page and its address rows, and the program
# that renders the page's states for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_video_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/flash_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flash_form.h
    ${CMAKE_CURRENT_LIST_DIR}/void_speed_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/void_speed_form.h
    ${CMAKE_CURRENT_LIST_DIR}/list_void_element_ui.cpp
    ${CMAKE_CURRENT_LIST_DIR}/list_void_element_ui.h)
  set_target_properties(kestrane_video_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_video_ui PUBLIC
    kestrane_options kestrane_video kestrane_player_loader kestrane_bandwidth kestrane_transport
    kestrane_ui_binding kestrane_windows)
  target_link_libraries(kestrane_ui INTERFACE kestrane_video_ui)
endif()

if(KESTRANE_GUI)
  add_executable(kestrane-screenshots-video ${CMAKE_CURRENT_LIST_DIR}/video_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-video PRIVATE kestrane_video_ui kestrane_shot_session)
endif()
