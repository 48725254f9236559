# Tarnell, the configuration editor: a dialog over the properties library, and a program that
# renders its states to PNG for scripts/screenshots.
if(KESTRANE_GUI)
  add_library(kestrane_tarnell STATIC
    ${CMAKE_CURRENT_LIST_DIR}/about_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_dlg.h
    ${CMAKE_CURRENT_LIST_DIR}/tarnell_app.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tarnell_app.h
    ${CMAKE_CURRENT_LIST_DIR}/tarnell_dlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tarnell_dlg.h)
  set_target_properties(kestrane_tarnell PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrane_tarnell PUBLIC
    kestrane_options kestrane_base kestrane_program_icon Qt6::Widgets)

  add_executable(Tarnell ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  target_link_libraries(Tarnell PRIVATE kestrane_tarnell)
  kestrane_dist_program(Tarnell)

  add_executable(kestrane-screenshots-tarnell ${CMAKE_CURRENT_LIST_DIR}/tarnell_screenshots.cpp)
  target_link_libraries(kestrane-screenshots-tarnell PRIVATE kestrane_tarnell)
  # It starts from the shipped conf/config.properties of the program folder.
  add_dependencies(kestrane-screenshots-tarnell kestrane_deploy_files)
endif()
