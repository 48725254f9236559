# The web page test: the record, the address rules and the connection check (engine side,
# without widgets), and the browser engine with its page (widgets, Qt WebEngine).
kestrane_module(kestrane_webpage
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/web_record.cpp
  LIBS kestrane_base kestrane_markup kestrane_settings kestrane_history kestrane_packaging
       kestrane_transport Boost::regex)
target_link_libraries(kestrane_core INTERFACE kestrane_webpage)

if(KESTRANE_GUI)
  add_library(kestrane_webpage_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/web_speed.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web_speed.h
    ${CMAKE_CURRENT_LIST_DIR}/web_speed_form.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web_speed_form.h)
  set_target_properties(kestrane_webpage_ui PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_webpage_ui PUBLIC
    kestrane_options kestrane_webpage kestrane_bandwidth kestrane_ui_binding kestrane_windows
    Qt6::WebEngineWidgets)
  target_link_libraries(kestrane_ui INTERFACE kestrane_webpage_ui)

  add_executable(kestrane-screenshots-webpage ${CMAKE_CURRENT_LIST_DIR}/webpage_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-webpage PRIVATE kestrane_webpage_ui kestrane_shot_session)
endif()
