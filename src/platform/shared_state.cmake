# State shared between the main program and the updater: folder trees, lock files, processes
# of the program folder, and the stand-in for the registry.
target_sources(kestrane_process PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/folder_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry.cpp)
