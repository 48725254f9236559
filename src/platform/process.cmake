# Processes (spawn, wait, list, kill by name, open a page) and Windows-style profile files.
add_library(kestrane_process STATIC
  ${CMAKE_CURRENT_LIST_DIR}/process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ini_file.cpp)
target_link_libraries(kestrane_process PUBLIC kestrane_options kestrane_platform Threads::Threads)
target_link_libraries(kestrane_core INTERFACE kestrane_process)
